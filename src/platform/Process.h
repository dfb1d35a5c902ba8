// Starting the mailer as a hidden process and waiting for it.
//
// A command line is split into arguments by the Microsoft C runtime's rules
// (white space separates, double quotes group, backslashes before a quote),
// keeping double-byte characters whole, and the program is started directly,
// never through a shell, with those bytes unchanged. A bare program name is
// looked up in the program folder, then PATH; a name ending in ".exe" that is
// not found is also tried without it. The child runs in a new session with
// standard input, output and error on /dev/null, in the current folder, with
// the program's environment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ChildProcess {
    int pid = -1;
    int pidfd = -1;
    int exitCode = 0;   // valid once WaitForExit returned kExited
    bool exited = false; // the exit status has been collected
};

enum class WaitResult { kExited, kTimeout, kFailed };

// Splits a CP932 command line into arguments by the Microsoft C runtime rules.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// True when the system can start a program with this command line: on Linux
// no argument may exceed 128 KiB and all of them with the environment must
// stay within the system's limit for arguments.
bool CommandLineFits(std::string_view commandLine);

// Resolves the program name of a command (see above) to a CP932 path; a name
// with a separator is taken relative to the current folder. Empty when not
// found or not executable.
std::string FindProgram(std::string_view name);

// The longest command line a program can be started with here.
std::size_t MaxCommandLineBytes();

// Starts the command line hidden. argv[0] is the program name as written; the
// program itself is the one FindProgram resolves. False when it cannot be
// started (empty command, program not found, exec failure).
bool StartHidden(std::string_view commandLine, ChildProcess& child);

// Starts a batch file written by MakeBatchScript, hidden, through /bin/sh.
bool StartBatchHidden(std::string_view batchPath, ChildProcess& child);
// The same with the script read from a descriptor the caller holds (written by
// MakeBatchScript without an output file) and standard output on `outputFd`.
bool StartBatchOnDescriptors(int scriptFd, int outputFd, ChildProcess& child);

// Waits up to timeoutMs for the child to end. On kExited, child.exitCode holds
// the exit status 0-255, or 128 + signal number for a child killed by a signal.
WaitResult WaitForExit(ChildProcess& child, std::uint32_t timeoutMs);

// Ends the child and every process of its session: a polite request first
// (SIGTERM), then, when it has not ended within graceMs, at once (SIGKILL).
// The child is collected: on return child.exitCode holds how it ended.
void EndProcessSession(ChildProcess& child, std::uint32_t graceMs);

// Releases the handles of the child (it is not killed).
void CloseProcess(ChildProcess& child);

// The text of a batch file that exports TZ=JST-9 and runs the command line's
// arguments (split as above, program resolved as above), each quoted for the
// shell, with standard output redirected to `outputFile` in the current folder.
// No text of the command line is ever interpreted by the shell. The mailer
// replaces the shell (its exit code is the script's) and gets the resolved
// path as argv[0]; standard error is not redirected, as with ">" on Windows.
// A program that is not found makes the script exit with 127. Without an
// output file, standard output stays the script's own and standard input is
// /dev/null (the script itself is read from standard input).
std::string MakeBatchScript(std::string_view commandLine, std::string_view outputFile);

// Ends the process at once with the given exit code (no further event handling).
[[noreturn]] void ExitProcessNow(int exitCode);

} // namespace platform
