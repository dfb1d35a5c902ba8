// The record on the built program: full disks, held files, kills and
// continuations, termination signals, the mailer time limit, and platforms
// without a person.
#include "FaultSupport.h"

#include "support/TempFolder.h"

#include <dirent.h>
#include <filesystem>
#include <map>
#include <random>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace faults;

namespace {

class RecordFaultTest : public ::testing::Test {
protected:
    TProgramFolder folder;

    // n mails, each to its own address u<k>@example.jp, and a job list naming them.
    void WriteNumberedMails(int n)
    {
        std::string jobs;
        for (int k = 1; k <= n; ++k) {
            const std::string name = "m" + std::to_string(k) + ".txt";
            folder.WriteLines("mails/" + name, {"../out.txt", "host", "u" + std::to_string(k) + "@example.jp",
                                                 "from@example.jp", "件名", "", "本文"});
            jobs += "mails/" + name + ",C" + std::to_string(k) + "\r\n";
        }
        folder.WriteBytes("jobs.txt", jobs);
    }

    // How often the mailer was started for each address.
    std::map<std::string, int> StartsPerAddress() const
    {
        std::map<std::string, int> starts;
        for (const auto& run : ReadFakeMailerRecords(folder.RecordPath())) {
            for (const std::string& a : run.args) {
                if (a.find("@example.jp") != std::string::npos && a.rfind("-f", 0) != 0)
                    ++starts[a];
            }
        }
        return starts;
    }

    // Processes still running the fake mailer of this folder.
    int MailersLeft() const
    {
        int left = 0;
        const std::string mailer = fs::canonical(folder.Path() + "smail").string();
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code ec;
            const fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
            if (!ec && exe.string() == mailer)
                ++left;
        }
        return left;
    }

    std::vector<std::string> ResultLines() const
    {
        return folder.Exists("$mail_result.csv") ? RawLines(folder.ReadBytes("$mail_result.csv")) : std::vector<std::string>{};
    }
};

TEST_F(RecordFaultTest, FullDiskKeepsNoTornLineAndReportsEveryLineItCannotWrite)
{
    // The program folder on a small tmpfs; the mails and the work folder elsewhere.
    TTempFolder disk;
    // Room for the two programs (a sanitizer build is several times larger) and a little more.
    const std::uintmax_t room = fs::file_size(folder.ExecutablePath()) + fs::file_size(folder.Path() + "smail") + (1 << 20);
    const std::string options = "size=" + std::to_string(room);
    if (::mount("tarnwick-test", disk.Path().c_str(), "tmpfs", 0, options.c_str()) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk.Path()};
    fs::copy_file(folder.ExecutablePath(), disk.Path() + "Tarnwick");
    fs::copy_file(folder.Path() + "smail", disk.Path() + "smail");
    WriteNumberedMails(300);
    // The job list names the definitions by absolute paths: the program folder is elsewhere.
    std::string jobs;
    for (int k = 1; k <= 300; ++k)
        jobs += folder.Path() + "mails/m" + std::to_string(k) + ".txt,C" + std::to_string(k) + "\r\n";
    folder.WriteBytes("jobs.txt", jobs);
    // Fill the disk but for a few pages.
    {
        const std::size_t free = fs::space(disk.Path()).available;
        ASSERT_GT(free, 64u * 1024);
        disk.WriteBytes("filler", std::string(free - 48 * 1024, 'x'));
    }

    const std::string argsJobs = folder.Path() + "jobs.txt";
    const pid_t pid = [&] {
        WaitForFreeInstanceMarker();
        const std::string exe = disk.Path() + "Tarnwick";
        const std::string rec = "FAKE_MAILER_RECORD=" + folder.RecordPath();
        const std::string work = folder.Path() + "temp";
        std::vector<std::string> a{exe, "/P", argsJobs, "/f", work, "/i"};
        std::vector<std::string> e{"QT_QPA_PLATFORM=offscreen", rec, "PATH=/usr/bin:/bin"};
        std::vector<char*> argv, envp;
        for (auto& s : a)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        for (auto& s : e)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            const int err = ::open((folder.Path() + "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return child;
    }();
    const auto r = WaitWithUsage(pid, 120000);
    EXPECT_EQ(r.exitCode, 1) << folder.ReadBytes("stderr.txt");

    // No torn record: the result file ends with its last line's end, every line whole.
    const std::string file = disk.Exists("$mail_result.csv") ? disk.ReadBytes("$mail_result.csv") : std::string();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
    const std::vector<std::string> lines = RawLines(file);
    for (const std::string& line : lines)
        EXPECT_EQ(ResultField(line, 13).rfind(folder.Path(), 0), 0u) << line;

    // Every mail the mailer saw is on record or reported on standard error.
    const std::string err = folder.ReadBytes("stderr.txt");
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_GT(runs.size(), 0u);
    EXPECT_LT(runs.size(), 300u); // the full disk ended the run
    for (std::size_t k = 1; k <= runs.size(); ++k) {
        const std::string tail = "," + std::to_string(k) + ",C" + std::to_string(k) + ",";
        bool recorded = false;
        for (const std::string& line : lines)
            recorded = recorded || line.find(tail) != std::string::npos;
        EXPECT_TRUE(recorded || err.find(tail) != std::string::npos) << "mail " << k;
    }
}

TEST_F(RecordFaultTest, AResultFileHeldForTwoSecondsGetsItsLineLater)
{
    WriteNumberedMails(30);
    const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SLEEP_MS=30"});
    ASSERT_TRUE(WaitFor([&] { return ReadFakeMailerRecords(folder.RecordPath()).size() >= 10; }, 20000));
    const int fd = ::open((folder.Path() + "$mail_result.csv").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ::close(fd);
    const auto r = WaitWithUsage(pid, 60000);
    EXPECT_EQ(r.exitCode, 0);
    ExpectOneResultLinePerMail(folder, 30);
    const std::string log = folder.ReadBytes("$mail_log.txt");
    EXPECT_NE(log.find(": Record WriteError "), std::string::npos);
    EXPECT_NE(log.find(": Record Written "), std::string::npos);
}

// The record of a finished earlier run, and how the next run of the same
// list ends: killed at a random moment of its first 0.3 s, then continued
// until done. Every job-list line has one result line (the earlier run's when
// the killed one never began), no address is started twice, and the exit code
// is the last mail's.
TEST_F(RecordFaultTest, KilledInItsFirstMomentsAndContinuedNothingGoesTwiceOrIsLost)
{
    constexpr int kMails = 20;
    WriteNumberedMails(kMails);
    ASSERT_EQ(RunProgram(folder, {"/P", "jobs.txt", "/i"}).exitCode, 0);
    const std::string earlierResults = folder.ReadBytes("$mail_result.csv");
    const std::string earlierJournal = folder.ReadBytes("$mail_result.jnl");
    std::mt19937 random(20261209);
    for (int trial = 0; trial < 50; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        folder.WriteBytes("$mail_result.csv", earlierResults);
        folder.WriteBytes("$mail_result.jnl", earlierJournal);
        fs::remove(folder.RecordPath());
        const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"});
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 300000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const auto r = folder.Run({"/P", "jobs.txt", "/i", "/c"});
        const auto starts = StartsPerAddress();
        for (const auto& [address, count] : starts)
            EXPECT_EQ(count, 1) << address;
        const std::vector<std::string> lines = ResultLines();
        std::map<std::string, int> linesPerCode;
        for (const std::string& line : lines)
            ++linesPerCode[ResultField(line, 12)];
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMails)) << r.stdErr;
        for (int k = 1; k <= kMails; ++k)
            EXPECT_EQ(linesPerCode["C" + std::to_string(k)], 1) << "C" << k;
        EXPECT_EQ(r.exitCode, std::stoi(ResultField(lines.back(), 4)) & 0xFF) << r.stdErr;
        // Done: a further continuation has nothing left to send.
        const std::size_t sent = ReadFakeMailerRecords(folder.RecordPath()).size();
        EXPECT_EQ(folder.Run({"/P", "jobs.txt", "/i", "/c"}).exitCode, 0);
        EXPECT_EQ(ReadFakeMailerRecords(folder.RecordPath()).size(), sent);
    }
}

// A run killed at its tenth mail, then one byte of one journal record changed,
// each record in turn: a continuation never starts a mail a second time.
TEST_F(RecordFaultTest, ADamagedJournalRecordNeverSendsAMailTwice)
{
    constexpr int kMails = 20;
    WriteNumberedMails(kMails);
    const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SLEEP_MS=50"});
    ASSERT_TRUE(WaitFor([&] { return ReadFakeMailerRecords(folder.RecordPath()).size() >= 10; }, 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::map<std::string, std::string> saved;
    for (const char* name : {"$mail_result.csv", "$mail_result.jnl", "out.txt", "mailer-record.txt"})
        saved[name] = folder.ReadBytes(name);
    const std::string& journal = saved["$mail_result.jnl"];
    std::vector<std::size_t> starts;
    for (std::size_t at = journal.find('\x1e'); at != std::string::npos; at = journal.find('\x1e', at + 1))
        starts.push_back(at);
    ASSERT_GE(starts.size(), 20u);
    starts.push_back(journal.find_last_not_of('\0') + 1);
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        SCOPED_TRACE("record " + std::to_string(k));
        for (const auto& [name, bytes] : saved)
            folder.WriteBytes(name, bytes);
        std::string damaged = journal;
        damaged[(starts[k] + starts[k + 1]) / 2] ^= 0x04;
        folder.WriteBytes("$mail_result.jnl", damaged);
        const auto r = folder.Run({"/P", "jobs.txt", "/i", "/c"});
        for (const auto& [address, count] : StartsPerAddress())
            EXPECT_EQ(count, 1) << address;
        if (k == 0) { // the run record itself: nothing can be continued
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(folder.ReadBytes("$mail_result.csv"), saved["$mail_result.csv"]);
            continue;
        }
        std::map<std::string, int> linesPerCode;
        for (const std::string& line : ResultLines())
            ++linesPerCode[ResultField(line, 12)];
        for (int c = 1; c <= kMails; ++c)
            EXPECT_EQ(linesPerCode["C" + std::to_string(c)], 1) << "C" << c;
    }
}

// Without a journal to decide from, a continuation sends nothing, leaves the
// result file alone, says why and ends with 1; a plain rerun after a kill is
// refused the same way.
TEST_F(RecordFaultTest, WhatTheJournalCannotTellIsNeverGuessed)
{
    WriteNumberedMails(5);
    const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"}, {"FAKE_MAILER_SLEEP_MS=100"});
    ASSERT_TRUE(WaitFor([&] { return ReadFakeMailerRecords(folder.RecordPath()).size() >= 2; }, 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const std::string results = folder.ReadBytes("$mail_result.csv"), journal = folder.ReadBytes("$mail_result.jnl");
    const std::size_t sent = ReadFakeMailerRecords(folder.RecordPath()).size();
    struct Case { const char* what; std::vector<std::string> args; std::function<void()> make; const char* says; };
    const Case cases[] = {
        {"rerun", {"/P", "jobs.txt", "/i"}, [] {}, "前回の送信は終わっていません"},
        {"deleted", {"/P", "jobs.txt", "/i", "/c"}, [&] { fs::remove(folder.Path() + "$mail_result.jnl"); }, "がないため継続できません"},
        {"emptied", {"/P", "jobs.txt", "/i", "/c"}, [&] { folder.WriteBytes("$mail_result.jnl", ""); }, "が空のため継続できません"},
        {"fifo", {"/P", "jobs.txt", "/i", "/c"},
         [&] { fs::remove(folder.Path() + "$mail_result.jnl"); ::mkfifo((folder.Path() + "$mail_result.jnl").c_str(), 0600); },
         "が読めないため継続できません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        const auto r = folder.Run(c.args, 20000);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.stdErr.find(c.says), std::string::npos) << r.stdErr;
        EXPECT_NE(folder.ReadBytes("$mail_log.txt").find(Sjis(c.says)), std::string::npos);
        EXPECT_EQ(ReadFakeMailerRecords(folder.RecordPath()).size(), sent);
        EXPECT_EQ(folder.ReadBytes("$mail_result.csv"), results);
        fs::remove(folder.Path() + "$mail_result.jnl");
        folder.WriteBytes("$mail_result.jnl", journal);
    }
}

// A work folder named with two characters stays relative to where the
// program was started; every mail of the batch goes through it.
TEST_F(RecordFaultTest, ARelativeWorkFolderTakesTheWholeBatch)
{
    WriteNumberedMails(20);
    folder.MakeFolder("w2");
    const auto r = folder.Run({"/P", "jobs.txt", "/i", "/f", "w2"});
    EXPECT_EQ(r.exitCode, 0) << r.stdErr;
    EXPECT_EQ(ResultLines().size(), 20u);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 20u);
    for (const auto& run : runs)
        EXPECT_TRUE(fs::equivalent(run.cwd, folder.Path() + "w2")) << run.cwd;
}

TEST_F(RecordFaultTest, TerminationSignalsRecordTheMailInFlightAndLeaveNoMailer)
{
    struct Case { const char* sleepMs; int signals; int exitCode; const char* status; };
    for (const Case& c : {Case{"1500", 1, 0, ",0,"}, Case{"600000", 2, 143, ",143,"}}) {
        SCOPED_TRACE(c.signals);
        fs::remove(folder.RecordPath());
        fs::remove(folder.Path() + "$mail_result.jnl"); // the stopped run of the first case is discarded
        WriteNumberedMails(3);
        const int pid = StartProgram(folder, {"/P", "jobs.txt", "/i"}, {std::string("FAKE_MAILER_SLEEP_MS=") + c.sleepMs});
        ASSERT_TRUE(WaitFor([&] { return ReadFakeMailerRecords(folder.RecordPath()).size() >= 1; }, 20000));
        for (int s = 0; s < c.signals; ++s) {
            ::kill(pid, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        const auto r = WaitWithUsage(pid, 30000);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(ReadFakeMailerRecords(folder.RecordPath()).size(), 1u);
        const std::vector<std::string> lines = ResultLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.status), std::string::npos) << lines[0];
        EXPECT_EQ(MailersLeft(), 0);
    }
}

TEST_F(RecordFaultTest, TheTimeLimitEndsAHangingMailerInBothModes)
{
    folder.WriteLines("Tarnwick.ini", {"[Mail]", "TimeLimit=1", "EnableTrace=1"});
    for (const bool batch : {false, true}) {
        SCOPED_TRACE(batch);
        WriteNumberedMails(1);
        std::vector<std::string> args{"/P", "jobs.txt", "/i"};
        if (batch)
            args.push_back("/d");
        const auto r = RunProgram(folder, args, {"FAKE_MAILER_SLEEP_MS=600000"}, 30000);
        EXPECT_EQ(r.exitCode, 124);
        EXPECT_LT(r.seconds, 10);
        const std::vector<std::string> lines = ResultLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(ResultField(lines[0], 4), "124");
        EXPECT_NE(folder.ReadBytes("TraceMailLog.txt").find("Smail TimeLimit:1s\r\n"), std::string::npos);
        if (batch) {
            EXPECT_NE(folder.ReadBytes("$mail_log.txt").find(": Smail TimeLimit:1s\r\n#Cmd:"), std::string::npos);
        }
        EXPECT_EQ(MailersLeft(), 0);
    }
}

TEST_F(RecordFaultTest, PlatformsWithoutAPersonNeverWait)
{
    // A box on the minimal platform, and a display that cannot be opened.
    struct Case { std::vector<std::string> env; const char* note; };
    for (const Case& c : {Case{{"QT_QPA_PLATFORM=minimal"}, ""},
                          Case{{"QT_QPA_PLATFORM=", "DISPLAY=:97"}, "the display cannot be opened"}}) {
        const auto r = folder.Run({"/t", "abc"}, 20000, c.env);
        EXPECT_EQ(r.exitCode, 1) << r.stdErr;
        EXPECT_NE(r.stdErr.find("'abc' は浮動小数点数ではありません"), std::string::npos) << r.stdErr;
        EXPECT_NE(r.stdErr.find(c.note), std::string::npos) << r.stdErr;
    }
}

} // namespace
