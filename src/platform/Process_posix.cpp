#include "platform/Process.h"

#include "platform/FreshFile.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <vector>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

// A process id and, where the kernel has them, a pidfd naming this very process.
struct ChildHandles {
    pid_t pid = -1;
    int pidfd = -1;
};

void ChildHandlesRelease::operator()(ChildHandles* handles) const
{
    if (handles && handles->pidfd >= 0)
        ::close(handles->pidfd);
    delete handles;
}

long ProcessId(const ChildProcess& child) { return child.handles ? child.handles->pid : -1; }
namespace {

bool IsExecutableFile(const std::string& osPath)
{
    struct stat st {};
    return ::stat(osPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(osPath.c_str(), X_OK) == 0;
}

bool EndsWithExe(std::string_view name)
{
    if (name.size() < 4)
        return false;
    const std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == 'e' && lower(tail[2]) == 'x' && lower(tail[3]) == 'e';
}

// The program a CP932 name means, as the operating system's path. A name with
// a separator is taken as it stands, relative to `folder` when it is not
// absolute; a bare name is looked for in the program folder, then along PATH.
// In each folder a name ending in ".exe" is also tried without it, so a
// command written for Windows finds the program the folder holds.
std::string FindProgramOsPath(std::string_view cp932Name, std::string_view folder)
{
    const std::string name = NormalizeSeparators(cp932Name);
    if (name.empty())
        return {};
    std::vector<std::string> names = {ToOsPath(name)};
    if (EndsWithExe(name))
        names.push_back(ToOsPath(name.substr(0, name.size() - 4)));
    auto inFolder = [&](const std::string& dir) -> std::string {
        for (const std::string& n : names) {
            const std::string candidate = dir.empty() || dir.back() == '/' ? dir + n : dir + "/" + n;
            if (IsExecutableFile(candidate))
                return candidate;
        }
        return {};
    };
    if (name.find('/') != std::string::npos)
        return inFolder(name[0] == '/' || folder.empty() ? std::string() : ToOsPath(NormalizeSeparators(folder)));

    std::string found = inFolder(ToOsPath(ProgramFolder()));
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; found.empty() && start <= path.size();) {
        const std::size_t colon = std::min(path.find(':', start), path.size());
        const std::string dir = path.substr(start, colon - start);
        // An empty entry would mean the current folder, which is the work
        // folder full of mail data: never run a program from there by chance.
        if (!dir.empty())
            found = inFolder(dir);
        start = colon + 1;
    }
    return found;
}

// Starts `osPath` with `argv` in a new session in `folder` (CP932; ours when
// empty), standard handles on /dev/null (or standard input and output on the
// descriptors given), no other descriptors of ours inherited, default signal
// handling.
bool Spawn(const std::string& osPath, const std::vector<std::string>& args, std::string_view folder, ChildProcess& child,
           int stdinFd = -1, int stdoutFd = -1)
{
    // The child enters the folder itself: ours never changes, so a relative
    // work folder means the same folder for every mail. A folder that cannot
    // be entered fails the start.
    const std::string osFolder = folder.empty() ? std::string() : ToOsPath(folder);

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }

    bool ok = (stdinFd >= 0 ? posix_spawn_file_actions_adddup2(&actions, stdinFd, 0)
                            : posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0)) == 0
        && (stdoutFd >= 0 ? posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1)
                          : posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0)) == 0
        && posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0
        // Like a Windows start without inherited handles; above all the
        // single-instance lock must not live on in the mailer.
        && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0
        && (osFolder.empty() || posix_spawn_file_actions_addchdir_np(&actions, osFolder.c_str()) == 0);

    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    ok = ok && posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0
        && posix_spawnattr_setsigmask(&attr, &noSignals) == 0
        && posix_spawnattr_setsigdefault(&attr, &allSignals) == 0;

    pid_t pid = -1;
    // glibc reports a failed exec as the result here, not as a child status.
    if (ok)
        ok = posix_spawn(&pid, osPath.c_str(), &actions, &attr, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (!ok)
        return false;

    CloseProcess(child);
    child.handles.reset(new ChildHandles);
    child.exitCode = 0;
    child.exited = false;
    child.handles->pid = pid;
    // Without a pidfd (old kernel) WaitForExit falls back to polling.
    child.handles->pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (child.handles->pidfd >= 0)
        ::fcntl(child.handles->pidfd, F_SETFD, FD_CLOEXEC);
    return true;
}

std::string ShellQuote(std::string_view text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

// A relative path beginning with "-" would be read as an option.
std::string NotAnOption(std::string path)
{
    return (!path.empty() && path[0] == '-') ? "./" + path : path;
}

enum class Reap { kDone, kRunning, kError };

// Collects the child's status if it has ended (or waits for it without WNOHANG).
Reap TryReap(ChildProcess& child, int flags)
{
    // Through the pidfd when there is one: it names this very process even
    // after its pid has been reused.
    const ChildHandles& h = *child.handles;
    const idtype_t type = h.pidfd >= 0 ? P_PIDFD : P_PID;
    const id_t id = static_cast<id_t>(h.pidfd >= 0 ? h.pidfd : h.pid);
    siginfo_t info {};
    for (;;) {
        if (::waitid(type, id, &info, WEXITED | flags) == 0)
            break;
        if (errno != EINTR)
            return Reap::kError;
    }
    if (info.si_pid == 0)
        return Reap::kRunning;
    child.exitCode = info.si_code == CLD_EXITED ? (info.si_status & 0xFF) : 128 + info.si_status;
    child.exited = true;
    return Reap::kDone;
}

} // namespace

bool CommandLineFits(const TCommandLine& command)
{
    constexpr std::size_t kMaxArgument = 32 * 4096; // the kernel's limit for one argument
    std::size_t total = 0;
    for (const std::string& a : command.Args) {
        if (a.size() + 1 >= kMaxArgument)
            return false;
        total += a.size() + 1 + sizeof(char*);
    }
    for (char** e = environ; *e; ++e)
        total += std::strlen(*e) + 1 + sizeof(char*);
    return total < MaxCommandLineBytes();
}

std::string FindProgram(std::string_view name, std::string_view folder)
{
    const std::string found = FindProgramOsPath(name, folder);
    return found.empty() ? std::string() : FromOsPath(found);
}

bool StartHidden(const TCommandLine& command, std::string_view folder, ChildProcess& child)
{
    if (command.Args.empty())
        return false;
    // A full path (what FindProgram gave) is not looked at again: the start
    // itself fails for one that is gone or cannot be run.
    const std::string name = NormalizeSeparators(command.Args[0]);
    const std::string program = !name.empty() && name[0] == '/' ? ToOsPath(name) : FindProgramOsPath(name, folder);
    if (program.empty())
        return false;
    // argv[0] stays as written, like every other argument.
    return Spawn(program, command.Args, folder, child);
}

std::size_t MaxCommandLineBytes()
{
    // Arguments and environment share this room; each argument alone is
    // further held to 128 KiB, which the start itself reports.
    static const long max = ::sysconf(_SC_ARG_MAX); // asked once: it asks the kernel every time
    return max > 0 ? static_cast<std::size_t>(max) : std::size_t(128) << 10;
}

bool StartBatch(TFreshFile& script, TFreshFile& output, std::string_view folder, ChildProcess& child)
{
    const int scriptFd = static_cast<int>(script.Handle()), outputFd = static_cast<int>(output.Handle());
    if (scriptFd < 0 || outputFd < 0 || ::lseek(scriptFd, 0, SEEK_SET) != 0)
        return false;
    // The shell reads the script from its standard input: nothing in the
    // folder is opened by name, so a file renamed over $mail.bat is never run.
    const std::vector<std::string> args = {"/bin/sh", "-s"};
    return Spawn("/bin/sh", args, folder, child, scriptFd, outputFd);
}

std::string MakeBatchScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder)
{
    std::string script = "TZ=JST-9; export TZ\n";
    const std::vector<std::string>& args = command.Args;
    const std::string program = args.empty() ? std::string() : FindProgramOsPath(args[0], folder);
    if (program.empty()) {
        // The shell's own code for a command that is not found; the message
        // goes to standard error as the shell's would.
        script += "printf '%s\\n' " + ShellQuote((args.empty() ? std::string() : args[0]) + ": not found") + " >&2\nexit 127\n";
        return script;
    }
    // exec: the process that is waited for is the mailer itself, so its exit
    // code (or 128 + signal) is what we read. argv[0] is the resolved path.
    // Only standard output is redirected, as ">" does on Windows.
    script += "exec " + ShellQuote(NotAnOption(program));
    for (std::size_t i = 1; i < args.size(); ++i)
        script += ' ' + ShellQuote(args[i]);
    if (outputFile.empty())
        script += " < /dev/null\n"; // standard input was the script itself
    else
        script += " > " + ShellQuote(NotAnOption(ToOsPath(outputFile))) + "\n";
    return script;
}

std::string MakeMailerScript(const TCommandLine& command, std::string_view outputFile, std::string_view folder)
{
    (void)outputFile; // StartBatch connects the output file's own handle
    return MakeBatchScript(command, "", folder);
}

std::string BatchLineRefusal(std::string_view commandLine)
{
    (void)commandLine; // every argument is quoted for the shell
    return {};
}

WaitResult WaitForExit(ChildProcess& child, std::uint32_t timeoutMs)
{
    if (child.exited)
        return WaitResult::kExited;
    if (!child.handles || child.handles->pid <= 0)
        return WaitResult::kFailed;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto remainingMs = [&]() -> int {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
    };

    if (child.handles->pidfd >= 0) {
        for (;;) {
            pollfd p {child.handles->pidfd, POLLIN, 0};
            const int n = ::poll(&p, 1, remainingMs());
            if (n > 0)
                break;
            if (n == 0)
                return WaitResult::kTimeout;
            if (errno != EINTR)
                return WaitResult::kFailed;
        }
        return TryReap(child, 0) == Reap::kDone ? WaitResult::kExited : WaitResult::kFailed;
    }

    for (;;) {
        const Reap r = TryReap(child, WNOHANG);
        if (r == Reap::kDone)
            return WaitResult::kExited;
        if (r == Reap::kError)
            return WaitResult::kFailed;
        const int left = remainingMs();
        if (left == 0)
            return WaitResult::kTimeout;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 10)));
    }
}

void EndProcessSession(ChildProcess& child, std::uint32_t graceMs)
{
    if (child.exited || !child.handles || child.handles->pid <= 0)
        return;
    const pid_t pid = child.handles->pid;
    // The child leads its own session and process group: signal the group.
    ::kill(-pid, SIGTERM);
    if (WaitForExit(child, graceMs) == WaitResult::kExited)
        return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    // A killed process ends at once; the bound only guards against a wait that cannot succeed.
    WaitForExit(child, 10000);
}

void CloseProcess(ChildProcess& child)
{
    if (!child.handles)
        return;
    // Reap a child that has ended meanwhile so it leaves no zombie.
    if (!child.exited && child.handles->pid > 0)
        TryReap(child, WNOHANG);
    child.handles.reset();
    // Orphans handed to us that have ended: the mailer is the only child we
    // wait for, so any other ended child is one of those.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

void AdoptOrphanedDescendants()
{
#ifdef __linux__
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
#endif
}

namespace {

struct TProcessLinks {
    pid_t parent = 0;
    pid_t session = 0;
};

// Every process's parent and session, from /proc.
std::map<pid_t, TProcessLinks> ReadProcessLinks()
{
    std::map<pid_t, TProcessLinks> links;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return links;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        char path[64], buf[512];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        buf[n] = '\0';
        // "pid (name) state ppid pgrp session ...": the name may hold anything, ")" included.
        const char* close = std::strrchr(buf, ')');
        char state = 0;
        long ppid = 0, pgrp = 0, session = 0;
        if (close && std::sscanf(close + 1, " %c %ld %ld %ld", &state, &ppid, &pgrp, &session) == 4 && state != 'Z')
            links[static_cast<pid_t>(pid)] = {static_cast<pid_t>(ppid), static_cast<pid_t>(session)};
    }
    ::closedir(proc);
    return links;
}

} // namespace

void EndDescendants()
{
    const pid_t self = ::getpid();
    const pid_t ownSession = ::getsid(0);
    // A few rounds: a descendant may fork while we look.
    for (int round = 0; round < 5; ++round) {
        const std::map<pid_t, TProcessLinks> links = ReadProcessLinks();
        std::map<pid_t, std::vector<pid_t>> children;
        for (const auto& [pid, l] : links)
            children[l.parent].push_back(pid);
        std::vector<pid_t> found, todo{self};
        while (!todo.empty()) {
            const pid_t p = todo.back();
            todo.pop_back();
            for (const pid_t c : children[p]) {
                todo.push_back(c);
                if (links.at(c).session != ownSession)
                    found.push_back(c);
            }
        }
        if (found.empty())
            break;
        for (const pid_t pid : found)
            ::kill(pid, SIGKILL);
        // Those handed to us are ours to collect.
        for (const pid_t pid : found) {
            if (links.at(pid).parent == self)
                ::waitpid(pid, nullptr, 0);
        }
    }
}

void ExitProcessNow(int exitCode)
{
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace platform
