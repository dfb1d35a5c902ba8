// The main window as laid out: places and sizes, captions, fonts, design
// colours, icon, focus and keys, and the text forms of the status display.
#include "Form1Fixture.h"

#include "run/ResultRows.h"
#include "ui/SummaryText.h"
#include "ui/TColorButton.h"
#include "ui/TResultListModel.h"

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

#include <set>

namespace {

QRect Geometry(QWidget* w) { return w ? w->geometry() : QRect(); }

TEST_F(Form1Test, LayoutFontsColoursAndIcon)
{
    folder.WriteLines("DesignConfig.ini", {"[App]", "Title=配信テスト", "[BG]", "Color=A0B0C0", "[Button1]",
                                           "BGColor=0000FF", "TXColor=00FF00", "[Button2]", "BGColor=zz"});
    Make({});
    ASSERT_TRUE(form->Started());
    ASSERT_TRUE(ShowActive(form.get()));

    // The client area is fixed; no task-bar entry, system menu and minimise only.
    EXPECT_EQ(form->size(), QSize(416, 464));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->pos(), QPoint(30, 40)); // [Pos] Left, Top
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("配信テスト"));

    EXPECT_EQ(Geometry(Find<QWidget>("ListView1")), QRect(0, 0, 416, 113));
    EXPECT_EQ(Geometry(Find<QWidget>("ListView2")), QRect(0, 113, 416, 239));
    EXPECT_EQ(Geometry(Find<QWidget>("Panel2")), QRect(0, 352, 416, 70));
    EXPECT_EQ(Geometry(Find<QWidget>("ProgressBar1")), QRect(0, 422, 416, 17));
    EXPECT_EQ(Geometry(Find<QWidget>("Panel1")), QRect(0, 439, 416, 25));
    EXPECT_EQ(Geometry(Find<QWidget>("ColorButton2")), QRect(192, 8, 105, 49));
    EXPECT_EQ(Geometry(Find<QWidget>("ColorButton1")), QRect(304, 8, 105, 49));
    EXPECT_EQ(Find<QWidget>("ColorButton1")->parentWidget(), Find<QWidget>("Panel2"));
    EXPECT_EQ(Find<QLabel>("Label1")->pos(), QPoint(8, 7));
    EXPECT_EQ(Find<QLabel>("Label1")->parentWidget(), Find<QWidget>("Panel2"));
    EXPECT_EQ(Find<QLabel>("LabelRestTime")->pos(), QPoint(8, 31));
    EXPECT_EQ(Find<QLabel>("LabelState")->pos(), QPoint(8, 5));
    EXPECT_EQ(Find<QLabel>("LabelState")->parentWidget(), Find<QWidget>("Panel1"));
    EXPECT_EQ(Find<QLabel>("LabelSend")->pos(), QPoint(368, 6));

    // Captions and columns.
    EXPECT_EQ(Find<QLabel>("Label1")->text(), QStringLiteral("残り時間（推定）"));
    EXPECT_TRUE(Find<QLabel>("LabelRestTime")->text().isEmpty());
    EXPECT_TRUE(State().isEmpty());
    EXPECT_EQ(Find<TColorButton>("ColorButton1")->Caption(), QStringLiteral("終了"));
    EXPECT_EQ(Find<TColorButton>("ColorButton2")->Caption(), QStringLiteral("一時停止"));
    auto* list1 = Find<QTreeWidget>("ListView1");
    ASSERT_EQ(list1->columnCount(), 2);
    EXPECT_EQ(list1->headerItem()->text(0), QStringLiteral("項目"));
    EXPECT_EQ(list1->headerItem()->text(1), QStringLiteral("内容"));
    EXPECT_EQ(list1->columnWidth(0), 150);
    EXPECT_EQ(list1->columnWidth(1), 250);
    const QStringList rows = {"処理", "件名", "処理済／総件数", "１回の送信単位（件）", "送信間隔（単位毎）",
                              "送信間隔（１件毎）", "エラー件数"};
    ASSERT_EQ(list1->topLevelItemCount(), 7);
    for (int r = 0; r < 7; ++r) {
        EXPECT_EQ(list1->topLevelItem(r)->text(0), rows[r]);
        EXPECT_TRUE(list1->topLevelItem(r)->text(1).isEmpty());
    }
    auto* list2 = Find<QTreeView>("ListView2");
    const QStringList columns = {"送信コード", "件名", "メールアドレス", "結果番号"};
    ASSERT_EQ(list2->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(list2->model()->headerData(c, Qt::Horizontal).toString(), columns[c]);
        EXPECT_EQ(list2->columnWidth(c), 100);
    }
    auto* progress = Find<QProgressBar>("ProgressBar1");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    auto* timer1 = Find<QTimer>("Timer1");
    auto* timerWait = Find<QTimer>("TimerWait");
    EXPECT_EQ(timer1->interval(), 100);
    EXPECT_FALSE(timer1->isActive());
    EXPECT_EQ(timerWait->interval(), 60000);
    EXPECT_FALSE(timerWait->isActive());
    ASSERT_NE(Find<QMenu>("PopupMenu1"), nullptr);
    EXPECT_EQ(Find<QAction>("mnuReSend")->text(), QStringLiteral("エラーメールを再送信"));

    // Fonts: the laid-out face falls back to IPAPGothic, with 12-pixel characters.
    const QFontInfo windowFont(Find<QLabel>("LabelState")->font());
    EXPECT_EQ(windowFont.family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(windowFont.pixelSize(), 12);
    EXPECT_FALSE(windowFont.bold());
    for (const char* name : {"ColorButton1", "ColorButton2"}) {
        const QFontInfo f(Find<QWidget>(name)->font());
        EXPECT_EQ(f.family(), QStringLiteral("IPAPGothic"));
        EXPECT_EQ(f.pixelSize(), 19);
        EXPECT_TRUE(f.bold());
    }
    auto* labelSend = Find<QLabel>("LabelSend");
    EXPECT_EQ(labelSend->text(), QStringLiteral("送信中"));
    EXPECT_TRUE(labelSend->isHidden());
    EXPECT_EQ(QFontInfo(labelSend->font()).pixelSize(), 12);
    EXPECT_TRUE(QFontInfo(labelSend->font()).bold());
    EXPECT_EQ(labelSend->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    // Design colours: lowest byte red. A bad value gives the default face.
    const QImage shot = form->grab().toImage();
    const QColor ground(0xC0, 0xB0, 0xA0);
    EXPECT_EQ(QColor(shot.pixel(300, 452)), ground);  // status bar
    EXPECT_EQ(QColor(shot.pixel(150, 412)), ground);  // remaining-time panel
    EXPECT_EQ(form->palette().color(QPalette::Window), ground);
    // Bevels: the remaining-time panel raised outside and lowered inside, the
    // status bar lowered; white and grey whatever the design colour.
    const QColor white(255, 255, 255), grey(128, 128, 128);
    EXPECT_EQ(QColor(shot.pixel(0, 352)), white);
    EXPECT_EQ(QColor(shot.pixel(415, 421)), grey);
    EXPECT_EQ(QColor(shot.pixel(1, 353)), grey);
    EXPECT_EQ(QColor(shot.pixel(414, 420)), white);
    EXPECT_EQ(QColor(shot.pixel(2, 354)), ground);
    EXPECT_EQ(QColor(shot.pixel(0, 439)), grey);
    EXPECT_EQ(QColor(shot.pixel(415, 463)), white);
    EXPECT_EQ(QColor(shot.pixel(1, 440)), ground);
    EXPECT_NE(list1->palette().color(QPalette::Window), ground);
    EXPECT_NE(progress->palette().color(QPalette::Window), ground);
    auto* end = Find<TColorButton>("ColorButton1");
    auto* pause = Find<TColorButton>("ColorButton2");
    EXPECT_EQ(end->Color(), QColor(255, 0, 0));
    EXPECT_EQ(end->FontColor(), QColor(0, 255, 0));
    EXPECT_EQ(QColor(shot.pixel(304 + 6, 352 + 8 + 6)), QColor(255, 0, 0));
    EXPECT_EQ(pause->Color(), QColor(212, 208, 200));
    EXPECT_EQ(pause->FontColor(), QColor(0, 0, 0));

    // Grid lines: the summary list's column edge runs through its rows.
    const QImage summary = list1->viewport()->grab().toImage();
    const int y = list1->visualItemRect(list1->topLevelItem(0)).center().y();
    EXPECT_EQ(QColor(summary.pixel(149, y)), QColor(0xC0, 0xC0, 0xC0));

    // The icon: one 32 x 32 image in at most 16 colours.
    const QIcon icon = form->windowIcon();
    ASSERT_EQ(icon.availableSizes(), QList<QSize>{QSize(32, 32)});
    const QImage iconImage = icon.pixmap(32, 32).toImage();
    std::set<QRgb> colours;
    for (int iy = 0; iy < 32; ++iy)
        for (int ix = 0; ix < 32; ++ix)
            colours.insert(iconImage.pixel(ix, iy));
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GT(colours.size(), 2u);
}

TEST_F(Form1Test, FocusTabOrderAndButtons)
{
    Make({});
    ASSERT_TRUE(ShowActive(form.get()));
    auto* end = Find<TColorButton>("ColorButton1");
    auto* pause = Find<TColorButton>("ColorButton2");
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == end; }));
    EXPECT_TRUE(end->Focused());
    const QImage idle = form->grab().toImage();

    // The end button while no run changes nothing visible.
    MouseClick(end, Qt::LeftButton, QPoint(50, 24));
    EXPECT_TRUE(form->Delivery().Controls().StopRequest);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->grab().toImage(), idle);
    form->Delivery().Controls().StopRequest = false;

    // The pause button toggles its caption; a mouse click leaves the focus on
    // the end button, so Enter and Space then click the end button.
    MouseClick(pause, Qt::LeftButton, QPoint(50, 24));
    EXPECT_EQ(pause->Caption(), QStringLiteral("再開"));
    EXPECT_TRUE(form->Delivery().Controls().PauseRequest);
    EXPECT_EQ(QApplication::focusWidget(), end);
    KeyClick(form.get(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_TRUE(form->Delivery().Controls().StopRequest);
    form->Delivery().Controls().StopRequest = false;
    KeyClick(form.get(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(form->Delivery().Controls().StopRequest);
    EXPECT_TRUE(form->Delivery().Controls().PauseRequest);
    MouseClick(pause, Qt::LeftButton, QPoint(50, 24));
    EXPECT_EQ(pause->Caption(), QStringLiteral("一時停止"));
    EXPECT_FALSE(form->Delivery().Controls().PauseRequest);

    // Tab order: end button, pause button, summary list, result list.
    const std::vector<QWidget*> order = {pause, Find<QWidget>("ListView1"), Find<QWidget>("ListView2"), end};
    for (QWidget* next : order) {
        KeyClick(form.get(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(Form1Test, SummaryTextsAndRowColours)
{
    Make({"/n", "月次案内", "/P", "nothing.txt"}); // no run: the job list does not exist
    IView& view = *form;
    auto* rest = Find<QLabel>("LabelRestTime");

    view.UpdateSummary(false, Sjis("ご案内"), 12, 300, 3725, 2);
    EXPECT_EQ(rest->text(), QStringLiteral("1時間2分5秒"));
    const QStringList unset = {"月次案内", "ご案内", "12件/300件", "0件", "0.00分", "0.00秒", "2件"};
    for (int r = 0; r < 7; ++r)
        EXPECT_EQ(Summary(r), unset[r]) << r;

    form->Delivery().Options().SendUnit = 5;
    form->Delivery().Options().UnitWait = 1.5;
    form->Delivery().Options().MailPause = 0.25;
    view.UpdateSummary(false, "", 13, 300, 59, 3);
    EXPECT_EQ(rest->text(), QStringLiteral("0時間0分59秒"));
    EXPECT_EQ(Summary(3), QStringLiteral("5件"));
    EXPECT_EQ(Summary(4), QStringLiteral("1.50分"));
    EXPECT_EQ(Summary(5), QStringLiteral("0.25秒"));

    // A wait-only call moves the remaining time alone.
    view.UpdateSummary(true, "", 99, 300, 0, 9);
    EXPECT_EQ(rest->text(), QStringLiteral("0時間0分0秒"));
    EXPECT_EQ(Summary(2), QStringLiteral("13件/300件"));
    EXPECT_EQ(Summary(6), QStringLiteral("3件"));
    view.UpdateSummary(true, "", 0, 0, 86400, 0);
    EXPECT_EQ(rest->text(), QStringLiteral("24時間0分0秒"));

    view.ClearSummary();
    EXPECT_TRUE(rest->text().isEmpty());
    for (int r = 0; r < 7; ++r) {
        EXPECT_TRUE(Summary(r).isEmpty()) << r;
        EXPECT_EQ(Find<QTreeWidget>("ListView1")->topLevelItem(r)->columnCount(), 2);
    }

    // A row is red when its mail failed, an unknown outcome included; all columns alike.
    TResultRows resultRows;
    for (const std::int32_t status : {0, 1, -1, -2})
        resultRows.InsertTop({"C", "件名", "to", status, status == -2, "", ""});
    TResultListModel model(resultRows);
    const std::vector<bool> red = {true, true, true, false}; // newest on top: -2, -1, 1, 0
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const QVariant colour = model.data(model.index(r, c), Qt::ForegroundRole);
            EXPECT_EQ(colour.isValid() && colour.value<QColor>() == QColor(255, 0, 0), red[r]) << r << "," << c;
        }
    }
}

} // namespace
