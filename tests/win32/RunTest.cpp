// Whole runs of Tarnwick.exe with the Windows fake mailer: the record, the
// automatic resend, batch mode through cmd.exe, and the window mid-run.
#include "WinProgram.h"

#include "ui_win32/ControlIds.h"

#include <gtest/gtest.h>

namespace {

struct TMailerRun {
    std::vector<std::string> args; // argv, CP932
    std::string line;              // the command line as given
    std::string tz;
    bool batchFile = false;
};

std::string FromHex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<TMailerRun> Records(const TWinProgram& program)
{
    std::vector<TMailerRun> runs;
    const std::string text = program.ReadBytes("mailer.rec");
    TMailerRun run;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::string key = line.substr(0, line.find(' '));
        const std::string value = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        if (key == "RUN")
            run = {};
        else if (key == "ARG")
            run.args.push_back(FromHex(value));
        else if (key == "LINE")
            run.line = FromHex(value);
        else if (key == "TZ")
            run.tz = FromHex(value);
        else if (key == "BAT")
            run.batchFile = value == "1";
        else if (key == "END")
            runs.push_back(run);
    }
    return runs;
}

// The status field (the fourth) of a result line.
std::string Status(const std::string& line)
{
    std::size_t p = 0;
    for (int k = 0; k < 3; ++k)
        p = line.find(',', p) + 1;
    return line.substr(p, line.find(',', p) - p);
}

TEST(WinRun, ResultFileOutcomeLogAndAutomaticResend)
{
    TWinProgram program;
    program.WriteJobs(3, "ご案内ｶﾀｶﾅ");
    program.MailerKeys({"FAKE_MAILER_EXIT_SEQ=0,4,0,6"});
    const TFinished f = program.Run({"/P", "jobs.txt", "/i", "/r"});
    ASSERT_FALSE(f.timedOut);
    EXPECT_EQ(f.exitCode, 6u) // the resend's status
        << Utf8(program.ReadBytes("$mail_result.csv")) << Utf8(program.ReadBytes("logs\\out.txt"))
        << Utf8(program.ReadBytes("$mail_log.txt"));
    EXPECT_TRUE(f.boxes.empty());

    const auto runs = Records(program);
    ASSERT_EQ(runs.size(), 4u);
    // Normal mode: the mailer's arguments as the C runtime splits its command line.
    const std::vector<std::string> expected = {"-hhost", "-ffrom@example.jp", "-s" + Sjis("ご案内カタカナ"), "-m",
                                               "-Fbody.txt", "to1@example.jp", "-t"};
    EXPECT_EQ(std::vector<std::string>(runs[0].args.begin() + 1, runs[0].args.end()), expected);
    EXPECT_FALSE(runs[0].batchFile);
    EXPECT_NE(runs[3].line.find("to2@example.jp"), std::string::npos); // the failed mail went again

    // The result file holds the resend's line alone; the outcome log every line.
    const auto results = program.ReadLines("$mail_result.csv");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(Status(results[0]), "6");
    EXPECT_NE(results[0].find("送信異常（再送分）"), std::string::npos) << results[0];
    const auto log = program.ReadLines("logs\\out.txt");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(Status(log[0]), "0");
    EXPECT_EQ(Status(log[1]), "4");
}

TEST(WinRun, BatchModeRunsTheBatchFileThroughCmd)
{
    TWinProgram program;
    program.WriteJobs(2);
    program.MailerKeys({"FAKE_MAILER_PRINT=sent by the fake\\n", "FAKE_MAILER_EXIT_SEQ=0,2"});
    const TFinished f = program.Run({"/P", "jobs.txt", "/i", "/d"});
    ASSERT_FALSE(f.timedOut);
    EXPECT_EQ(f.exitCode, 2u);
    const auto runs = Records(program);
    ASSERT_EQ(runs.size(), 2u);
    for (const TMailerRun& run : runs) {
        EXPECT_TRUE(run.batchFile);
        EXPECT_EQ(run.tz, "JST-9");
        ASSERT_GE(run.args.size(), 2u);
        EXPECT_EQ(run.args[1], "-d");
        EXPECT_NE(run.args.back(), "-t");
    }
    // The mailer's output in the mail log.
    const std::string mailLog = program.ReadBytes("$mail_log.txt");
    EXPECT_NE(mailLog.find("sent by the fake"), std::string::npos) << mailLog;
    const auto results = program.ReadLines("$mail_result.csv");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(Status(results[1]), "2");
}

TEST(WinRun, TheWindowFollowsTheRun)
{
    TWinProgram program;
    program.WriteJobs(3);
    program.MailerKeys({"FAKE_MAILER_SLEEP_MS=1500", "FAKE_MAILER_EXIT_SEQ=0,3,0"});
    program.Start({"/P", "jobs.txt", "/n", "月次", "/m", "2", "/t", "0.01"});
    const HWND form = program.FindWindowOf("TForm1");
    ASSERT_NE(form, nullptr);
    const HWND panel1 = GetDlgItem(form, idPanel1);
    const HWND labelState = GetDlgItem(panel1, idLabelState);
    const HWND labelSend = GetDlgItem(panel1, idLabelSend);
    // While the second mail's mailer runs: its place in the run, and the red marker.
    ASSERT_TRUE(WaitFor([&] { return Utf8(WindowText(labelState)) == "送信中:2/3:m2.txt"; }, 20000))
        << Utf8(WindowText(labelState));
    EXPECT_TRUE(IsWindowVisible(labelSend));
    Sleep(300);
    const TScreenShot shot;
    RECT r;
    GetClientRect(labelSend, &r);
    int red = 0;
    for (int y = 0; y < r.bottom; ++y) {
        for (int x = 0; x < r.right; ++x)
            red += shot.Pixel(OnScreen(labelSend, x, y)) == Rgb(255, 0, 0);
    }
    EXPECT_GT(red, 20) << "LabelSend is drawn in pure red";
    // Then the unit wait, and the end: exit code of the last mail.
    const TFinished f = program.Wait(60000);
    EXPECT_EQ(f.exitCode, 0u);
}

TEST(WinRun, InvisibleWindowStillFollowsTheRun)
{
    TWinProgram program;
    program.WriteJobs(1);
    program.MailerKeys({"FAKE_MAILER_SLEEP_MS=1500"});
    program.Start({"/P", "jobs.txt", "/i"});
    const HWND form = program.FindWindowOf("TForm1");
    ASSERT_NE(form, nullptr);
    const HWND labelState = GetDlgItem(GetDlgItem(form, idPanel1), idLabelState);
    ASSERT_TRUE(WaitFor([&] { return Utf8(WindowText(labelState)) == "送信中:1/1:m1.txt"; }, 20000));
    RECT r;
    GetWindowRect(form, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
    EXPECT_EQ(GetWindowLongA(form, GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_THICKFRAME), 0);
    EXPECT_EQ(program.Wait().exitCode, 0u);
}

TEST(WinRun, ResendCommandOfTheResultList)
{
    TWinProgram program;
    program.WriteJobs(2);
    program.MailerKeys({"FAKE_MAILER_EXIT_SEQ=7,0,0"});
    program.Start({"/P", "jobs.txt", "/e"});
    const HWND form = program.FindWindowOf("TForm1");
    ASSERT_NE(form, nullptr);
    // Kept open after the run: the result list holds a failed row.
    ASSERT_TRUE(WaitFor([&] { return program.ReadLines("$mail_result.csv").size() == 2; }, 20000));
    Sleep(500);
    // The popup command (the menu's item sends it), then its confirmation box.
    PostMessageA(form, WM_COMMAND, idMnuReSend, 0);
    EXPECT_EQ(program.AnswerBox(), "エラーメールを再送しますか？");
    ASSERT_TRUE(WaitFor([&] { return program.ReadLines("$mail_result.csv").size() == 1; }, 20000));
    const auto results = program.ReadLines("$mail_result.csv");
    EXPECT_EQ(Status(results[0]), "0");
    EXPECT_NE(results[0].find("C1"), std::string::npos) << results[0];
    EXPECT_EQ(Records(program).size(), 3u);
    PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.Wait(20000).exitCode, 0u);
}

} // namespace
