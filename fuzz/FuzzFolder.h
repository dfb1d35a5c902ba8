// One temporary program folder per fuzz process, reused by every input.
#pragma once

#include "support/TempFolder.h"

#include <unistd.h>

#include <string>

inline TTempFolder& FuzzFolder()
{
    // Short relative paths stay relative (to the current folder): keep them in here too.
    static TTempFolder folder;
    static const bool entered = ::chdir(folder.Path().c_str()) == 0;
    (void)entered;
    return folder;
}
