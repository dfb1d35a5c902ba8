// Checking a batch (/v): every finding with its line, the schedule, and a
// check that agrees with the run it stands in for.
#include "RunFixture.h"

#include "jtext/MailJstr.h"
#include "run/BatchCheck.h"

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

class BatchCheckTest : public RunFixture {
protected:
    // A definition under mails/ with the standard outcome log.
    void Mail(const std::string& name, const std::string& host, const std::string& to, const std::string& subject,
              const std::string& outcomeLog = "../logs/outcome.txt", const std::string& body = "本文")
    {
        folder.WriteLines("mails/" + name, {outcomeLog, host, to, "from@example.jp", subject, "", body});
    }
    TCheckReport Check()
    {
        bool stop = false;
        TRetryRules retry(clock, stop);
        return CheckBatch(delivery.State(), delivery.Settings(), folder.Cp932Path(), TBatchReader{retry});
    }
    std::set<std::pair<int, std::string>> Found(const TCheckReport& r) const
    {
        std::set<std::pair<int, std::string>> found;
        for (const TCheckFinding& f : r.findings)
            EXPECT_TRUE(found.insert({f.line, f.code}).second) << "twice: " << f.line << " " << f.code;
        return found;
    }
};

TEST_F(BatchCheckTest, EachKindOfFindingOnceWithItsLine)
{
    folder.MakeFolder("logs");
    folder.WriteLines("cc.txt", {"c@example.jp"});
    folder.WriteLines("mails/short.txt", {"../logs/outcome.txt", "host"});
    Mail("noto.txt", "host", ">#cc cc.txt", "件名3");
    Mail("nocc.txt", "host", "to4@example.jp,>#cc nothere.txt", "件名4");
    Mail("badaddr.txt", "host", "to5@example.jp,oops", "件名5");
    Mail("nulbyte.txt", std::string("ho\0st", 5), "to6@example.jp", "件名6");
    Mail("strange.txt", "host", "to7@example.jp", "①の件");
    Mail("dup.txt", "host", "dup@example.jp", "同じ件名");
    Mail("nolog.txt", "host", "to10@example.jp", "件名10", "../nolog/outcome.txt");
    Mail("nofolder.txt", "host,nosuchfolder", "to11@example.jp", "件名11");
    Mail("long.txt", "host", std::string(140000, 'a') + "@example.jp", "件名12");
    Mail("fine.txt", "host", "fine@example.jp", "件名13");
    folder.WriteLines("jobs.txt", {"mails/none.txt,C1", "mails/short.txt,C2", "mails/noto.txt,C3", "mails/nocc.txt,C4",
                                   "mails/badaddr.txt,C5", "mails/nulbyte.txt,C6", "mails/strange.txt,C7", "mails/dup.txt,C8",
                                   "mails/dup.txt,C9", "mails/nolog.txt,C10", "mails/nofolder.txt,C11",
                                   "mails/long.txt,C12", "mails/fine.txt,C13"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/v"}));
    const TCheckReport report = Check();
    EXPECT_EQ(Found(report), (std::set<std::pair<int, std::string>>{
                                 {1, "E01"}, {2, "E02"}, {3, "E03"}, {4, "W04"}, {5, "W05"}, {6, "E06"}, {7, "W07"},
                                 {9, "W08"}, {10, "E09"}, {11, "E10"}, {12, "E11"}}));
    for (const TCheckFinding& f : report.findings) {
        if (f.code == "W07") {
            EXPECT_NE(Utf8(f.text).find(": ①"), std::string::npos) << Utf8(f.text); // says which
        }
        if (f.code == "W08") {
            EXPECT_NE(Utf8(f.text).find("8行目"), std::string::npos) << Utf8(f.text);
        }
    }
    EXPECT_EQ(report.ExitCode(), 1);
    EXPECT_FALSE(folder.Exists("temp/body.txt")); // nothing written
}

TEST_F(BatchCheckTest, ACleanBatchHasNothingToSayAndWarningsAloneGiveTwo)
{
    folder.MakeFolder("logs");
    std::vector<std::string> jobs;
    for (int k = 1; k <= 4; ++k) {
        Mail("m" + std::to_string(k) + ".txt", "host", "to" + std::to_string(k) + "@example.jp", "件名");
        jobs.push_back("mails/m" + std::to_string(k) + ".txt,C" + std::to_string(k));
    }
    folder.WriteLines("jobs.txt", jobs);
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/v", "/m", "3", "/t", "2", "/s", "1.5"}));
    TCheckReport report = Check();
    EXPECT_TRUE(report.findings.empty());
    EXPECT_EQ(report.ExitCode(), 0);
    // Four mails in units of three: one wait of two minutes, pauses before mails 2 and 3.
    EXPECT_EQ(report.schedule.mails, 4);
    EXPECT_EQ(report.schedule.units, 2);
    EXPECT_EQ(report.schedule.unitWaits, 1);
    EXPECT_EQ(report.schedule.mailPauses, 2);
    EXPECT_DOUBLE_EQ(report.schedule.waitSeconds, 123);
    EXPECT_DOUBLE_EQ(report.schedule.EstimateSeconds(5), 143);

    Mail("m2.txt", "host", "to2@example.jp", "ｶﾅ①");
    report = Check();
    ASSERT_EQ(report.findings.size(), 1u); // half-width katakana is widened first; ① is not
    EXPECT_EQ(report.ExitCode(), 2);
}

TEST_F(BatchCheckTest, TheCheckAgreesWithTheRun)
{
    folder.MakeFolder("logs");
    Mail("ok.txt", "host", "ok@example.jp", "件名");
    folder.WriteLines("mails/short.txt", {"../logs/outcome.txt"});
    Mail("nofolder.txt", "host,nosuchfolder", "x@example.jp", "件名");
    // A per-mail folder that is missing ends the run at its mail (the body cannot be written): last.
    folder.WriteLines("jobs.txt", {"mails/ok.txt,A", "mails/gone.txt,B", "mails/short.txt,C", "mails/ok2.txt,D",
                                   "mails/nofolder.txt,E"});
    Mail("ok2.txt", "host", "ok2@example.jp", "件名");
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/v"}));
    std::set<int> errorsAt;
    for (const TCheckFinding& f : Check().findings)
        if (f.severity == TCheckSeverity::kError)
            errorsAt.insert(f.line);

    delivery.Options().VerifyOnly = false;
    delivery.RunDelivery();
    // The lines a real run skipped or failed, by their send codes A to E.
    std::set<int> notSent = {1, 2, 3, 4, 5};
    std::vector<std::string> fields;
    for (const std::string& line : ResultLines()) {
        SplitResultLine(Sjis(line), fields);
        if (fields[3] == "0")
            notSent.erase(fields[11][0] - 'A' + 1);
    }
    EXPECT_EQ(errorsAt, notSent);
    EXPECT_EQ(errorsAt, (std::set<int>{2, 3, 5}));
}

TEST(Iso2022JpStrangersTest, NamesWhatCannotBeSentOnce)
{
    struct Case { const char* utf8; const char* strangers; };
    for (const Case& c : {Case{"普通の日本語とASCII", ""}, Case{"①と②と①", "①②"}, Case{"ｶﾅ", "ｶﾅ"}, Case{"髙橋", "髙"},
                          Case{"Ⅱ型", "Ⅱ"}}) {
        EXPECT_EQ(Utf8(Iso2022JpStrangers(Sjis(c.utf8))), c.strangers) << c.utf8;
    }
    EXPECT_EQ(Iso2022JpStrangers("abc\x82"), "\x82"); // a lead byte with nothing after it
}

} // namespace
