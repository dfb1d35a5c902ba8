// One temporary program folder per fuzz process, reused by every input.
#pragma once

#include "support/TempFolder.h"

#include <string>

inline TTempFolder& FuzzFolder()
{
    static TTempFolder folder;
    return folder;
}
