// What an operator sees beyond the layout: the message boxes, the new row
// before any wait, and a selected failed row. Runs on virtual time with
// scripted mailers.
#include "Form1Fixture.h"

#include "support/RunFakes.h"

#include <QAbstractButton>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>

namespace {

// A virtual clock that lets the test look at the window whenever the run sleeps.
class TWatchingClock : public TVirtualClock {
public:
    std::function<void(std::uint32_t)> onSleep;
    void Sleep(std::uint32_t ms) override
    {
        if (onSleep)
            onSleep(ms);
        TVirtualClock::Sleep(ms);
    }
};

TEST(MessageBoxTest, JapaneseButtonsAndCentredOnTheWindow)
{
    QtTestApp();
    QWidget window;
    window.setGeometry(300, 200, 416, 464);
    window.show();
    struct Case { TForm1::TBoxKind kind; QStringList buttons; };
    for (const Case& c : {Case{TForm1::TBoxKind::kConfirmation, {QStringLiteral("はい"), QStringLiteral("いいえ")}},
                          Case{TForm1::TBoxKind::kInformation, {QStringLiteral("OK")}},
                          Case{TForm1::TBoxKind::kWarning, {QStringLiteral("OK")}},
                          Case{TForm1::TBoxKind::kError, {QStringLiteral("OK")}}}) {
        const auto box = TForm1::MakeBox(c.kind, QStringLiteral("Tarnwick(Sedge)"), QStringLiteral("本文"), &window);
        QStringList texts;
        for (QAbstractButton* b : box->buttons())
            texts << b->text();
        texts.sort();
        QStringList expected = c.buttons;
        expected.sort();
        EXPECT_EQ(texts, expected);
        box->show();
        ASSERT_TRUE(WaitFor([&] { return box->isVisible(); }));
        const QPoint offset = box->frameGeometry().center() - window.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
        box->hide();
    }
}

TEST_F(Form1Test, TheNewRowIsLaidOutBeforeThePausesAndAFailedRowStaysRedWhenSelected)
{
    WriteJobs(3, {});
    TWatchingClock virtualClock;
    TScriptedMailer scripted(virtualClock);
    scripted.script = {{100, 2, false}, {100, 0, false}, {100, 0, false}};
    // Three mails in one unit: a 3 s pause before the second and the third.
    MakeWith({"/P", "jobs.txt", "/m", "3", "/t", "0.001", "/s", "3", "/e"}, virtualClock, scripted);
    auto* list = Find<QTreeView>("ListView2");
    std::vector<QString> topRowAtPause;
    int inkAtFirstPause = -1;
    virtualClock.onSleep = [&](std::uint32_t ms) {
        if (ms != 3000)
            return;
        const QModelIndex top = list->model()->index(0, 0);
        topRowAtPause.push_back(top.data().toString());
        if (inkAtFirstPause >= 0)
            return;
        // What the window shows now (the platform's copy, not a fresh rendering):
        // the first row's send code must be there in ink.
        const QImage shown = form->screen()->grabWindow(form->winId()).toImage();
        const QRect cell(list->viewport()->mapTo(form.get(), QPoint(0, 0)), QSize(100, 16));
        inkAtFirstPause = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                inkAtFirstPause += qGray(shown.pixel(x, y)) < 100;
    };
    ShowAndActivate();
    ASSERT_TRUE(WaitFor([&] { return State() == QStringLiteral("送信完了"); }, 10000));
    EXPECT_EQ(topRowAtPause, (std::vector<QString>{QStringLiteral("C1"), QStringLiteral("C2")}));
    EXPECT_GT(inkAtFirstPause, 10);

    // The failed mail is the bottom row; selected, its text is still red.
    const int failed = list->model()->rowCount() - 1;
    ASSERT_EQ(list->model()->index(failed, 3).data().toString(), QStringLiteral("2"));
    list->selectionModel()->select(list->model()->index(failed, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QImage shot = list->viewport()->grab().toImage();
    const QRect row = list->visualRect(list->model()->index(failed, 0)).united(list->visualRect(list->model()->index(failed, 3)));
    int red = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x)
            red += QColor(shot.pixel(x, y)) == QColor(255, 0, 0);
    EXPECT_GT(red, 20);
}

} // namespace
