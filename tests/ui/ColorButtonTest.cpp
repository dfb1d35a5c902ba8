#include "QtTestApp.h"

#include "ui/TColorButton.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor kFace(212, 208, 200);
const QColor kLight(255, 255, 255);
const QColor kDark(148, 144, 136);
const QColor kInverted(255 - 212, 255 - 208, 255 - 200);
constexpr int kW = 105;
constexpr int kH = 49;

QFont MainFont()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(19);
    f.setBold(true);
    return f;
}

QFont CrispFont(QFont f)
{
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// A button as the main window lays it out.
void MakeMainButton(TColorButton& b, const QString& caption)
{
    b.resize(kW, kH);
    b.SetColor(kFace);
    b.SetFontColor(Qt::black);
    b.setFont(MainFont());
    b.SetCaption(caption);
}

QImage Render(TColorButton& b)
{
    QImage img(b.size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    b.render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
    return img;
}

QColor At(const QImage& img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

// Bounding box of the pixels of one colour inside the area `inner`.
QRect InkBox(const QImage& img, const QColor& ink, const QRect& inner)
{
    QRect box;
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            if (At(img, x, y) == ink)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Where the ink of `text` sits relative to the point it is drawn at.
QRect ReferenceInk(const QFont& font, const QString& text)
{
    const QFontMetrics fm(font);
    QImage img(fm.horizontalAdvance(text) + 40, fm.height() + 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPoint(20, 20 + fm.ascent()), text);
    }
    return InkBox(img, Qt::black, img.rect()).translated(-20, -20);
}

// Which bevel shade a pixel of ring k takes: the right column and the bottom
// row (corners included) get the bottom-right colour.
bool IsBottomRight(int x, int y, int w, int h, int ring)
{
    return x == w - 1 - ring || y == h - 1 - ring;
}

void ExpectBevel(const QImage& img, int size, const QColor& topLeft, const QColor& bottomRight)
{
    const int w = img.width();
    const int h = img.height();
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int ring = std::min({x, y, w - 1 - x, h - 1 - y});
            if (ring < size)
                wrong += At(img, x, y) != (IsBottomRight(x, y, w, h, ring) ? bottomRight : topLeft);
        }
    }
    EXPECT_EQ(wrong, 0) << "bevel pixels in the wrong shade";
}

// The dotted outline of (l, t, r, b): pixels with x + y even are inverted.
int CountColor(const QImage& img, const QColor& c, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += At(img, x, y) == c;
    return n;
}

void ExpectFocusRect(const QImage& img, int l, int t, int r, int b, const QColor& face)
{
    const QColor inverted(255 - face.red(), 255 - face.green(), 255 - face.blue());
    int wrong = 0;
    auto check = [&](int x, int y) { wrong += At(img, x, y) != ((x + y) % 2 == 0 ? inverted : face); };
    for (int x = l; x < r; ++x) {
        check(x, t);
        check(x, b - 1);
    }
    for (int y = t; y < b; ++y) {
        check(l, y);
        check(r - 1, y);
    }
    EXPECT_EQ(wrong, 0) << "focus outline pixels wrong";
    // Nothing of it just outside.
    EXPECT_EQ(CountColor(img, inverted, QRect(l - 1, t - 1, r - l + 2, 1)), 0);
    EXPECT_EQ(CountColor(img, inverted, QRect(l - 1, b, r - l + 2, 1)), 0);
}

class ColorButtonTest : public ::testing::Test {
protected:
    void SetUp() override { QtTestApp(); }
};

TEST_F(ColorButtonTest, NewButtonAndSetterRules)
{
    TColorButton b;
    EXPECT_EQ(b.size(), QSize(75, 25));
    EXPECT_TRUE(b.isEnabled());
    EXPECT_EQ(b.focusPolicy(), Qt::TabFocus);
    EXPECT_EQ(b.Alignment(), alMiddleCenter);
    EXPECT_EQ(b.BevelStyle(), bbRaised);
    EXPECT_EQ(b.BevelSize(), 2);
    EXPECT_EQ(b.Spacing(), 2);
    EXPECT_EQ(b.Style(), bsCenter | bsShowFocus | bsShowKey);
    EXPECT_EQ(b.PressState(), psUp);

    b.SetBevelSize(0);
    EXPECT_EQ(b.BevelSize(), 1);
    b.SetBevelSize(-4);
    EXPECT_EQ(b.BevelSize(), 1);
    b.SetSpacing(-3);
    EXPECT_EQ(b.Spacing(), 0);

    b.setEnabled(false);
    EXPECT_EQ(b.PressState(), psDisabled);
    b.setEnabled(true);
    EXPECT_EQ(b.PressState(), psUp);

    // Shades stop at 0 and 255.
    EXPECT_EQ(TColorButton::LightShade(QColor(10, 250, 64)), QColor(74, 255, 128));
    EXPECT_EQ(TColorButton::DarkShade(QColor(10, 250, 64)), QColor(0, 186, 0));
}

TEST_F(ColorButtonTest, MainButtonBevelAndCentredCaption)
{
    // The laid-out face is stood in for by a metric-compatible one.
    ASSERT_EQ(QFontInfo(MainFont()).family(), QStringLiteral("IPAPGothic"));
    TColorButton b;
    MakeMainButton(b, QStringLiteral("終了"));
    const QImage img = Render(b);
    ExpectBevel(img, 2, kLight, kDark);
    EXPECT_EQ(At(img, kW - 1, 0), kDark);
    EXPECT_EQ(At(img, 0, kH - 1), kDark);
    EXPECT_EQ(At(img, 0, 0), kLight);
    EXPECT_EQ(At(img, 2, 2), kFace);

    // The caption is centred in the area four pixels inside each edge.
    const QFont font = CrispFont(MainFont());
    const QFontMetrics fm(font);
    const QString text = QStringLiteral("終了");
    const QRect ref = ReferenceInk(font, text);
    const QRect ink = InkBox(img, Qt::black, QRect(4, 4, kW - 8, kH - 8));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(ink.size(), ref.size());
    const QPoint origin = ink.topLeft() - ref.topLeft();
    const int tw = fm.horizontalAdvance(text);
    const int th = fm.height();
    EXPECT_LE(std::abs((origin.x() - 4) - (kW - 4 - origin.x() - tw)), 1);
    EXPECT_LE(std::abs((origin.y() - 4) - (kH - 4 - origin.y() - th)), 1);
    // No underline without "&".
    EXPECT_EQ(CountColor(img, Qt::black, QRect(0, origin.y() + th, kW, 1)), 0);
}

TEST_F(ColorButtonTest, CaptionFollowsAlignment)
{
    const QFont font = CrispFont(MainFont());
    const QFontMetrics fm(font);
    const QString text = QStringLiteral("Ab");
    const QRect ref = ReferenceInk(font, text);
    const int tw = fm.horizontalAdvance(text);
    const int th = fm.height();
    const struct {
        TAlignment al;
        QPoint origin;
    } cases[] = {
        {alTopLeft, {4, 4}},
        {alTopRight, {kW - 4 - tw, 4}},
        {alMiddleLeft, {4, (kH - 8 - th) / 2 + 4}},
        {alBottomCenter, {(kW - 8 - tw) / 2 + 4, kH - 4 - th}},
        {alBottomRight, {kW - 4 - tw, kH - 4 - th}},
    };
    for (const auto& c : cases) {
        TColorButton b;
        MakeMainButton(b, text);
        b.SetAlignment(c.al);
        const QImage img = Render(b);
        const QRect ink = InkBox(img, Qt::black, QRect(2, 2, kW - 4, kH - 4));
        EXPECT_EQ(ink.topLeft() - ref.topLeft(), c.origin) << "alignment " << c.al;
    }
}

TEST_F(ColorButtonTest, PressedLoweredAndDisabledLooks)
{
    QWidget window;
    window.resize(200, 100);
    auto* b = new TColorButton(&window);
    MakeMainButton(*b, QStringLiteral("終了"));
    ASSERT_TRUE(ShowActive(&window));

    MousePress(b, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(b->PressState(), psDown);
    ExpectBevel(Render(*b), 2, kDark, kLight);
    // Held down wherever the pointer goes until the release.
    MouseRelease(b, Qt::LeftButton, QPoint(150, 90));
    EXPECT_EQ(b->PressState(), psUp);

    b->SetBevelStyle(bbLowered);
    ExpectBevel(Render(*b), 2, kDark, kLight);
    MousePress(b, Qt::LeftButton, QPoint(10, 10));
    ExpectBevel(Render(*b), 2, kLight, kDark);
    MouseRelease(b, Qt::LeftButton, QPoint(10, 10));

    b->SetBevelStyle(bbRaised);
    b->setEnabled(false);
    const QImage img = Render(*b);
    ExpectBevel(img, 2, kLight, kDark);
    // Engraved: the dark caption at offset 0 over a light one at offset 1.
    const QFont font = CrispFont(MainFont());
    const QRect ref = ReferenceInk(font, QStringLiteral("終了"));
    const QRect inner(4, 4, kW - 8, kH - 8);
    const QRect dark = InkBox(img, kDark, inner);
    const QRect light = InkBox(img, kLight, inner);
    EXPECT_EQ(dark.size(), ref.size());
    EXPECT_EQ(light.bottomRight(), dark.bottomRight() + QPoint(1, 1));
    EXPECT_EQ(CountColor(img, Qt::black, inner), 0);
    // The mouse does nothing to a disabled button.
    MousePress(b, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(b->PressState(), psDisabled);
    MouseRelease(b, Qt::LeftButton, QPoint(10, 10));
}

TEST_F(ColorButtonTest, FocusRectangle)
{
    QWidget window;
    window.resize(300, 100);
    auto* b = new TColorButton(&window);
    MakeMainButton(*b, QStringLiteral("終了"));
    ASSERT_TRUE(ShowActive(&window));
    b->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([b] { return b->Focused(); }));

    ExpectFocusRect(Render(*b), 3, 3, 102, 46, kFace);

    b->SetBevelStyle(bbNone);
    QImage img = Render(*b);
    EXPECT_EQ(At(img, 0, 0), kFace);
    EXPECT_EQ(At(img, kW - 1, kH - 1), kFace);
    ExpectFocusRect(img, 1, 1, 104, 48, kFace);
    b->SetBevelStyle(bbRaised);

    b->SetStyle(bsCenter | bsShowKey);
    EXPECT_EQ(CountColor(Render(*b), kInverted, b->rect()), 0);
    b->SetStyle(bsCenter | bsShowKey | bsShowFocus);

    b->setEnabled(false);
    EXPECT_EQ(CountColor(Render(*b), kInverted, b->rect()), 0);
    b->setEnabled(true);

    b->clearFocus();
    EXPECT_FALSE(b->Focused());
    EXPECT_EQ(CountColor(Render(*b), kInverted, b->rect()), 0);
}

TEST_F(ColorButtonTest, AcceleratorUnderline)
{
    QFont latin(QStringLiteral("DejaVu Sans"));
    latin.setPixelSize(14);
    const QFontMetrics fm(CrispFont(latin));
    const struct {
        QString caption;
        QString drawn;
        int before; // characters before the underlined one
    } cases[] = {
        {QStringLiteral("&Stop"), QStringLiteral("Stop"), 0},
        {QStringLiteral("A&&B"), QStringLiteral("A&B"), 1},
        {QStringLiteral("Go&"), QStringLiteral("Go"), -1},
    };
    for (const auto& c : cases) {
        TColorButton b;
        MakeMainButton(b, c.caption);
        b.setFont(latin);
        const QRect ref = ReferenceInk(CrispFont(latin), c.drawn);
        QImage img = Render(b);
        const int tw = fm.horizontalAdvance(c.drawn);
        const int x = (kW - 8 - tw) / 2 + 4;
        const int y = (kH - 8 - fm.height()) / 2 + 4;
        const int row = y + fm.height();
        // The text itself is drawn without the marking "&".
        EXPECT_EQ(InkBox(img, Qt::black, QRect(4, 4, kW - 8, row - 4)), ref.translated(x, y))
            << c.caption.toStdString();
        if (c.before < 0) {
            EXPECT_EQ(CountColor(img, Qt::black, QRect(0, row, kW, 1)), 0);
            continue;
        }
        const int x0 = x + fm.horizontalAdvance(c.drawn.left(c.before));
        const int x1 = x + fm.horizontalAdvance(c.drawn.left(c.before + 1));
        EXPECT_EQ(InkBox(img, Qt::black, QRect(0, row, kW, 1)), QRect(x0, row, x1 - x0, 1))
            << c.caption.toStdString();

        b.SetStyle(bsCenter | bsShowFocus);
        img = Render(b);
        EXPECT_EQ(CountColor(img, Qt::black, QRect(0, row, kW, 1)), 0);
    }
}

TEST_F(ColorButtonTest, PicturePlacement)
{
    QPixmap pic(10, 6);
    pic.fill(Qt::red);
    const QColor red(255, 0, 0);
    const int d = 4;
    const struct {
        TButtonStyle style;
        TAlignment al;
        QRect want;
    } cases[] = {
        {bsCenter, alTopLeft, {(kW - 10) / 2, (kH - 6) / 2, 10, 6}},
        {bsStretch, alTopLeft, {d, d, kW - 2 * d, kH - 2 * d}},
        {{}, alTopCenter, {(kW - 10) / 2, kH - d - 6, 10, 6}},
        {{}, alMiddleLeft, {kW - d - 10, (kH - 6) / 2, 10, 6}},
        {{}, alMiddleRight, {d, (kH - 6) / 2, 10, 6}},
        {{}, alBottomLeft, {(kW - 10) / 2, d, 10, 6}},
    };
    for (const auto& c : cases) {
        TColorButton b;
        MakeMainButton(b, QString());
        b.SetStyle(c.style);
        b.SetAlignment(c.al);
        b.SetPicture(pic);
        const QImage img = Render(b);
        const QRect box = InkBox(img, red, img.rect());
        EXPECT_EQ(box, c.want) << "alignment " << c.al;
        EXPECT_EQ(CountColor(img, red, img.rect()), c.want.width() * c.want.height());
    }

    TColorButton b;
    b.SetStyle(bsAutoSize | bsCenter);
    b.SetBevelSize(3);
    b.SetPicture(pic);
    EXPECT_EQ(b.size(), QSize(16, 12));
}

TEST_F(ColorButtonTest, MouseClicks)
{
    QWidget window;
    window.resize(300, 100);
    auto* b = new TColorButton(&window);
    MakeMainButton(*b, QStringLiteral("終了"));
    ASSERT_TRUE(ShowActive(&window));
    int clicks = 0;
    int dbl = 0;
    TPressState stateAtClick = psUp;
    bool downLookAtClick = false;
    QObject::connect(b, &TColorButton::clicked, [&] {
        ++clicks;
        stateAtClick = b->PressState();
        downLookAtClick = At(Render(*b), 0, 0) == kDark;
    });
    QObject::connect(b, &TColorButton::dblClicked, [&] { ++dbl; });

    // Right button: drawn down, up again, no click.
    MousePress(b, Qt::RightButton, QPoint(20, 20));
    EXPECT_EQ(b->PressState(), psDown);
    MouseRelease(b, Qt::RightButton, QPoint(20, 20));
    EXPECT_EQ(b->PressState(), psUp);
    EXPECT_EQ(clicks, 0);

    // Left release outside: up, no click.
    MousePress(b, Qt::LeftButton, QPoint(20, 20));
    MouseRelease(b, Qt::LeftButton, QPoint(200, 20));
    EXPECT_EQ(b->PressState(), psUp);
    EXPECT_EQ(clicks, 0);

    // A click fires while the button is still drawn down.
    MouseClick(b, Qt::LeftButton, QPoint(20, 20));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(stateAtClick, psDown);
    EXPECT_TRUE(downLookAtClick);
    EXPECT_EQ(b->PressState(), psUp);
    EXPECT_EQ(At(Render(*b), 0, 0), kLight);

    // A double click: one click, then the double-click event instead of a second.
    clicks = 0;
    MouseDoubleClick(b, Qt::LeftButton, QPoint(20, 20));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(b->PressState(), psUp);

    b->setEnabled(false);
    MouseClick(b, Qt::LeftButton, QPoint(20, 20));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ColorButtonTest, MousePressLeavesFocusWhereItWas)
{
    QWidget window;
    window.resize(300, 100);
    auto* end = new TColorButton(&window);
    auto* pause = new TColorButton(&window);
    pause->move(100, 0);
    int endClicks = 0;
    int pauseClicks = 0;
    QObject::connect(end, &TColorButton::clicked, [&] { ++endClicks; });
    QObject::connect(pause, &TColorButton::clicked, [&] { ++pauseClicks; });
    ASSERT_TRUE(ShowActive(&window));
    end->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([end] { return end->hasFocus(); }));

    MouseClick(pause, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(pauseClicks, 1);
    EXPECT_TRUE(end->hasFocus());
    EXPECT_TRUE(end->Focused());
    EXPECT_FALSE(pause->Focused());

    KeyClick(&window, Qt::Key_Return);
    EXPECT_EQ(endClicks, 1);
    EXPECT_EQ(pauseClicks, 1);
}

TEST_F(ColorButtonTest, Keyboard)
{
    QWidget window;
    window.resize(300, 100);
    auto* b = new TColorButton(&window);
    MakeMainButton(*b, QStringLiteral("終了"));
    int clicks = 0;
    TPressState stateAtClick = psDown;
    QObject::connect(b, &TColorButton::clicked, [&] {
        ++clicks;
        stateAtClick = b->PressState();
    });
    ASSERT_TRUE(ShowActive(&window));
    b->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([b] { return b->hasFocus(); }));

    KeyPress(&window, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_EQ(b->PressState(), psDown);
    EXPECT_EQ(At(Render(*b), 0, 0), kDark);
    // A held key repeats; only the real release clicks.
    KeyRelease(&window, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    KeyPress(&window, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    EXPECT_EQ(clicks, 0);
    KeyRelease(&window, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(stateAtClick, psUp);
    EXPECT_EQ(At(Render(*b), 0, 0), kLight);

    KeyPress(&window, Qt::Key_Return);
    EXPECT_EQ(b->PressState(), psUp);
    EXPECT_EQ(clicks, 1);
    KeyRelease(&window, Qt::Key_Return);
    EXPECT_EQ(clicks, 2);
    KeyClick(&window, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    EXPECT_EQ(clicks, 2);
}

TEST_F(ColorButtonTest, Accelerator)
{
    QWidget window;
    window.resize(300, 100);
    auto* stop = new TColorButton(&window);
    stop->SetCaption(QStringLiteral("&Stop"));
    auto* other = new TColorButton(&window);
    other->move(100, 0);
    other->SetCaption(QStringLiteral("&Go"));
    int clicks = 0;
    QObject::connect(stop, &TColorButton::clicked, [&] { ++clicks; });
    ASSERT_TRUE(ShowActive(&window));

    EXPECT_EQ(stop->AcceleratorChar(), QLatin1Char('S'));
    KeyClick(&window, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    EXPECT_EQ(clicks, 1);

    // A plain character while a button holds the focus is a dialog character.
    other->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitFor([other] { return other->hasFocus(); }));
    KeyClick(&window, Qt::Key_S, Qt::NoModifier, QStringLiteral("s"));
    EXPECT_EQ(clicks, 2);
    KeyClick(&window, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
    EXPECT_EQ(clicks, 2);

    EXPECT_TRUE(stop->DialogChar(QLatin1Char('s')));
    EXPECT_FALSE(stop->DialogChar(QLatin1Char('t')));
    EXPECT_EQ(clicks, 3);

    stop->setEnabled(false);
    EXPECT_FALSE(stop->DialogChar(QLatin1Char('S')));
    KeyClick(&window, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    KeyClick(&window, Qt::Key_S, Qt::NoModifier, QStringLiteral("s"));
    EXPECT_EQ(clicks, 3);

    // The caption's accelerator follows a new caption.
    stop->setEnabled(true);
    stop->SetCaption(QStringLiteral("&Halt"));
    KeyClick(&window, Qt::Key_S, Qt::AltModifier, QStringLiteral("s"));
    EXPECT_EQ(clicks, 3);
    KeyClick(&window, Qt::Key_H, Qt::AltModifier, QStringLiteral("h"));
    EXPECT_EQ(clicks, 4);
}

} // namespace
