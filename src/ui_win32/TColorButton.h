// A push button that paints itself: a flat face in its own colour, a bevel in
// a lighter and a darker shade of it, an optional picture, a caption with an
// accelerator underline and the system's dotted focus rectangle. It reacts to
// the mouse, to space and enter while it holds the focus, and to its
// accelerator. Texts are CP932.
#pragma once

#include "display/ButtonFace.h"

#include <windows.h>

#include <functional>
#include <string>

class TColorButton {
public:
    // A new button: 75 x 25, enabled, a tab stop, the system's face and text colours.
    TColorButton(HWND parent, int id, int left, int top);
    ~TColorButton();
    TColorButton(const TColorButton&) = delete;
    TColorButton& operator=(const TColorButton&) = delete;

    HWND Handle() const { return hwnd_; }
    static TColorButton* FromHandle(HWND hwnd);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TButtonBevel BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TButtonBevel value);
    int BevelSize() const { return bevelSize_; }
    void SetBevelSize(int value); // below 1 becomes 1
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF value);
    // A copy of the bitmap is kept; nullptr clears the picture.
    void SetPicture(HBITMAP value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int value); // below 0 becomes 0
    int Style() const { return style_; }
    void SetStyle(int value);

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string value);
    COLORREF FontColor() const { return fontColor_; }
    void SetFontColor(COLORREF value);
    // The button does not own the font.
    void SetFont(HFONT font);
    void SetEnabled(bool enabled);

    TPressState PressState() const { return state_; }
    bool Focused() const { return focused_; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

    // The character after the caption's first "&" (0 when none).
    char AcceleratorChar() const;
    // A character the window offers as an accelerator: clicks and returns
    // true when it is this button's accelerator and the button is enabled.
    bool DialogChar(char ch);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Redraw();
    void SetPressState(TPressState value);
    void ApplyAutoSize();
    void Paint(HDC dc, int w, int h);
    void DrawCaption(HDC dc, int w, int h, int offset, COLORREF colour);
    void Click();

    HWND hwnd_ = nullptr;
    TAlignment alignment_ = alMiddleCenter;
    TButtonBevel bevelStyle_ = bbRaised;
    int bevelSize_ = 2;
    COLORREF color_;
    HBITMAP picture_ = nullptr;
    int spacing_ = 2;
    int style_ = bsCenter | bsShowFocus | bsShowKey;
    std::string caption_;
    COLORREF fontColor_;
    HFONT font_ = nullptr;

    TPressState state_ = psUp;
    bool focused_ = false;
    bool leftPressed_ = false; // a left press began on the button
};
