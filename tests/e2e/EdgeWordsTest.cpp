// What the program says at its edges: batch files that are not Shift_JIS,
// side files that cannot be read, skipped lines and arguments, the resend of
// the last failures, a guard that cannot be used, mailers' escaped children.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class EdgeWordsTest : public ::testing::Test {
protected:
    // Most cases send one mail.
    void SetUp() override
    {
        WriteMail("a.txt");
        folder.WriteLines("jobs.txt", {"mails/a.txt,A"});
    }
    // A definition as Shift_JIS lines; its subject and body name its file.
    void WriteMail(const std::string& name, const std::string& to = "to@example.jp", const std::string& attachments = "")
    {
        folder.WriteLines("mails/" + name, {"out.txt", "host", to, "f@example.jp", "件名 " + name, attachments, "本文 " + name});
    }
    std::vector<std::string> Results() const { return ReadUtf8Lines(folder.Path() + "$mail_result.csv"); }
    std::string MailLog() const { return Utf8(folder.ReadBytes("$mail_log.txt")); }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    // The status field of every result line.
    std::vector<std::string> Statuses() const
    {
        std::vector<std::string> statuses;
        for (const std::string& line : Results())
            statuses.push_back(ResultStatus(line));
        return statuses;
    }
    TProgramFolder folder;
};

TEST_F(EdgeWordsTest, Utf8BatchFilesAreRefusedUnlessTheSettingsSaySo)
{
    folder.WriteBytes("mails/u.txt", "out.txt\r\nhost\r\nto@example.jp\r\nf@example.jp\r\n【ご案内】\r\n\r\n山田様\r\n");
    folder.WriteBytes("mails/odd.txt", "out.txt\r\nhost\r\nto@example.jp\r\nf@example.jp\r\nok\r\n\r\n絵文字 \xF0\x9F\x99\x82\r\n");
    folder.WriteLines("jobs.txt", {"mails/u.txt,U1"});
    auto r = folder.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 255);
    const std::string refused = "UTF-8で保存されています。Shift_JISで保存するか、設定 [Mail] FileEncoding=UTF-8 を使ってください: " + folder.Path() + "mails/u.txt";
    EXPECT_TRUE(Has(r.stdErr, refused)) << r.stdErr;
    EXPECT_TRUE(Has(MailLog(), refused));
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
    EXPECT_EQ(Statuses(), std::vector<std::string>{"-1"});

    // A job list saved as UTF-8 names its file; nothing is sent.
    folder.WriteBytes("ujobs.txt", "mails/お知らせ.txt,C1\r\n");
    r = folder.Run({"/P", "ujobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.stdErr, "を使ってください: " + folder.Path() + "ujobs.txt")) << r.stdErr;

    // Told that the files are UTF-8: converted on reading; a character
    // Shift_JIS cannot hold fails its mail with the line and the character.
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nFileEncoding=UTF-8\r\n");
    folder.WriteBytes("ujobs.txt", "mails/u.txt,U1\r\nmails/odd.txt,U2\r\n");
    r = folder.Run({"/P", "ujobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 255);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].body, Sjis("山田様\r\n"));
    EXPECT_TRUE(Has(r.stdErr, "Shift_JISにない文字があります: " + folder.Path() + "mails/odd.txt 7行目 U+1F642")) << r.stdErr;
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"0", "-1"}));
}

TEST_F(EdgeWordsTest, SideFilesThatCannotBeReadFailTheMail)
{
    ASSERT_EQ(::mkfifo((folder.Path() + "cc.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((folder.Path() + "list.csv").c_str(), 0600), 0);
    WriteMail("a.txt", "to@example.jp,>#cc cc.txt");
    WriteMail("b.txt", "to@example.jp", "*list.csv");
    WriteMail("c.txt");
    folder.WriteLines("jobs.txt", {"mails/a.txt,A", "mails/b.txt,B", "mails/c.txt,C"});
    const auto r = folder.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 0); // the last mail went
    EXPECT_EQ(ReadFakeMailerRecords(folder.RecordPath()).size(), 1u);
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"-1", "-1", "0"}));
    EXPECT_TRUE(Has(r.stdErr, "ファイルを読めません: " + folder.Path() + "cc.txt: not a regular file")) << r.stdErr;
    EXPECT_TRUE(Has(r.stdErr, "ファイルを読めません: " + folder.Path() + "list.csv: not a regular file")) << r.stdErr;
    EXPECT_TRUE(Has(r.stdErr, "送信完了=1 送信異常=2 ")) << r.stdErr;

    // The check calls both errors.
    EXPECT_EQ(folder.Run({"/P", "jobs.txt", "/v", "/i"}).exitCode, 1);
    const std::string report = Utf8(folder.ReadBytes("$mail_check.csv"));
    EXPECT_TRUE(Has(report, "1," + folder.Path() + "mails/a.txt,E12,エラー,ファイルを読めません: ")) << report;
    EXPECT_TRUE(Has(report, "2," + folder.Path() + "mails/b.txt,E12,エラー,ファイルを読めません: ")) << report;
}

TEST_F(EdgeWordsTest, SkippedLinesAndArgumentsAreSaid)
{
    folder.WriteLines("jobs.txt", {"mails/a.txt,A", "mails/gone.txt,G", ""});
    const auto r = folder.Run({"/P", "jobs.txt", "/i", "/x", "/M", "1", "-t"});
    EXPECT_EQ(r.exitCode, 0);
    for (const std::string said : {"不明なオプションを無視します: /x", "大文字・小文字の違うオプションを無視します: /M (/m)",
                                   "オプションではない引数を無視します: 1", "オプションではない引数を無視します: -t (/t)",
                                   "行を飛ばしました: 2行目 mails/gone.txt,G 定義ファイルがありません: ",
                                   "行を飛ばしました: 3行目  定義ファイルの指定がありません", "送信完了=1 送信異常=0 送信不明=0 飛ばした行=2 "}) {
        EXPECT_TRUE(Has(r.stdErr, said)) << said << "\n" << r.stdErr;
        EXPECT_TRUE(Has(MailLog(), said)) << said;
    }
    // The check calls each skipped argument an error.
    EXPECT_EQ(folder.Run({"/P", "jobs.txt", "/v", "/x"}).exitCode, 1);
    EXPECT_TRUE(Has(Utf8(folder.ReadBytes("$mail_check.csv")), "0,,E13,エラー,不明なオプションを無視します: /x"));
}

TEST_F(EdgeWordsTest, ResendAloneTakesTheFailedRowsOfTheLastResults)
{
    WriteMail("b.txt");
    WriteMail("c.txt");
    folder.WriteLines("jobs.txt", {"mails/a.txt,A", "mails/b.txt,B", "mails/c.txt,C"});
    // The first failure decides the exit code when the settings ask for it.
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nWorstExitCode=1\r\n");
    ASSERT_EQ(folder.Run({"/P", "jobs.txt", "/i"}, 30000, {"FAKE_MAILER_EXIT_SEQ=0,3,0"}).exitCode, 3);

    std::filesystem::remove(folder.RecordPath());
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nResendCodes=3, 75\r\n"); // 3 is listed
    auto r = folder.Run({"/r", "/i"}, 30000, {"FAKE_MAILER_EXIT=5"});
    EXPECT_EQ(r.exitCode, 5);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].body, Sjis("本文 b.txt\r\n"));
    ASSERT_EQ(Results().size(), 1u);
    EXPECT_TRUE(Has(Results()[0], "5,送信異常（再送分）,")) << Results()[0];

    // Codes the settings do not list stay, named; nothing left to send says so.
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nResendCodes=75\r\n");
    r = folder.Run({"/r", "/i"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(r.stdErr, "設定 [Mail] ResendCodes にない終了コードのため再送しません: 5 ")) << r.stdErr;
    EXPECT_TRUE(Has(r.stdErr, "再送するメールはありません: " + folder.Path() + "$mail_result.csv")) << r.stdErr;
    EXPECT_EQ(Results().size(), 1u);
}

// Tarnwick run as another account (nobody); root only.
const std::vector<std::string> kNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

// A guard another account planted (a file or a link) and a program folder the
// user cannot write: each ends the start with exit 1 and a word.
TEST_F(EdgeWordsTest, APlantedGuardOrAReadOnlyProgramFolderEndsTheStart)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a second account";
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "link" : "file");
        TTempFolder tmp;
        ASSERT_EQ(::chmod(tmp.Path().c_str(), 01777), 0);
        const std::string planted = tmp.Path() + "tarnwick-0";
        const std::string plant = link ? "mkdir " + tmp.Path() + "mine && ln -s " + tmp.Path() + "mine " + planted
                                       : "touch " + planted;
        ASSERT_EQ(std::system(("su -s /bin/sh nobody -c '" + plant + "'").c_str()), 0);
        const auto r = folder.Run({"/P", "jobs.txt", "/i"}, 10000, {"TMPDIR=" + tmp.Path(), "XDG_RUNTIME_DIR="});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Has(r.stdErr, "多重起動を防ぐ目印を使えないため起動しません")) << r.stdErr;
        EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
    }
    // Readable by all, writable by its owner alone: read-only for nobody.
    std::filesystem::permissions(folder.Path(), std::filesystem::perms(0755));
    folder.launcher = kNobody;
    TTempFolder tmp;
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 01777), 0);
    const auto r = folder.Run({"/P", "jobs.txt", "/i"}, 30000, {"TMPDIR=" + tmp.Path(), "XDG_RUNTIME_DIR="});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.stdErr, "書き込めません: " + folder.Path() + "$mail_result.jnl: Permission denied")) << r.stdErr;
}

// What became of the child a mailer let escape, by the pid it wrote: "ended"
// (gone, or a zombie nobody collected yet), "running", or "" with no pid.
std::string Escaped(const std::string& pidFile)
{
    std::ifstream in(pidFile);
    pid_t pid = 0;
    if (!(in >> pid))
        return "";
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    return text.empty() || text.compare(text.rfind(')') + 2, 1, "Z") == 0 ? "ended" : "running";
}

TEST_F(EdgeWordsTest, NoMailersChildOutlivesItsTimeLimitOrTheProgram)
{
    const std::string escaped = folder.Path() + "escaped.pid";
    // A mail ended by the time limit: its escaped child ends with it.
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nTimeLimit=1\r\n");
    const int pid = folder.Start({"/P", "jobs.txt", "/i", "/e"}, {"FAKE_MAILER_ESCAPE=" + escaped, "FAKE_MAILER_SLEEP_MS=20000"});
    for (int i = 0; i < 1000 && Results().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Statuses(), std::vector<std::string>{"124"});
    EXPECT_EQ(Escaped(escaped), "ended");
    ::kill(pid, SIGTERM);
    folder.Wait(pid, 10000);

    // A mail that went: its escaped child ends with the program. (Another
    // job list: the signal may have come before the first run was finished.)
    std::filesystem::remove(escaped);
    folder.WriteBytes("Tarnwick.ini", "");
    std::filesystem::copy_file(folder.Path() + "jobs.txt", folder.Path() + "jobs2.txt");
    EXPECT_EQ(folder.Run({"/P", "jobs2.txt", "/i"}, 30000, {"FAKE_MAILER_ESCAPE=" + escaped}).exitCode, 0);
    EXPECT_EQ(Escaped(escaped), "ended");
}

} // namespace
