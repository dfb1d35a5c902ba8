// The command line and the activation work.
#include "RunFixture.h"

#include "platform/Errors.h"

namespace {

class CommandLineTest : public RunFixture {
protected:
    void SetUp() override { WriteJobs(3); }
};

TEST_F(CommandLineTest, AllOptionsWithTheirLetterCases)
{
    folder.MakeFolder("work");
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/f", "work", "/n", "name", "/K", "5", "/m", "3", "/t", "1.5", "/s", "0.5",
                       "/d", "/z", "/i", "/r", "/e"}));
    const TRunOptions& s = delivery.Options();
    EXPECT_EQ(delivery.State().JobList.size(), 3u);
    EXPECT_EQ(s.WorkFolder, Native(folder.Cp932Path() + "work/"));
    EXPECT_EQ(s.ProcessName, "name");
    EXPECT_EQ(s.SendLimit, 5);
    EXPECT_EQ(s.SendUnit, 3);
    EXPECT_DOUBLE_EQ(s.UnitWait, 1.5);
    EXPECT_DOUBLE_EQ(s.MailPause, 0.5);
    EXPECT_TRUE(s.BatchMode && s.EncodeSenderName && s.InvisibleMode && s.AutoResend && s.KeepOpen);
}

TEST_F(CommandLineTest, ValuesAreTheNextArgumentWhateverItIs)
{
    // /m takes "/P" as its value; the file name is then a plain argument.
    EXPECT_FALSE(Parse({"/m", "/P", "jobs.txt"}));
    EXPECT_EQ(delivery.Options().SendUnit, 0);
    // /m as the last argument: empty value.
    EXPECT_TRUE(Parse({"/P", "jobs.txt", "/m"}));
    EXPECT_EQ(delivery.Options().SendUnit, 0);
    // Letters after the second are ignored; /p, /k and /M are not options.
    EXPECT_TRUE(Parse({"/Pjobs", "jobs.txt", "/k", "9", "/M", "4"}));
    EXPECT_EQ(delivery.Options().SendLimit, 0);
    EXPECT_EQ(delivery.Options().SendUnit, 0);
    delivery.ResetOptions();
    EXPECT_FALSE(Parse({"/p", "jobs.txt"}));
    // An empty argument ends the examination.
    delivery.ResetOptions();
    EXPECT_FALSE(Parse({"", "/P", "jobs.txt"}));
}

TEST_F(CommandLineTest, LaterJobListWinsOnlyWhenItExists)
{
    folder.WriteLines("two.txt", {"mails/m001.txt,X"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/P", "two.txt"}));
    EXPECT_EQ(delivery.State().JobList.size(), 1u);
    delivery.ResetOptions();
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/P", "missing.txt"}));
    EXPECT_EQ(delivery.State().JobList.size(), 3u);
}

TEST_F(CommandLineTest, MissingWorkFolderOrJobListGivesNoRun)
{
    EXPECT_FALSE(Parse({"/P", "jobs.txt", "/f", "nowhere"}));
    EXPECT_EQ(delivery.Options().WorkFolder, folder.Cp932Path() + "temp/");
    // An empty value names no folder: never the root.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"/P", "jobs.txt", "/f", ""},
                                                 std::vector<std::string>{"/P", "jobs.txt", "/f"}}) {
        delivery.ResetOptions();
        EXPECT_FALSE(Parse(args));
        EXPECT_EQ(delivery.Options().WorkFolder, folder.Cp932Path() + "temp/");
    }
    // ...unless a later /f names one.
    delivery.ResetOptions();
    EXPECT_TRUE(Parse({"/f", "", "/P", "jobs.txt", "/f", "temp"}));
    delivery.ResetOptions();
    EXPECT_FALSE(Parse({"/e"}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kCloseSoon);
    EXPECT_EQ(delivery.StatusCode(), 1);
    EXPECT_TRUE(mailer.started.empty());
}

TEST_F(CommandLineTest, NumbersAndConversionErrors)
{
    EXPECT_TRUE(Parse({"/P", "jobs.txt", "/K", "abc", "/m", "-3", "/s", "-1", "/t", " 2.5e-1 "}));
    EXPECT_EQ(delivery.Options().SendLimit, 0);
    EXPECT_EQ(delivery.Options().SendUnit, 0);
    EXPECT_DOUBLE_EQ(delivery.Options().MailPause, 0);
    EXPECT_DOUBLE_EQ(delivery.Options().UnitWait, 0.25);
    // Waits the timer cannot express become the longest it can (2^31 - 1 ms).
    for (const char* huge : {"1e300", "1e400", "99999999"}) {
        SCOPED_TRACE(huge);
        delivery.ResetOptions();
        EXPECT_TRUE(Parse({"/P", "jobs.txt", "/t", huge, "/s", huge}));
        EXPECT_DOUBLE_EQ(delivery.Options().UnitWait, 2147483647.0 / 60000);
        EXPECT_DOUBLE_EQ(delivery.Options().MailPause, 2147483647.0 / 1000);
    }
    delivery.ResetOptions();
    EXPECT_TRUE(Parse({"/P", "jobs.txt", "/t", "-1e400"}));
    EXPECT_DOUBLE_EQ(delivery.Options().UnitWait, 0);
    for (const char* bad : {"abc", "", "1.2.3", "0x10", "inf", "nan", "INF", "-infinity"}) {
        delivery.ResetOptions();
        try {
            Parse({"/P", "jobs.txt", "/t", bad, "/e"});
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(Utf8(e.what()), std::string("'") + bad + "' は浮動小数点数ではありません");
        }
        EXPECT_FALSE(delivery.Options().JobListReady);
        EXPECT_FALSE(delivery.Options().KeepOpen); // options after it are not read
    }
}

TEST_F(CommandLineTest, NoArgumentsStaysOpenAndShowsThePreviousResults)
{
    folder.WriteLines("$mail_result.csv", {"d,t,t,0,送信完了,h,TO:a@x,f,S,,1,A01,/m/1.txt"});
    EXPECT_FALSE(Parse({}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kStayOpen);
    EXPECT_EQ(delivery.ResultRows().Count(), 1u);
    EXPECT_EQ(delivery.StatusCode(), 0);
    EXPECT_TRUE(folder.Exists("$mail_result.csv"));
}

TEST_F(CommandLineTest, ActivationReplacesThePreviousResultsWithTheRun)
{
    folder.WriteLines("$mail_result.csv", {"old,line"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/e"}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kStayOpen);
    EXPECT_EQ(ResultLines().size(), 3u);
    EXPECT_EQ(delivery.ResultRows().Count(), 3u);
}

TEST_F(CommandLineTest, JapaneseJobListAndWorkFolderNames)
{
    folder.MakeFolder("作業");
    folder.WriteLines("ジョブ.txt", {"mails/m001.txt,日本"});
    ASSERT_TRUE(Parse({Sjis("/P"), Sjis("ジョブ.txt"), "/f", Sjis("作業")}));
    delivery.RunDelivery();
    EXPECT_TRUE(folder.Exists("作業/body.txt"));
    EXPECT_NE(ResultLines().at(0).find(",日本,"), std::string::npos);
}

} // namespace
