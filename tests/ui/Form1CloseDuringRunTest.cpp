// Closing the window while a run is in progress.
#include "Form1Fixture.h"

#include <QTimer>

namespace {

using Form1CloseDuringRunTest = Form1Test;

TEST_F(Form1CloseDuringRunTest, WithStatusZeroTheRunStopsAfterTheCurrentMailAndEndsWithZero)
{
    WriteJobs(3, {"FAKE_MAILER_SLEEP_MS=600"});
    Make({"/P", "jobs.txt", "/e"});
    // Mail 1 is still with the mailer when the window is closed.
    QTimer::singleShot(250, form.get(), [this] { form->close(); });
    ShowAndActivate();
    ASSERT_TRUE(WaitFor([this] { return State() == QStringLiteral("強制終了"); }, 10000));
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(ResultLines().size(), 1u); // the mail in progress is finished and recorded
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 1u);
    EXPECT_EQ(form->Delivery().StatusCode(), 0);
}

TEST_F(Form1CloseDuringRunTest, WithAFailedLastMailTheProcessEndsAtOnceWithItsStatus)
{
    WriteJobs(2, {"FAKE_MAILER_EXIT=2"});
    Make({"/P", "jobs.txt", "/m", "1", "/t", "1", "/e"});
    // During the minute's wait after the failed first mail.
    QTimer::singleShot(400, form.get(), [this] { form->close(); });
    ShowAndActivate();
    ASSERT_TRUE(WaitFor([this] { return !exits.empty(); }, 10000));
    EXPECT_EQ(exits, std::vector<int>{2});
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 1u);
}

} // namespace
