// Starting the mailer as a hidden process and waiting for it.
//
// A command comes as its command line, written as the mailer reads it with the
// Microsoft C runtime's rules (white space separates, double quotes group,
// backslashes before a quote), and as the arguments that line means. On
// Windows the command line goes to the system as it is, the program named
// beside it by the path FindProgram found; on POSIX the program is started
// directly, never through a shell, with the arguments unchanged. On both a
// bare program name is looked up in the program folder, then PATH, never in
// the current folder or the one the child starts in; on Windows ".exe" is
// added to a name without an extension, on POSIX a name ending in ".exe"
// that is not found is also tried without it. On POSIX the child
// runs in a new session with standard input, output and error on /dev/null,
// with the program's environment. The child starts in the folder it is given
// (the caller's own current folder when that is empty); the caller never
// changes its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class TFreshFile;

// This platform's handles of a started child; only its own source knows them.
struct ChildHandles;
struct ChildHandlesRelease {
    void operator()(ChildHandles* handles) const; // closes and frees them
};

// A started child process. Its handles are released by CloseProcess or when
// it goes out of scope (the child itself is not killed).
struct ChildProcess {
    ChildProcess();
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    bool Started() const { return handles != nullptr; }

    std::unique_ptr<ChildHandles, ChildHandlesRelease> handles;
    int exitCode = 0;    // valid once WaitForExit returned kExited
    bool exited = false; // the exit status has been collected
};

enum class WaitResult { kExited, kTimeout, kFailed };

// A program to start: the command line as written (the Windows start, the
// batch file, the logs) and the arguments it means (the POSIX start).
struct TCommandLine {
    std::string Line;
    std::vector<std::string> Args;
};

// Splits a CP932 command line into arguments by the Microsoft C runtime rules.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
// A command line with the arguments it splits into.
TCommandLine CommandFromLine(std::string_view commandLine);

// True when the system can start the command: on Windows its line must fit;
// on Linux no argument may exceed 128 KiB and all of them with the
// environment must stay within the system's limit for arguments.
bool CommandLineFits(const TCommandLine& command);

// Resolves the program name of a command (see above) to a CP932 path; a name
// with a separator is taken relative to `folder` (the current folder when
// empty). Empty when not found or not executable.
std::string FindProgram(std::string_view name, std::string_view folder = {});

// The longest command line a program can be started with here.
std::size_t MaxCommandLineBytes();

// Starts the command hidden in `folder`. argv[0] is the program name as
// written; the program itself is the one FindProgram resolves. False when it
// cannot be started (empty command, program not found, exec failure, a
// folder that cannot be entered).
bool StartHidden(const TCommandLine& command, std::string_view folder, ChildProcess& child);

// Starts the batch script `script` (written by MakeMailerScript) whose output
// belongs in `output`, in `folder`. On POSIX the shell reads the script from
// the caller's handle and its standard output is the output file's handle, so
// nothing put at either path meanwhile is run or written; on Windows both
// files are closed and the command interpreter runs the script by its path,
// the script itself redirecting the output by name. `output` can be read
// afterwards either way (TFreshFile::Rewind).
bool StartBatch(TFreshFile& script, TFreshFile& output, std::string_view folder, ChildProcess& child);

// The system's number of the child process, while it is started.
long ProcessId(const ChildProcess& child);

// Waits up to timeoutMs for the child to end. On kExited, child.exitCode holds
// the exit status 0-255, or 128 + signal number for a child killed by a signal.
WaitResult WaitForExit(ChildProcess& child, std::uint32_t timeoutMs);

// Ends the child and every process of its session: a polite request first
// (SIGTERM), then, when it has not ended within graceMs, at once (SIGKILL).
// The child is collected: on return child.exitCode holds how it ended.
void EndProcessSession(ChildProcess& child, std::uint32_t graceMs);

// Releases the handles of the child (it is not killed), and collects any
// orphaned descendant that has ended meanwhile.
void CloseProcess(ChildProcess& child);

// From now on, descendants whose parent ends (a mailer's child that left its
// session with setsid) are handed to this process, not to the system, so that
// EndDescendants finds them. Linux; elsewhere the job object of each child
// does this work.
void AdoptOrphanedDescendants();
// Ends, at once, every process descended from this one outside this process's
// own session: what the mailers started, whatever became of their sessions.
void EndDescendants();

// The text of a batch file that sets TZ=JST-9 and runs the command with
// standard output redirected to `outputFile` in the folder it runs in.
// On Windows it is the classic two lines, "set TZ=JST-9" and the command line
// followed by " > " and the output file, each ended by CR LF.
// On POSIX it is a /bin/sh script that exports TZ and runs the command's
// arguments (program resolved as above, in `folder`), each quoted for the
// shell, so that no text of the command line is ever interpreted by the shell.
// The mailer replaces the shell (its exit code is the script's) and gets the
// resolved path as argv[0]; standard error is not redirected, as with ">" on
// Windows. A program that is not found makes the script exit with 127. Without
// an output file, standard output stays the script's own and standard input is
// /dev/null (the script itself is read from standard input): StartBatch gives
// it the output file's handle, so the POSIX script never names that file.
std::string MakeBatchScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder = {});

// The script StartBatch runs for a mail in `folder`: the command with its
// standard output in `outputFile` (named in the script on Windows, the handle
// StartBatch connects on POSIX).
std::string MakeMailerScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder);

// Why the command interpreter would not run this command line as written
// (cmd.exe acts on "&", "|", "<", ">", "^" outside quotes and on "%"
// anywhere); empty when it would. The POSIX script quotes every argument, so
// nothing is refused there.
std::string BatchLineRefusal(std::string_view commandLine);

// Ends the process at once with the given exit code (no further event handling).
[[noreturn]] void ExitProcessNow(int exitCode);

} // namespace platform
