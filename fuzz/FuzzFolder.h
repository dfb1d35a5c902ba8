// One temporary program folder per fuzz process, reused by every input.
#pragma once

#include "platform/Files.h"
#include "support/TempFolder.h"

#include <string>

inline TTempFolder& FuzzFolder()
{
    // Short relative paths stay relative (to the current folder): keep them in here too.
    static TTempFolder folder;
    static const bool entered = platform::SetCurrentDir(folder.Cp932Path());
    (void)entered;
    return folder;
}
