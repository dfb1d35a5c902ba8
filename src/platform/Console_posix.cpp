#include "platform/Console.h"

#include <unistd.h>

namespace platform {

bool StandardErrorIsTerminal() { return ::isatty(2) == 1; }

} // namespace platform
