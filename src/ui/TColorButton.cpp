#include "ui/TColorButton.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>

#include <algorithm>

TColorButton::TColorButton(QWidget* parent)
    : QWidget(parent)
    , color_(QApplication::palette().color(QPalette::Button))
    , fontColor_(QApplication::palette().color(QPalette::WindowText))
{
    resize(75, 25);
    // A mouse press must not take the focus from the button that holds it.
    setFocusPolicy(Qt::TabFocus);
    // The face is filled completely on every paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TColorButton::SetAlignment(TAlignment value)
{
    alignment_ = value;
    Redraw();
}

void TColorButton::SetBevelStyle(TButtonBevel value)
{
    bevelStyle_ = value;
    Redraw();
}

void TColorButton::SetBevelSize(int value)
{
    bevelSize_ = std::max(value, 1);
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetColor(const QColor& value)
{
    color_ = value;
    Redraw();
}

void TColorButton::SetPicture(const QPixmap& value)
{
    if (&value != &picture_)
        picture_ = value;
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetSpacing(int value)
{
    value = std::max(value, 0);
    if (value == spacing_)
        return;
    spacing_ = value;
    Redraw();
}

void TColorButton::SetStyle(TButtonStyle value)
{
    if (value == style_)
        return;
    style_ = value;
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetCaption(const QString& value)
{
    caption_ = value;
    UpdateShortcut();
    Redraw();
}

void TColorButton::SetFontColor(const QColor& value)
{
    fontColor_ = value;
    Redraw();
}

QChar TColorButton::AcceleratorChar() const
{
    const qsizetype amp = caption_.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= caption_.size())
        return QChar();
    return caption_.at(amp + 1);
}

void TColorButton::Click()
{
    emit clicked();
}

bool TColorButton::DialogChar(QChar ch)
{
    const QChar accel = AcceleratorChar();
    if (accel.isNull() || !isEnabled() || accel.toCaseFolded() != ch.toCaseFolded())
        return false;
    Click();
    return true;
}

bool TColorButton::DispatchDialogChar(QWidget* window, QChar ch)
{
    if (!window)
        return false;
    const auto buttons = window->findChildren<TColorButton*>();
    for (TColorButton* button : buttons) {
        if (button->DialogChar(ch))
            return true;
    }
    return false;
}

namespace {

std::uint32_t ToColorRef(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | static_cast<std::uint32_t>(rgb.green()) << 8
        | static_cast<std::uint32_t>(rgb.blue()) << 16;
}

QColor FromColorRef(std::uint32_t v)
{
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

} // namespace

QColor TColorButton::LightShade(const QColor& face) { return FromColorRef(buttonface::LightShade(ToColorRef(face))); }
QColor TColorButton::DarkShade(const QColor& face) { return FromColorRef(buttonface::DarkShade(ToColorRef(face))); }

void TColorButton::Redraw()
{
    // Changes show at once, as the run loop may not let paint events through
    // for a while.
    if (isVisible())
        repaint();
}

void TColorButton::SetPressState(TPressState value)
{
    state_ = value;
    Redraw();
}

void TColorButton::ApplyAutoSize()
{
    if ((style_ & bsAutoSize) && !picture_.isNull())
        resize(picture_.width() + 2 * bevelSize_, picture_.height() + 2 * bevelSize_);
}

void TColorButton::UpdateShortcut()
{
    if (shortcutId_ != 0) {
        releaseShortcut(shortcutId_);
        shortcutId_ = 0;
    }
    const QChar accel = AcceleratorChar();
    if (accel.isNull() || accel.isSpace())
        return;
    // Letters: the key code is the upper-case letter, so Alt+s and Alt+S match.
    const auto key = static_cast<Qt::Key>(accel.toUpper().unicode());
    shortcutId_ = grabShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, key)));
}

bool TColorButton::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        const auto* se = static_cast<QShortcutEvent*>(e);
        if (se->shortcutId() == shortcutId_) {
            if (isEnabled())
                Click();
            return true;
        }
    }
    return QWidget::event(e);
}

void TColorButton::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange)
        SetPressState(isEnabled() ? psUp : psDisabled);
    else if (e->type() == QEvent::FontChange)
        Redraw();
    QWidget::changeEvent(e);
}

void TColorButton::focusInEvent(QFocusEvent* e)
{
    focused_ = true;
    Redraw();
    QWidget::focusInEvent(e);
}

void TColorButton::focusOutEvent(QFocusEvent* e)
{
    focused_ = false;
    Redraw();
    QWidget::focusOutEvent(e);
}

void TColorButton::mousePressEvent(QMouseEvent* e)
{
    if (!isEnabled())
        return;
    if (e->button() == Qt::LeftButton)
        leftPressed_ = true;
    SetPressState(psDown);
    e->accept();
}

void TColorButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (!isEnabled())
        return;
    // The second press of a double click is no click of its own.
    if (e->button() == Qt::LeftButton) {
        leftPressed_ = false;
        QPointer<TColorButton> self(this);
        emit dblClicked();
        if (!self)
            return;
    }
    if (isEnabled())
        SetPressState(psDown);
    e->accept();
}

void TColorButton::mouseReleaseEvent(QMouseEvent* e)
{
    const bool click = e->button() == Qt::LeftButton && leftPressed_
        && rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton)
        leftPressed_ = false;
    // The click comes first, while the button is still drawn down.
    QPointer<TColorButton> self(this);
    if (click && isEnabled())
        Click();
    if (!self)
        return;
    if (isEnabled())
        SetPressState(psUp);
    e->accept();
}

void TColorButton::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Space:
        if (isEnabled())
            SetPressState(psDown);
        e->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter clicks on release and has no pressed look.
        e->accept();
        return;
    default:
        break;
    }
    // A plain character while a button holds the focus is offered to the
    // window's buttons as an accelerator, as dialog windows do.
    const QString text = e->text();
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::NoModifier && text.size() == 1 && text.at(0).isPrint()
        && DispatchDialogChar(window(), text.at(0))) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TColorButton::keyReleaseEvent(QKeyEvent* e)
{
    const int key = e->key();
    const bool ours = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!ours) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    e->accept();
    // A held key repeats as release/press pairs; only the real release counts.
    if (e->isAutoRepeat())
        return;
    QPointer<TColorButton> self(this);
    if (key == Qt::Key_Space) {
        if (!isEnabled())
            return;
        state_ = psUp;
        Click();
        if (self)
            Redraw();
        return;
    }
    if (state_ != psDisabled)
        Click();
}

void TColorButton::paintEvent(QPaintEvent*)
{
    if (!isEnabled())
        state_ = psDisabled;
    else if (state_ == psDisabled)
        state_ = psUp;

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const int W = width();
    const int H = height();
    // R as left, top, right, bottom; right and bottom are outside.
    int l = 0, t = 0, r = W, b = H;
    p.fillRect(0, 0, W, H, color_);

    const QColor light = LightShade(color_);
    const QColor dark = DarkShade(color_);
    if (bevelStyle_ != bbNone) {
        QColor topLeft = light;
        QColor bottomRight = dark;
        if (buttonface::BevelSunken(state_, bevelStyle_))
            std::swap(topLeft, bottomRight);
        for (int i = 0; i < bevelSize_; ++i) {
            if (r > l && b > t) {
                // Left edge up, then the top edge short of the top-right corner.
                p.fillRect(l, t, 1, b - t, topLeft);
                p.fillRect(l, t, r - l - 1, 1, topLeft);
                // Right edge down, then the bottom edge including the bottom-left corner.
                p.fillRect(r - 1, t, 1, b - t, bottomRight);
                p.fillRect(l, b - 1, r - l, 1, bottomRight);
            }
            ++l;
            ++t;
            --r;
            --b;
        }
    }

    if (focused_ && (style_ & bsShowFocus) && isEnabled()) {
        const TEdges f = buttonface::FocusRect({l, t, r, b}, spacing_);
        DrawFocusRect(p, f.Left, f.Top, f.Right, f.Bottom);
    }

    if (!picture_.isNull()) {
        const TEdges e = buttonface::PictureTarget(static_cast<int>(style_.toInt()), alignment_, W, H, bevelSize_, spacing_,
                                                   picture_.width(), picture_.height());
        const QRect target(QPoint(e.Left, e.Top), QPoint(e.Right - 1, e.Bottom - 1));
        if (target.width() > 0 && target.height() > 0)
            p.drawPixmap(target, picture_);
    }

    if (!caption_.isEmpty()) {
        // Crisp glyphs: the engraved look and the pixel layout rely on them.
        QFont f = font();
        f.setStyleStrategy(QFont::NoAntialias);
        if (state_ == psDisabled) {
            DrawCaption(p, f, 1, light);
            DrawCaption(p, f, 0, dark);
        } else {
            DrawCaption(p, f, 0, fontColor_);
        }
    }
}

// Windows draws the focus rectangle by inverting every other pixel of its
// outline, aligned to the window's origin. Here the pixels whose x + y is even
// are inverted (XOR with white), each exactly once, so drawing it twice
// restores the face. Engines without raster operations draw them white.
void TColorButton::DrawFocusRect(QPainter& p, int left, int top, int right, int bottom)
{
    if (right <= left || bottom <= top)
        return;
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    const QColor white(255, 255, 255);
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            p.fillRect(x, y, 1, 1, white);
    };
    for (int x = left; x < right; ++x)
        dot(x, top);
    if (bottom - 1 > top) {
        for (int x = left; x < right; ++x)
            dot(x, bottom - 1);
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        dot(left, y);
        if (right - 1 > left)
            dot(right - 1, y);
    }
    p.restore();
}

void TColorButton::DrawCaption(QPainter& p, const QFont& font, int offset, const QColor& color)
{
    QString text = caption_;
    // Only the first "&" marks the accelerator; later ones are drawn.
    const qsizetype amp = text.indexOf(QLatin1Char('&'));
    const qsizetype keyPos = amp < 0 ? 0 : amp + 1;
    if (amp >= 0)
        text.remove(amp, 1);

    const QFontMetrics fm(font);
    const buttonface::TPoint at = buttonface::CaptionOrigin(alignment_, width(), height(), bevelSize_, spacing_,
                                                            fm.horizontalAdvance(text), fm.height(), offset);
    const int x = at.X;
    const int y = at.Y;

    p.setFont(font);
    p.setPen(color);
    p.drawText(QPoint(x, y + fm.ascent()), text);

    if (keyPos > 0 && (style_ & bsShowKey)) {
        const int x0 = x + fm.horizontalAdvance(text.left(keyPos - 1));
        const int x1 = x + fm.horizontalAdvance(text.left(keyPos));
        if (x1 > x0)
            p.fillRect(x0, y + fm.height(), x1 - x0, 1, color);
    }
}
