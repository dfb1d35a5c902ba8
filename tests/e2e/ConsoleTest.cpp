// Standard error of an unattended run: clean in a log file, a live progress
// line on a terminal.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class ConsoleTest : public ::testing::Test {
protected:
    void WriteJobs(int n)
    {
        std::vector<std::string> jobs;
        for (int k = 1; k <= n; ++k) {
            folder.WriteLines("mails/m" + std::to_string(k) + ".txt", {"out.txt", "host", "to@example.jp", "f@example.jp", "件名", ""});
            jobs.push_back("mails/m" + std::to_string(k) + ".txt,C" + std::to_string(k));
        }
        folder.WriteLines("jobs.txt", jobs);
    }
    TProgramFolder folder;
};

// A file or a pipe gets no progress, only the run's summary line.
TEST_F(ConsoleTest, ALogFileGetsTheSummaryLine)
{
    WriteJobs(2);
    const auto r = folder.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 0);
    const std::string summary = "配信結果: 送信完了=2 送信異常=0 送信不明=0 飛ばした行=0 再送=0 結果ファイル=" + folder.Path() + "$mail_result.csv";
    EXPECT_EQ(r.stdErr, summary + "\n");
    EXPECT_NE(Utf8(folder.ReadBytes("$mail_log.txt")).find(": " + summary + "\r\n"), std::string::npos);
}

TEST_F(ConsoleTest, ATerminalGetsOneLiveProgressLine)
{
    WriteJobs(3);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::chdir(folder.Path().c_str());
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("FAKE_MAILER_RECORD", folder.RecordPath().c_str(), 1);
        ::execl(folder.ExecutablePath().c_str(), "Tarnwick", "/P", "jobs.txt", "/i", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break; // the terminal closed: the program ended
            out.append(buf, static_cast<std::size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    // Rewritten in place: carriage returns, no line per mail; the last state is the run's end.
    EXPECT_NE(out.find("\r3件/3件  エラー 0件  送信完了"), std::string::npos) << out;
    EXPECT_NE(out.find("送信中:"), std::string::npos) << out;
    // One progress line, then the summary.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_NE(out.find("\n配信結果: 送信完了=3 "), std::string::npos) << out;
}

} // namespace
