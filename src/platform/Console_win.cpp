#include "platform/Console.h"

#include <windows.h>

namespace platform {

bool StandardErrorIsTerminal()
{
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    return err != nullptr && err != INVALID_HANDLE_VALUE && ::GetFileType(err) == FILE_TYPE_CHAR;
}

} // namespace platform
