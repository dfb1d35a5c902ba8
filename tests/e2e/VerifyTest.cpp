// /v on the built program: the report file, the exit codes, and no other file touched.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// Every file below `root` with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Listing(const std::string& root)
{
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file())
            files[e.path().string()] = {e.file_size(), e.last_write_time()};
    }
    return files;
}

TEST(VerifyTest, ReportsFindingsWithExitCodesAndTouchesNothingElse)
{
    TProgramFolder folder;
    folder.MakeFolder("logs");
    folder.WriteLines("Tarnwick.ini", {"[Mail]", "EnableTrace=1"});
    folder.WriteLines("mails/a.txt", {"../logs/out.txt", "host", "a@example.jp", "from@example.jp", "件名", ""});
    folder.WriteLines("mails/b.txt", {"../logs/out.txt", "host", "b@example.jp", "from@example.jp", "①の件", ""});
    folder.WriteLines("$mail_result.csv", {"an earlier run's line"});
    struct Case { std::vector<std::string> jobs; int exitCode; std::size_t findings; };
    for (const Case& c : {Case{{"mails/a.txt,A"}, 0, 0}, Case{{"mails/a.txt,A", "mails/b.txt,B"}, 2, 1},
                          Case{{"mails/a.txt,A", "mails/none.txt,N", "mails/b.txt,B"}, 1, 2}}) {
        folder.WriteLines("jobs.txt", c.jobs);
        fs::remove(folder.Path() + "$mail_check.csv");
        const auto before = Listing(folder.Path());
        const auto r = folder.Run({"/P", "jobs.txt", "/v", "/i"});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.stdErr;
        auto after = Listing(folder.Path());
        ASSERT_EQ(after.erase(folder.Path() + "$mail_check.csv"), 1u);
        after.erase(folder.Path() + "stderr.txt");
        auto expected = before;
        expected.erase(folder.Path() + "stderr.txt");
        EXPECT_EQ(after, expected);
        EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
        const auto report = ReadUtf8Lines(folder.Path() + "$mail_check.csv");
        EXPECT_EQ(report.size(), c.findings);
        EXPECT_NE(r.stdErr.find("チェック: " + std::to_string(c.jobs.size()) + "件"), std::string::npos) << r.stdErr;
    }
    const auto report = ReadUtf8Lines(folder.Path() + "$mail_check.csv");
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].substr(0, 2), "2,");
    EXPECT_NE(report[0].find(",E01,エラー,行を飛ばします"), std::string::npos) << report[0];
    EXPECT_NE(report[1].find("mails/b.txt,W07,警告,ISO-2022-JPで送れない文字があります: 件名: ①"), std::string::npos) << report[1];
}

} // namespace
