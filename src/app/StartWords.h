// What the program says on standard error before it has a window: the usage,
// a later instance, a guard that cannot be used.
#pragma once

#include <string>
#include <vector>

// The usage (UTF-8).
std::string UsageText();
// True when the arguments ask for the usage: "--help", "-h", "/?" or "/h".
bool AsksForUsage(const std::vector<std::string>& args);
// A line on standard error, the text given in CP932.
void SayOnStandardError(const std::string& cp932Text);
// The start ends before the window: a later instance (0) or a guard that
// cannot be used (1). Says which on standard error and returns the exit code.
int EndBeforeWindow(bool guardFailed);
