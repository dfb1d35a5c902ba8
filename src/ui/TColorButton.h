// A push button that paints itself: a flat face in its own colour, a bevel in
// a lighter and a darker shade of it, an optional picture, a caption with an
// accelerator underline and a dotted focus rectangle. Everything is drawn
// pixel-exact without antialiasing, so the look does not depend on the style.
#pragma once

#include "display/ButtonFace.h"

#include <QColor>
#include <QFlags>
#include <QPixmap>
#include <QString>
#include <QWidget>

Q_DECLARE_FLAGS(TButtonStyle, TButtonStyles)
Q_DECLARE_OPERATORS_FOR_FLAGS(TButtonStyle)

class TColorButton : public QWidget {
    Q_OBJECT

public:
    explicit TColorButton(QWidget* parent = nullptr);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TButtonBevel BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TButtonBevel value);
    int BevelSize() const { return bevelSize_; }
    void SetBevelSize(int value);   // below 1 becomes 1
    QColor Color() const { return color_; }
    void SetColor(const QColor& value);
    const QPixmap& Picture() const { return picture_; }
    void SetPicture(const QPixmap& value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);     // below 0 becomes 0
    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle value);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& value);
    // The caption colour (the font's colour).
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& value);

    TPressState PressState() const { return state_; }
    bool Focused() const { return focused_; }

    // The character after the caption's first "&", or a null character.
    QChar AcceleratorChar() const;

    // Fires clicked().
    void Click();
    // A character the window offers as an accelerator: clicks and returns
    // true when it is this button's accelerator and the button is enabled.
    bool DialogChar(QChar ch);
    // Offers a character to every colour button of a window until one takes it.
    static bool DispatchDialogChar(QWidget* window, QChar ch);

    static QColor LightShade(const QColor& face);
    static QColor DarkShade(const QColor& face);

signals:
    void clicked();
    void dblClicked();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void Redraw();
    void SetPressState(TPressState value);
    void ApplyAutoSize();
    void UpdateShortcut();
    void DrawFocusRect(class QPainter& p, int left, int top, int right, int bottom);
    void DrawCaption(QPainter& p, const QFont& font, int offset, const QColor& color);

    TAlignment alignment_ = alMiddleCenter;
    TButtonBevel bevelStyle_ = bbRaised;
    int bevelSize_ = 2;
    QColor color_;
    QPixmap picture_;
    int spacing_ = 2;
    TButtonStyle style_ = TButtonStyle(bsCenter | bsShowFocus | bsShowKey);
    QString caption_;
    QColor fontColor_;

    TPressState state_ = psUp;
    bool focused_ = false;
    bool leftPressed_ = false; // a left press began on the button
    int shortcutId_ = 0;
};
