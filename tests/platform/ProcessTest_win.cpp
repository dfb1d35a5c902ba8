// The mailer process on Windows: started hidden with the command line as it
// is in the folder given, waited for, ended; the batch file run by the
// command interpreter.
#include "platform/Process.h"

#include "platform/Clock.h"
#include "platform/FreshFile.h"
#include "support/FakeMailerRecord.h"
#include "support/TempFolder.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using Args = std::vector<std::string>;

#define SO "\x83\x5C"  // ソ
#define HYO "\x95\x5C" // 表

namespace {

// A work folder with a blank in its name, which the mailer starts in; the
// fake mailer reads its control keys from "fake_mailer.ctl" there.
class ProcessTest : public ::testing::Test {
protected:
    ProcessTest()
    {
        folder_.MakeFolder("my work");
        work_ = folder_.Cp932Path() + "my work\\";
        Control("");
    }
    // The fake mailer's control keys (KEY=VALUE lines) besides the record file.
    void Control(const std::string& keys)
    {
        folder_.WriteBytes("my work/fake_mailer.ctl", "FAKE_MAILER_RECORD=" + Record() + "\n" + keys);
    }
    std::string Record() const { return folder_.Cp932Path() + "record.txt"; }
    std::vector<FakeMailerRun> Runs() const { return ReadFakeMailerRecords(Record()); }
    std::string Mailer() const { return "\"" + Native(FakeMailerPath()) + "\""; }

    // Runs the command line in `folder` to its end (20 s at most) and gives its exit code.
    static int RunToEnd(const std::string& commandLine, const std::string& folder)
    {
        ChildProcess child;
        if (!StartHidden(CommandFromLine(commandLine), folder, child))
            return -1;
        const WaitResult r = WaitForExit(child, 20000);
        CloseProcess(child);
        return r == WaitResult::kExited ? child.exitCode : -2;
    }

    TTempFolder folder_;
    std::string work_;
};

TEST_F(ProcessTest, TheMailerGetsTheCommandLineAsBuiltAndSplitsItAsWeDo)
{
    folder_.WriteBytes("my work/body.txt", "\x82\xA0\r\n" HYO "\r\n");
    const std::string line = Mailer() + " -hh1 -f\"" HYO " <a@b>\" -s\"" SO " \\\"x\\\\\" -m -Fbody.txt "
                             "t1,CC:" HYO "@x \"\" a\\\\\\\"b -t";
    EXPECT_EQ(RunToEnd(line, work_), 0);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    // Windows hands the program the line itself; its C runtime splits it, and
    // our splitter (which decides what is refused) must agree.
    EXPECT_EQ(runs[0].commandLine, line);
    Args ours = SplitCommandLine(line), theirs = runs[0].args;
    ours.erase(ours.begin()); // argv[0] is the program's own business
    theirs.erase(theirs.begin());
    EXPECT_EQ(theirs, ours);
    EXPECT_EQ(runs[0].args[2], "-f" HYO " <a@b>");
    EXPECT_EQ(runs[0].args[3], "-s" SO " \"x\\");
    EXPECT_EQ(Native(runs[0].cwd + "\\"), Native(work_));
    EXPECT_EQ(runs[0].body, std::optional<std::string>("\x82\xA0\r\n" HYO "\r\n"));
    EXPECT_FALSE(runs[0].tz.has_value() && *runs[0].tz == "JST-9");
}

TEST_F(ProcessTest, ExitCodesKeepTheirThirtyTwoBits)
{
    for (const int code : {0, 3, 255, 300, -1}) {
        Control("FAKE_MAILER_EXIT=" + std::to_string(code) + "\n");
        EXPECT_EQ(RunToEnd(Mailer(), work_), code);
    }
}

TEST_F(ProcessTest, WaitTimesOutAndEndingTheMailerReportsIt)
{
    Control("FAKE_MAILER_SLEEP_MS=60000\n");
    ChildProcess child;
    ASSERT_TRUE(StartHidden(CommandFromLine(Mailer()), work_, child));
    EXPECT_GT(ProcessId(child), 0);
    EXPECT_EQ(WaitForExit(child, 100), WaitResult::kTimeout);
    EndProcessSession(child, 2000);
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 143);
    EXPECT_EQ(WaitForExit(child, 0), WaitResult::kExited); // asked again: same answer
    CloseProcess(child);
    EXPECT_FALSE(child.Started());
}

TEST_F(ProcessTest, ACommandThatCannotStartIsAFailure)
{
    ChildProcess child;
    for (const std::string& line : {std::string(), std::string("   "), std::string("tarn_no_such_mailer.exe -t"),
                                    std::string("fake_mailer\0 -t", 15), std::string(40000, 'a')})
        EXPECT_FALSE(StartHidden(CommandFromLine(line), work_, child)) << line.substr(0, 40);
    EXPECT_FALSE(child.Started());
}

TEST_F(ProcessTest, TheChildStartsInTheFolderGivenAndFindsItsProgramFromThere)
{
    // Mailers only a folder ending in a second byte 0x5C holds, by a relative path and a bare name.
    const std::string jp = work_ + HYO, ours = std::filesystem::current_path().string();
    folder_.MakeFolder("my work/\xE8\xA1\xA8/sub");
    for (const char* copy : {"sub/tool.exe", "tarn_here_mailer.exe"})
        std::filesystem::copy_file(OsName(FakeMailerPath()), OsName(jp + "\\" + copy));
    SetEnvironment("FAKE_MAILER_RECORD", Record().c_str()); // where no control file is
    struct Case { std::string line, folder, cwd; };         // no cwd: not started
    const Case cases[] = {{Mailer(), jp, jp}, {Mailer(), "", ours}, {Mailer(), work_ + "missing", ""},
                          {"sub\\tool.exe -t", jp, jp}, {"\"sub/tool\"", jp, jp}, {"tarn_here_mailer", jp, ""},
                          {"sub\\tool.exe", work_, ""}}; // a bare name never in the start folder, a path never in ours
    for (const Case& c : cases) {
        EXPECT_EQ(RunToEnd(c.line, c.folder), c.cwd.empty() ? -1 : 0) << c.line << " in " << c.folder;
        const auto runs = Runs(); // the program named, the line unchanged
        const std::string last = runs.empty() ? "" : runs.back().cwd + "|" + runs.back().commandLine;
        EXPECT_TRUE(c.cwd.empty() || last == Native(c.cwd) + "|" + c.line) << last;
    }
    SetEnvironment("FAKE_MAILER_RECORD", nullptr);
    EXPECT_EQ(std::filesystem::current_path().string(), ours);
}

TEST_F(ProcessTest, TheBatchFileIsTheClassicTwoLinesAndRunsWithJapanTime)
{
    const std::string command = Mailer() + " -d -s\"" SO "\" -m -Fbody.txt t1 ";
    const std::string script = MakeMailerScript(CommandFromLine(command), "$log.txt", work_);
    EXPECT_EQ(script, "set TZ=JST-9\r\n" + command + " > $log.txt\r\n");

    Control("FAKE_MAILER_EXIT=5\nFAKE_MAILER_PRINT=" SO "\\r\\nline two\\r\\n\n");
    TFreshFile scriptFile, output;
    ASSERT_TRUE(scriptFile.Create(work_ + "$mail.bat", script));
    ASSERT_TRUE(output.Create(work_ + "$log.txt", ""));
    ChildProcess child;
    ASSERT_TRUE(StartBatch(scriptFile, output, work_, child));
    ASSERT_EQ(WaitForExit(child, 20000), WaitResult::kExited);
    EXPECT_EQ(child.exitCode, 5);

    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].tz, std::optional<std::string>("JST-9"));
    EXPECT_TRUE(runs[0].batchFilePresent);
    EXPECT_EQ(runs[0].args.at(2), "-s" SO);
    // The output went into the output file by name; it is read back from it.
    ASSERT_TRUE(output.Rewind());
    char buf[256];
    const long long n = output.Read(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), SO "\r\nline two\r\n");
}

TEST_F(ProcessTest, EndingABatchRunEndsTheMailerItStarted)
{
    Control("FAKE_MAILER_SLEEP_MS=60000\n");
    TFreshFile script, output;
    ASSERT_TRUE(script.Create(work_ + "$mail.bat", MakeBatchScript(CommandFromLine(Mailer()), "$log.txt")));
    ASSERT_TRUE(output.Create(work_ + "$log.txt", ""));
    ChildProcess child;
    ASSERT_TRUE(StartBatch(script, output, work_, child));
    // Wait until the mailer has recorded its start, then end the run. The
    // first command interpreters of a fresh Wine prefix take about 10 s to start.
    for (int i = 0; i < 1200 && Runs().empty(); ++i)
        SleepMs(50);
    ASSERT_EQ(Runs().size(), 1u);
    EndProcessSession(child, 2000);
    EXPECT_EQ(child.exitCode, 143);
    // The mailer is gone too: its output file can be removed at once.
    EXPECT_TRUE(std::filesystem::remove(folder_.Path() + "my work/$log.txt"));
}

TEST(BatchLineRefusal, WhatTheCommandInterpreterWouldActOnIsRefused)
{
    struct Case { std::string line; bool refused; };
    const std::vector<Case> cases = {
        {"smail.exe -hh -s\"a & b | c < d > e ^ f\" -m -Fbody.txt t@x ", false}, // quoted: taken literally
        {"smail.exe -s\"" SO HYO "\" t@x ", false},                                 // 0x5C trail bytes
        {"smail.exe -s\"\x83\x7C\" t@x ", false},                                   // a trail byte "|" is no pipe
        {"smail.exe -fa&b@x t@x ", true},
        {"smail.exe t@x|more ", true},
        {"smail.exe -s\"50%\" t@x ", true}, // expanded even inside quotes
        {"smail.exe -s\"a\" b^c ", true},
        {"smail.exe -s\"x\r\ny\" t@x ", true},
        {"smail.exe -s\"unclosed & t@x ", false},
        {"smail.exe " + std::string(8169, 'a') + " ", false}, // with " > $log.txt": 8191
        {"smail.exe " + std::string(8170, 'a') + " ", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(!BatchLineRefusal(c.line).empty(), c.refused) << c.line;
}

} // namespace
