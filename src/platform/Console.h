// The program's standard error as a place to show a live progress line.
#pragma once

namespace platform {

// True when standard error is a terminal (not a file or a pipe).
bool StandardErrorIsTerminal();

} // namespace platform
