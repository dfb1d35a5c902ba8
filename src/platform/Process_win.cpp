#include "platform/Process.h"

#include "jtext/SjisBytes.h"
#include "platform/FreshFile.h"
#include "platform/Paths.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace platform {

// The process and its main thread as CreateProcessA gave them, and the job
// that holds the process and whatever it starts (so that ending a mailer
// started through the command interpreter ends the mailer too).
struct ChildHandles {
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    HANDLE job = nullptr;
    DWORD id = 0;
};

void ChildHandlesRelease::operator()(ChildHandles* handles) const
{
    if (!handles)
        return;
    for (HANDLE h : {handles->process, handles->thread, handles->job}) {
        if (h)
            ::CloseHandle(h);
    }
    delete handles;
}

long ProcessId(const ChildProcess& child) { return child.handles ? static_cast<long>(child.handles->id) : -1; }

namespace {

// How a process ended by EndProcessSession reports itself: as a POSIX mailer
// ended by SIGTERM does, so the record reads the same on both systems.
constexpr UINT kEndedExitCode = 143;

// The longest command line CreateProcessA takes, its terminating NUL included.
constexpr std::size_t kMaxCommandLine = 32767;

// Starts the command line hidden, as the classic program does: no inherited
// handles, a console of its own, the program's environment. Without
// `program` the first word names the program, found by the system's search.
// The child starts in `folder` (ours when empty): our own current folder
// never changes.
bool CreateHidden(std::string_view commandLine, std::string_view folder, ChildProcess& child,
                  const std::string& program = {})
{
    if (commandLine.find('\0') != std::string_view::npos || commandLine.size() >= kMaxCommandLine
        || Trim(commandLine).empty())
        return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    std::string line(commandLine); // CreateProcessA may write into it
    const std::string osFolder = folder.empty() ? std::string() : ToOsPath(folder);
    if (osFolder.find('\0') != std::string::npos)
        return false;
    // A folder that is not there is refused here, whatever the system makes of it.
    const DWORD attributes = osFolder.empty() ? FILE_ATTRIBUTE_DIRECTORY : ::GetFileAttributesA(osFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    if (!::CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                          osFolder.empty() ? nullptr : osFolder.c_str(), &startup, &info))
        return false;
    CloseProcess(child);
    child.handles.reset(new ChildHandles);
    child.handles->process = info.hProcess;
    child.handles->thread = info.hThread;
    child.handles->id = info.dwProcessId;
    child.exitCode = 0;
    child.exited = false;
    // What the process starts from now on belongs to the job too. A job that
    // cannot be made leaves EndProcessSession to end the process alone.
    if (HANDLE job = ::CreateJobObjectA(nullptr, nullptr)) {
        if (::AssignProcessToJobObject(job, info.hProcess))
            child.handles->job = job;
        else
            ::CloseHandle(job);
    }
    return true;
}

// `name` below `folder`; a folder ending in a double-byte character whose
// second byte is 0x5C still gets its separator.
std::string InFolder(std::string_view folder, std::string_view name)
{
    std::string path = NormalizeSeparators(folder);
    if (FolderOf(path).size() != path.size())
        path += '\\';
    return path + std::string(name);
}

// The program file a path names, ".exe" added when it has no extension.
std::string ExistingProgram(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return {};
    char found[MAX_PATH * 2];
    const DWORD len = ::SearchPathA(nullptr, path.c_str(), ".exe", sizeof found, found, nullptr);
    if (len == 0 || len >= sizeof found)
        return {};
    const DWORD attributes = ::GetFileAttributesA(found);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? std::string(found, len)
                                                                                                  : std::string();
}

// A name that is looked for from the folder the program starts in: relative,
// with a separator ("\\tool" names a place on the drive).
bool RelativeWithSeparator(std::string_view name)
{
    return !name.empty() && name[0] != '\\' && !IsAbsolutePath(name) && FindChar(name, '\\') != std::string_view::npos;
}

// The folders of PATH, in order, their grouping quotes removed.
std::vector<std::string> PathFolders()
{
    std::vector<std::string> folders;
    const DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0)
        return folders;
    std::string path(size, '\0');
    path.resize(::GetEnvironmentVariableA("PATH", path.data(), size));
    std::string folder;
    for (std::size_t i = 0; i <= path.size(); i += i < path.size() ? SjisCharLen(path, i) : 1) {
        if (i == path.size() || path[i] == ';') {
            if (!Trim(folder).empty())
                folders.push_back(std::string(Trim(folder)));
            folder.clear();
        } else if (path[i] != '"') {
            folder.append(path, i, SjisCharLen(path, i));
        }
    }
    return folders;
}

} // namespace

bool CommandLineFits(const TCommandLine& command) { return command.Line.size() < kMaxCommandLine; }

std::string FindProgram(std::string_view name, std::string_view folder)
{
    const std::string n = NormalizeSeparators(name);
    if (n.empty())
        return {};
    // A path is taken as it stands; a relative name with a separator is looked
    // for where the program starts.
    if (IsAbsolutePath(n) || n[0] == '\\')
        return ExistingProgram(n);
    if (RelativeWithSeparator(n))
        return ExistingProgram(folder.empty() ? n : InFolder(folder, n));
    // A bare name: the program folder, then PATH. Not the system's search,
    // which looks in the current folder and the system's folders first.
    std::vector<std::string> places{ProgramFolder()};
    for (std::string& place : PathFolders())
        places.push_back(std::move(place));
    for (const std::string& place : places) {
        const std::string found = ExistingProgram(InFolder(place, n));
        if (!found.empty())
            return found;
    }
    return {};
}

std::size_t MaxCommandLineBytes() { return kMaxCommandLine - 1; }

bool StartHidden(const TCommandLine& command, std::string_view folder, ChildProcess& child)
{
    // The system goes by the line; the program is read from it the same way
    // and named to the system by the path FindProgram found.
    const std::vector<std::string> args = SplitCommandLine(command.Line);
    const std::string program = args.empty() ? std::string() : FindProgram(args[0], folder);
    return !program.empty() && CreateHidden(command.Line, folder, child, program);
}

bool StartBatch(TFreshFile& script, TFreshFile& output, std::string_view folder, ChildProcess& child)
{
    // The command interpreter opens the script, and the mailer's output, by
    // name; the system hands a ".bat" file given as the command line to it.
    // The interpreter starts in `folder` and cuts a name at its first blank:
    // the script goes to it by its full name, quoted.
    if (!script.Close() || !output.Close())
        return false;
    char full[MAX_PATH * 2];
    const std::string path = ToOsPath(script.Path());
    const DWORD len = path.find('\0') != std::string::npos ? 0 : ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return len > 0 && len < sizeof full && CreateHidden("\"" + std::string(full, len) + "\"", folder, child);
}

std::string MakeBatchScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder)
{
    (void)folder; // the command interpreter finds the program itself
    std::string script = "set TZ=JST-9\r\n";
    script += command.Line;
    if (!outputFile.empty()) {
        script += " > ";
        script += outputFile;
    }
    script += "\r\n";
    return script;
}

std::string MakeMailerScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder)
{
    return MakeBatchScript(command, outputFile, folder);
}

std::string BatchLineRefusal(std::string_view commandLine)
{
    // The command interpreter reads no longer line: the rest would be cut
    // off or run as a line of its own.
    constexpr std::size_t kMaxBatchLine = 8191;
    if (commandLine.size() + std::string_view(" > $log.txt").size() > kMaxBatchLine)
        return "the command is longer than the command interpreter reads (8191 characters)";
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); i += SjisCharLen(commandLine, i)) {
        const char c = commandLine[i];
        if (SjisCharLen(commandLine, i) > 1)
            continue; // a second byte is never one of these
        if (c == '\r' || c == '\n')
            return "the command holds a line break, which would end the batch line";
        if (c == '%')
            return "the command holds \"%\", which the command interpreter would expand";
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '&' || c == '|' || c == '<' || c == '>' || c == '^'))
            return std::string("the command holds \"") + c + "\" outside quotes, which the command interpreter would act on";
    }
    return {};
}

WaitResult WaitForExit(ChildProcess& child, std::uint32_t timeoutMs)
{
    if (child.exited)
        return WaitResult::kExited;
    if (!child.handles || !child.handles->process)
        return WaitResult::kFailed;
    switch (::WaitForSingleObject(child.handles->process, timeoutMs)) {
    case WAIT_TIMEOUT:
        return WaitResult::kTimeout;
    case WAIT_OBJECT_0: {
        DWORD code = 0;
        if (!::GetExitCodeProcess(child.handles->process, &code))
            return WaitResult::kFailed;
        // The exit code as the status code holds it: 32 bits, signed.
        child.exitCode = static_cast<int>(code);
        child.exited = true;
        return WaitResult::kExited;
    }
    default:
        return WaitResult::kFailed;
    }
}

void EndProcessSession(ChildProcess& child, std::uint32_t graceMs)
{
    (void)graceMs; // a hidden console program has no polite request to answer
    if (child.exited || !child.handles)
        return;
    if (!child.handles->job || !::TerminateJobObject(child.handles->job, kEndedExitCode))
        ::TerminateProcess(child.handles->process, kEndedExitCode);
    // A terminated process ends at once; the bound only guards against a wait that cannot succeed.
    WaitForExit(child, 10000);
}

namespace {
// Jobs of ended mailers in which something still runs (a child the mailer
// left behind): kept until EndDescendants ends them.
std::vector<HANDLE>& LingeringJobs()
{
    static std::vector<HANDLE> jobs;
    return jobs;
}
} // namespace

void CloseProcess(ChildProcess& child)
{
    if (child.handles && child.handles->job) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (::QueryInformationJobObject(child.handles->job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) &&
            info.ActiveProcesses > 0) {
            LingeringJobs().push_back(child.handles->job);
            child.handles->job = nullptr; // kept, not closed
        }
    }
    child.handles.reset();
}

void ExitProcessNow(int exitCode)
{
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(exitCode));
}

// Each child's job object holds what it starts, whatever that does:
// EndProcessSession ends the whole job, and EndDescendants the jobs of
// earlier mailers that something still runs in.
void AdoptOrphanedDescendants() {}

void EndDescendants()
{
    for (HANDLE job : LingeringJobs()) {
        ::TerminateJobObject(job, kEndedExitCode);
        ::CloseHandle(job);
    }
    LingeringJobs().clear();
}

} // namespace platform
