// Runs in the window with the fake mailer: what the window shows during and
// after a run, the resend command, invisible mode and the close.
#include "Form1Fixture.h"

#include "settings/Rw_ini.h"

#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

const QColor kRed(255, 0, 0);

QString Cell(QTreeView* list, int row, int column)
{
    return list->model()->index(row, column).data().toString();
}

int RedPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += QColor(image.pixel(x, y)) == kRed;
    return n;
}

bool IsRed(QTreeView* list, int row)
{
    const QVariant v = list->model()->index(row, 0).data(Qt::ForegroundRole);
    return v.isValid() && v.value<QColor>() == kRed;
}

TEST_F(Form1Test, RunDisplayAndResendCommand)
{
    WriteJobs(3, {"FAKE_MAILER_EXIT_SEQ=0,2,0", "FAKE_MAILER_SLEEP_MS=400"});
    Make({"/P", "jobs.txt", "/n", "案内", "/e"});
    auto* list = Find<QTreeView>("ListView2");
    auto* labelSend = Find<QLabel>("LabelSend");
    auto* progress = Find<QProgressBar>("ProgressBar1");
    auto* resend = Find<QAction>("mnuReSend");

    // Sample the window wherever the run lets events through.
    QStringList states;
    std::vector<int> positions;
    bool sendSeenWhileIdle = false, menuEnabledDuringRun = false;
    QStringList summaryDuringThird;
    QImage shot;
    const auto sample = [&] {
        if (states.isEmpty() || states.back() != State())
            states << State();
        if (positions.empty() || positions.back() != progress->value())
            positions.push_back(progress->value());
        if (!State().startsWith(QStringLiteral("送信中:")))
            sendSeenWhileIdle |= labelSend->isVisible();
        if (State().startsWith(QStringLiteral("送信")) && State() != QStringLiteral("送信完了"))
            menuEnabledDuringRun |= resend->isEnabled();
        if (shot.isNull() && State() == QStringLiteral("送信中:3/3:m3.txt") && labelSend->isVisible()) {
            shot = form->grab().toImage();
            for (int r = 0; r < 7; ++r)
                summaryDuringThird << Summary(r);
        }
    };
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, sample);
    sampler.start(20);
    form->show();
    ASSERT_TRUE(WaitFor([&] { return State() == QStringLiteral("送信完了"); }, 20000));
    sampler.stop();
    sample();

    // The window during the run, for anyone to look at.
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QStringLiteral(TARNWICK_BUILD_DIR "/screenshots"));
    EXPECT_TRUE(shot.save(QStringLiteral(TARNWICK_BUILD_DIR "/screenshots/form1-running.png")));
    // The sending marker is painted in red; the failed second mail's row too.
    EXPECT_GT(RedPixels(shot, QRect(labelSend->mapTo(form.get(), QPoint(0, 0)), labelSend->size())), 10);
    const QRect secondRow = list->visualRect(list->model()->index(0, 0)); // then on top
    EXPECT_GT(RedPixels(shot, QRect(list->viewport()->mapTo(form.get(), QPoint(0, secondRow.top())),
                                    QSize(list->viewport()->width(), secondRow.height()))), 10);
    EXPECT_EQ(summaryDuringThird,
              QStringList({"案内", "件名2", "2件/3件", "0件", "0.00分", "0.00秒", "1件"}));

    EXPECT_TRUE(states.contains(QStringLiteral("送信中:1/3:m1.txt")));
    EXPECT_TRUE(states.contains(QStringLiteral("送信中:2/3:m2.txt")));
    EXPECT_EQ(states.back(), QStringLiteral("送信完了"));
    EXPECT_FALSE(sendSeenWhileIdle);
    EXPECT_FALSE(menuEnabledDuringRun);
    EXPECT_EQ(positions.back(), 0);
    EXPECT_EQ(progress->maximum(), 3);
    EXPECT_TRUE(std::find(positions.begin(), positions.end(), 2) != positions.end());

    // After the run: newest row on top, the failed mail red, summary emptied.
    ASSERT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(Cell(list, 0, 0), QStringLiteral("C3"));
    EXPECT_EQ(Cell(list, 1, 0), QStringLiteral("C2"));
    EXPECT_EQ(Cell(list, 1, 1), QStringLiteral("件名2"));
    EXPECT_TRUE(Cell(list, 1, 2).contains(QStringLiteral("to2@example.jp")));
    EXPECT_EQ(Cell(list, 1, 3), QStringLiteral("2"));
    EXPECT_EQ(Cell(list, 2, 0), QStringLiteral("C1"));
    EXPECT_FALSE(IsRed(list, 0));
    EXPECT_TRUE(IsRed(list, 1));
    EXPECT_FALSE(IsRed(list, 2));
    EXPECT_FALSE(labelSend->isVisible());
    EXPECT_TRUE(Find<QLabel>("LabelRestTime")->text().isEmpty());
    EXPECT_TRUE(Summary(2).isEmpty());
    EXPECT_TRUE(resend->isEnabled());
    EXPECT_TRUE(form->isVisible()); // keep-open mode
    EXPECT_TRUE(boxes.empty());

    // The result list's popup menu carries the command.
    auto* menu = Find<QMenu>("PopupMenu1");
    MouseClick(list->viewport(), Qt::RightButton, QPoint(50, 10));
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    EXPECT_TRUE(menu->actions().contains(resend));
    menu->hide();

    // Resend, answered No: nothing changes.
    answerYes = false;
    resend->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, TForm1::TBoxKind::kConfirmation);
    EXPECT_EQ(boxes[0].text, QStringLiteral("エラーメールを再送しますか？"));
    EXPECT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(ResultLines().size(), 3u);

    // Yes: the result file holds the resend alone, the list the one mail.
    answerYes = true;
    resend->trigger();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(State(), QStringLiteral("送信完了"));
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(Cell(list, 0, 0), QStringLiteral("C2"));
    EXPECT_EQ(Cell(list, 0, 3), QStringLiteral("0"));
    EXPECT_EQ(ResultLines().size(), 1u);
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 4u);

    // Nothing left to resend.
    resend->trigger();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].kind, TForm1::TBoxKind::kInformation);
    EXPECT_EQ(boxes[2].text, QStringLiteral("エラーしているメールはありません."));
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 4u);

    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(exits.empty()); // the last mail was sent: exit code 0
}

TEST_F(Form1Test, InvisibleAutoResendKeepsMarkerForLaterResend)
{
    WriteJobs(1, {"FAKE_MAILER_EXIT=3"});
    Make({"/P", "jobs.txt", "/i", "/r", "/e"});
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    ShowAndActivate();
    ASSERT_TRUE(WaitFor([&] { return State() == QStringLiteral("送信完了"); }, 20000));

    // No border, zero size at (0, 0), yet every update arrived.
    EXPECT_EQ(form->geometry(), QRect(0, 0, 0, 0));
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 2u); // the run and the automatic resend
    auto* list = Find<QTreeView>("ListView2");
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(Cell(list, 0, 3), QStringLiteral("3"));
    ASSERT_EQ(ResultLines().size(), 1u);
    EXPECT_TRUE(ResultLines()[0].find("（再送分）") != std::string::npos);

    // A later resend from the menu keeps the marker of this process.
    Find<QAction>("mnuReSend")->trigger();
    EXPECT_EQ(ReadFakeMailerRecords(RecordPath()).size(), 3u);
    ASSERT_EQ(ResultLines().size(), 1u);
    EXPECT_TRUE(ResultLines()[0].find("（再送分）") != std::string::npos);

    // Closing with a failed last mail ends the process with its status.
    form->close();
    EXPECT_EQ(exits, std::vector<int>{3});
}

TEST_F(Form1Test, CloseWritesThePosition)
{
    const std::string ini = folder.Path() + "tarn_ui_tests.ini";

    // Normal state: where the window is now.
    Make({});
    ASSERT_TRUE(ShowActive(form.get()));
    form->move(70, 80);
    form->close();
    EXPECT_FALSE(form->isVisible());
    TSettings s = ReadSettings(folder.Cp932Path() + "tarn_ui_tests.ini");
    EXPECT_EQ(s.Top, 80);
    EXPECT_EQ(s.Left, 70);
    EXPECT_EQ(s.Name, FakeMailerPath()); // the rest of the file stays

    // Minimised: the values read at start are written back.
    Make({});
    ASSERT_TRUE(ShowActive(form.get()));
    form->move(5, 6);
    form->setWindowState(Qt::WindowMinimized);
    form->close();
    s = ReadSettings(folder.Cp932Path() + "tarn_ui_tests.ini");
    EXPECT_EQ(s.Top, 80);
    EXPECT_EQ(s.Left, 70);

    // A settings file that cannot be written: the box, then the close completes.
    form.reset();
    std::remove(ini.c_str());
    folder.MakeFolder("tarn_ui_tests.ini");
    Make({});
    ASSERT_TRUE(ShowActive(form.get()));
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, TForm1::TBoxKind::kError);
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("tarn_ui_tests.ini に書き込めません"))) << boxes[0].text.toStdString();
    EXPECT_TRUE(exits.empty());
}

} // namespace
