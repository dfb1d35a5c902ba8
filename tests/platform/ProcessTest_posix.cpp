#include "platform/Process.h"

#include "support/FakeMailerRecord.h"
#include "PlatformTestUtil.h"
#include "platform/Files.h"
#include "platform/FreshFile.h"
#include "platform/Paths.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;
using Args = std::vector<std::string>;

#define SO "\x83\x5C"  // ソ
#define HYO "\x95\x5C" // 表

namespace {

void WriteExecutable(const std::string& path, const std::string& text, mode_t mode = 0755)
{
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), mode);
}

bool Start(const std::string& commandLine, ChildProcess& child, const std::string& folder = {})
{
    return StartHidden(CommandFromLine(commandLine), folder, child);
}

// Runs the command line to its end (10 s at most) in `folder` and gives its exit code.
int RunToEnd(const std::string& commandLine, const std::string& folder = {})
{
    ChildProcess child;
    if (!Start(commandLine, child, folder))
        return -1;
    const WaitResult r = WaitForExit(child, 10000);
    CloseProcess(child);
    return r == WaitResult::kExited ? child.exitCode : -2;
}

std::vector<std::string> FolderEntries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Arguments that a shell would act on; the mailer must get them as they are.
const Args kShellBait = {"$(touch made1)", "`touch made2`", "a;touch made3", "b|touch made4",
                         "c&touch made5", ">made6", "it's", "\"q\"", "$HOME", "*", "x\ny"};
// The same arguments as a command line (split back into kShellBait).
const std::string kShellBaitLine = " \"$(touch made1)\" \"`touch made2`\" \"a;touch made3\" \"b|touch made4\" "
                                   "\"c&touch made5\" >made6 it's \\\"q\\\" $HOME * \"x\ny\"";

} // namespace

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir_.Path().empty());
        record_ = dir_.File("record.txt");
        fs::create_directory(dir_.File("work"));
        work_ = dir_.File("work");
    }
    std::vector<FakeMailerRun> Runs() const { return ReadFakeMailerRecords(record_); }
    // Runs a batch script in the work folder with its output in $log.txt there.
    int RunBatch(const std::string& script)
    {
        TFreshFile scriptFile, output;
        if (!scriptFile.Create(work_ + "/$mail.bat", script) || !output.Create(work_ + "/$log.txt", ""))
            return -1;
        ChildProcess child;
        if (!StartBatch(scriptFile, output, work_, child))
            return -1;
        const WaitResult r = WaitForExit(child, 20000);
        CloseProcess(child);
        return r == WaitResult::kExited ? child.exitCode : -2;
    }

    TTempDir dir_;
    std::string record_;
    std::string work_;
};

TEST(FindProgram, LooksInProgramFolderThenPath)
{
    TTempDir dir;
    const std::string first = dir.File("first"), second = dir.File("second");
    fs::create_directories(first + "/tarn_probe_tool"); // a folder is no program
    fs::create_directories(second);
    WriteExecutable(first + "/tarn_probe_plain", "#!/bin/sh\n", 0644); // not executable
    WriteExecutable(second + "/tarn_probe_tool", "#!/bin/sh\n");
    WriteExecutable(second + "/tarn_probe_plain", "#!/bin/sh\n");
    WriteExecutable(second + "/fake_mailer", "#!/bin/sh\n");
    TEnvGuard path("PATH", (first + ":" + second + "/").c_str());

    EXPECT_EQ(FindProgram("tarn_probe_tool"), second + "/tarn_probe_tool");
    EXPECT_EQ(FindProgram("tarn_probe_plain"), second + "/tarn_probe_plain");
    // The program folder (the test's own) comes before PATH.
    EXPECT_EQ(FindProgram("fake_mailer"), ProgramFolder() + "fake_mailer");
    // A name ending in ".exe" is also tried without it, in any case.
    EXPECT_EQ(FindProgram("tarn_probe_tool.exe"), second + "/tarn_probe_tool");
    EXPECT_EQ(FindProgram("fake_mailer.EXE"), ProgramFolder() + "fake_mailer");
    EXPECT_EQ(FindProgram("tarn_no_such_tool"), "");
    EXPECT_EQ(FindProgram("tarn_no_such_tool.exe"), "");
    EXPECT_EQ(FindProgram(""), "");
}

TEST(FindProgram, NameWithSeparatorIsRelativeToTheFolderItStartsIn)
{
    TTempDir dir;
    fs::create_directories(dir.File("sub"));
    WriteExecutable(dir.File("sub/" HYO "tool"), "#!/bin/sh\n"); // name in CP932 ...
    WriteExecutable(dir.File("here_tool"), "#!/bin/sh\n");
    // ... is the UTF-8 name on disk.
    fs::rename(dir.File("sub/" HYO "tool"), dir.File("sub/\xE8\xA1\xA8tool"));
    TEnvGuard path("PATH", ":/nonexistent"); // an empty entry is not the current folder
    const std::string in = dir.Path() + "/";
    const std::string cwd = fs::current_path().string();

    EXPECT_EQ(FindProgram("sub\\" HYO "tool", in), in + "sub/" HYO "tool");
    EXPECT_EQ(FindProgram("sub/" HYO "tool.exe", dir.Path()), in + "sub/" HYO "tool");
    EXPECT_EQ(FindProgram("./here_tool", in), in + "./here_tool");
    EXPECT_EQ(FindProgram("./here_tool"), ""); // not where we are
    EXPECT_EQ(FindProgram("here_tool", in), "");
    EXPECT_EQ(FindProgram("sub", in), "");
    EXPECT_EQ(fs::current_path().string(), cwd);
}

TEST_F(ProcessTest, MailerGetsArgumentBytesUnchangedInItsOwnHiddenSessionAndFolder)
{
    TEnvGuard rec("FAKE_MAILER_RECORD", record_.c_str());
    const std::string ours = fs::current_path().string();
    std::ofstream(work_ + "/body.txt", std::ios::binary) << "\x82\xA0\r\n" HYO "\r\n";
    // A descriptor without close-on-exec must not reach the mailer.
    const int leaked = ::open("/dev/null", O_RDONLY);

    const std::string line = "fake_mailer.exe -hh1 -f\"" HYO " <a@b>\" -s\"" SO " x\" -m -Fbody.txt "
                             "t1,CC:" HYO "@x \"\" -t";
    EXPECT_EQ(RunToEnd(line, work_), 0);
    EXPECT_EQ(RunToEnd(line, work_ + "/missing"), -1); // a folder it cannot enter: not started
    ::close(leaked);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, (Args{"fake_mailer.exe", "-hh1", "-f" HYO " <a@b>", "-s" SO " x", "-m", "-Fbody.txt",
                                  "t1,CC:" HYO "@x", "", "-t"}));
    EXPECT_EQ(runs[0].cwd, fs::canonical(work_).string());
    EXPECT_EQ(fs::current_path().string(), ours); // the child moved, we did not
    EXPECT_EQ(runs[0].body, std::optional<std::string>("\x82\xA0\r\n" HYO "\r\n"));
    EXPECT_FALSE(runs[0].batchFilePresent);
    EXPECT_TRUE(runs[0].ownSession);
    EXPECT_EQ(runs[0].nullIo, "111");
    EXPECT_EQ(runs[0].extraFds, 0);
}

TEST_F(ProcessTest, ExitCodesAndSignals)
{
    const std::string mailer = "\"" + FakeMailerPath() + "\"";
    {
        TEnvGuard code("FAKE_MAILER_EXIT", "3");
        EXPECT_EQ(RunToEnd(mailer), 3);
    }
    {
        TEnvGuard code("FAKE_MAILER_EXIT", "255");
        EXPECT_EQ(RunToEnd(mailer), 255);
    }
    {
        TEnvGuard sig("FAKE_MAILER_SIGNAL", "9");
        EXPECT_EQ(RunToEnd(mailer), 137);
    }
    {
        // A signal the program ignores is not ignored by the mailer.
        struct sigaction ignore {}, old {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGTERM, &ignore, &old);
        TEnvGuard sig("FAKE_MAILER_SIGNAL", "15");
        EXPECT_EQ(RunToEnd(mailer), 143);
        ::sigaction(SIGTERM, &old, nullptr);
    }
    EXPECT_EQ(RunToEnd(mailer), 0);
}

TEST_F(ProcessTest, WaitTimesOutWhileTheMailerRuns)
{
    TEnvGuard sleep("FAKE_MAILER_SLEEP_MS", "20000");
    ChildProcess child;
    ASSERT_TRUE(Start(FakeMailerPath(), child));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForExit(child, 100), WaitResult::kTimeout);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(90));
    EXPECT_LT(waited, std::chrono::milliseconds(5000));

    ::kill(static_cast<pid_t>(ProcessId(child)), SIGKILL);
    EXPECT_EQ(WaitForExit(child, 10000), WaitResult::kExited);
    EXPECT_EQ(child.exitCode, 137);
    EXPECT_EQ(WaitForExit(child, 0), WaitResult::kExited); // asked again: same answer
    CloseProcess(child);
}

TEST_F(ProcessTest, ProgramThatCannotStartIsReportedAsFailure)
{
    WriteExecutable(dir_.File("not_a_program"), "no interpreter line\n"); // exec fails
    WriteExecutable(dir_.File("not_executable"), "#!/bin/sh\n", 0644);
    ChildProcess child;
    for (const std::string& line : {std::string(), std::string("   "), std::string("tarn_no_such_mailer.exe -t"),
                                    "\"" + dir_.File("not_a_program") + "\" -t", dir_.File("not_executable"), dir_.Path()})
        EXPECT_FALSE(Start(line, child)) << line;
}

TEST_F(ProcessTest, ShellCharactersReachTheMailerLiterally)
{
    TEnvGuard rec("FAKE_MAILER_RECORD", record_.c_str());
    EXPECT_EQ(RunToEnd("fake_mailer" + kShellBaitLine, work_), 0);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    Args expected = {"fake_mailer"};
    expected.insert(expected.end(), kShellBait.begin(), kShellBait.end());
    EXPECT_EQ(runs[0].args, expected);
    EXPECT_EQ(FolderEntries(work_), Args{});
}

TEST_F(ProcessTest, BatchScriptRunsTheMailerWithJapanTimeAndCapturesItsOutput)
{
    TEnvGuard rec("FAKE_MAILER_RECORD", record_.c_str());
    TEnvGuard tz("TZ", "UTC");
    TEnvGuard print("FAKE_MAILER_PRINT", "line1\\r\\n" HYO "\\r\\n");
    TEnvGuard printErr("FAKE_MAILER_PRINT_ERR", "to stderr");
    TEnvGuard code("FAKE_MAILER_EXIT", "5");

    const std::string script =
        MakeMailerScript(CommandFromLine("fake_mailer.exe -d -s\"" SO "\"" + kShellBaitLine), "$log.txt", work_);
    EXPECT_EQ(script.find('\r'), std::string::npos);
    EXPECT_EQ(RunBatch(script), 5);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    Args expected = {ProgramFolder() + "fake_mailer", "-d", "-s" SO};
    expected.insert(expected.end(), kShellBait.begin(), kShellBait.end());
    EXPECT_EQ(runs[0].args, expected);
    EXPECT_EQ(runs[0].tz, std::optional<std::string>("JST-9"));
    EXPECT_TRUE(runs[0].batchFilePresent);
    EXPECT_TRUE(runs[0].ownSession);
    EXPECT_EQ(runs[0].nullIo, "101"); // standard output goes to the output file

    std::string output;
    ASSERT_TRUE(TryLoadFile(work_ + "/$log.txt", output));
    EXPECT_EQ(output, "line1\r\n" HYO "\r\n");
    EXPECT_EQ(FolderEntries(work_), (Args{"$log.txt", "$mail.bat"}));
}

TEST_F(ProcessTest, BatchScriptCopesWithMuchOutputAndAMissingMailer)
{
    {
        TEnvGuard flood("FAKE_MAILER_PRINT_BYTES", "3000000");
        EXPECT_EQ(RunBatch(MakeMailerScript(CommandFromLine("fake_mailer"), "$log.txt", work_)), 0);
        EXPECT_EQ(fs::file_size(work_ + "/$log.txt"), 3000000u);
    }
    EXPECT_EQ(RunBatch(MakeMailerScript(CommandFromLine("tarn_no_such_mailer '$(touch made)' -t"), "$log.txt", work_)), 127);
    EXPECT_FALSE(fs::exists(work_ + "/made"));
}

TEST_F(ProcessTest, FakeMailerFollowsItsControlFileAndExitSequence)
{
    TEnvGuard rec("FAKE_MAILER_RECORD", record_.c_str());
    TEnvGuard code("FAKE_MAILER_EXIT", "9");
    TCwdGuard cwd(work_);
    EXPECT_EQ(RunToEnd("fake_mailer"), 9);
    std::ofstream("fake_mailer.ctl") << "FAKE_MAILER_EXIT_SEQ=0,3\r\n";
    EXPECT_EQ(RunToEnd("fake_mailer"), 0);
    EXPECT_EQ(RunToEnd("fake_mailer"), 3);
    EXPECT_EQ(RunToEnd("fake_mailer"), 3);
    EXPECT_EQ(Runs().size(), 4u);
}

TEST(ExitProcessNow, FlushesBufferedOutputAndKeepsTheLowEightBits)
{
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    std::fflush(stdout); // nothing of ours may be pending in the child's copy
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        std::printf("buffered"); // no line end: still in the buffer
        ExitProcessNow(-1);
    }
    ::close(out[1]);
    std::string text;
    char buf[64];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_EQ(text, "buffered");
}
