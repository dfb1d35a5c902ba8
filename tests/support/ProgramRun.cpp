#include "support/ProgramRun.h"

#include "support/FakeMailerRecord.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

TProgramFolder::TProgramFolder()
{
    fs::copy_file(std::string(TARNWICK_BIN_DIR) + "/Tarnwick", ExecutablePath());
    fs::copy_file(FakeMailerPath(), Path() + "smail");
    MakeFolder("temp");
}

int TProgramFolder::Start(const std::vector<std::string>& args, const std::vector<std::string>& env) const
{
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            entry.rfind("FAKE_MAILER_", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        envStrings.push_back(entry);
    }
    // The test may choose the platform; "QT_QPA_PLATFORM=" leaves it unset.
    bool platformChosen = false;
    for (const std::string& e : env)
        platformChosen = platformChosen || e.rfind("QT_QPA_PLATFORM=", 0) == 0;
    if (!platformChosen)
        envStrings.push_back("QT_QPA_PLATFORM=offscreen");
    envStrings.push_back("FAKE_MAILER_RECORD=" + RecordPath());
    for (const std::string& e : env) {
        if (e != "QT_QPA_PLATFORM=")
            envStrings.push_back(e);
    }

    std::vector<std::string> argStrings = launcher;
    argStrings.push_back(ExecutablePath());
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = Path() + "stderr.txt";
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, Path().c_str());
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TProgramFolder::TResult TProgramFolder::Wait(int pid, int timeoutMs) const
{
    TResult result;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r == pid) {
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            result.seconds = elapsed;
            break;
        }
        if (r < 0 || elapsed * 1000 > timeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            result.exitCode = -1;
            result.seconds = elapsed;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.stdErr = ReadBytes("stderr.txt");
    return result;
}

TProgramFolder::TResult TProgramFolder::Run(const std::vector<std::string>& args, int timeoutMs,
                                            const std::vector<std::string>& env) const
{
    const int pid = Start(args, env);
    if (pid < 0)
        return {};
    return Wait(pid, timeoutMs);
}
