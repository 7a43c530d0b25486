// Windowed controls: the base of every control and of the containers (forms,
// panels) that hold them.
#pragma once

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"
#include "toolkit/Handles.h"

#include <string>

namespace tk {

class TWinControl;

// Modal results of forms and buttons.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;         // 1
constexpr TModalResult mrCancel = IDCANCEL; // 2

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A control is a child window with an object behind it. It is created at
// construction inside `parent` (a form or a panel); its owner is the form that
// contains the parent, which destroys it. Controls are created in tab order.
// Geometry is in pixels of the parent's client area at 96 DPI: the window
// itself is laid out at its form's DPI (Scaled), so that one layout stays
// sharp at every display scale. A form's own place and outer size are in
// screen pixels.
class TControl : public TComponent {
public:
    ~TControl() override;

    HWND Handle() const noexcept { return handle_; }
    TWinControl* Parent() const noexcept { return parent_; }
    // The top-level container the control lies on: its form (itself for a form).
    TWinControl* Root() const noexcept;

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left);
    void SetTop(int top);
    void SetWidth(int width);
    void SetHeight(int height);

    // The DPI of the form the control lies on (96 without one), and a length
    // at 96 DPI converted to it and back.
    int Dpi() const noexcept;
    int Scaled(int value) const noexcept { return ::MulDiv(value, Dpi(), 96); }
    int Unscaled(int value) const noexcept { return ::MulDiv(value, 96, Dpi()); }
    // Called by the form once it has been laid out at a new DPI: takes up the
    // form's new font and scales what only the control itself knows.
    virtual void DpiChanged(int oldDpi, int newDpi);

    // Window text.
    std::string Caption() const;
    virtual void SetCaption(const std::string& caption);
    std::string Text() const { return Caption(); }
    void SetText(const std::string& text) { SetCaption(text); }

    bool Visible() const;
    virtual void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    void SetFocus();
    bool Focused() const;
    // Whether the tab key stops at it.
    void SetTabStop(bool tabStop);

    // Placed against an edge of the parent's client area; aligned controls
    // take the edge of the space left by those aligned before them, in
    // creation order (so create the bottom-most first).
    TAlign Align() const noexcept { return align_; }
    void SetAlign(TAlign align);

    // The font's colour and styles; the face and size are the form's.
    TColor FontColor() const noexcept { return fontColor_; }
    void SetFontColor(TColor color);
    TFontStyles FontStyles() const noexcept { return fontStyles_; }
    void SetFontStyles(TFontStyles styles);
    // The HFONT the control draws with (its own when styled, else the form's).
    HFONT Font() const noexcept;

    // The window procedure of the control; overrides call the base for what
    // they do not handle. An exception goes to the application's error box
    // and the message is answered 0.
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Notifications of the parent reflected to the control. Return true when handled.
    virtual bool CommandNotify(WORD code) { return false; }
    virtual bool Notify(NMHDR* header, LRESULT& result) { return false; }
    // WM_HSCROLL / WM_VSCROLL that the control sent its parent, reflected back to it.
    virtual bool ScrollNotify(UINT message, WPARAM wParam) { return false; }
    // WM_CTLCOLOR*: colours `dc` and returns the background brush, or null for default.
    virtual HBRUSH CtlColor(HDC dc);
    // The accelerator character of the caption ("&List" gives 'L'), 0 if none.
    char Accelerator() const;
    // What the accelerator does: focus and click. Returns whether it acted.
    virtual bool AcceleratorPressed();

    // The object of a toolkit window, or null.
    static TControl* FromHandle(HWND window) noexcept;

    // The class procedure of the toolkit's own window classes (forms and its
    // own controls): the object comes as lpCreateParams (see WindowBinding.h).
    static LRESULT CALLBACK ClassWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Creates the window of class `className` as a child of `parent`: a
    // toolkit class is bound at its creation, a system class subclassed.
    TControl(TWinControl* parent, const char* className, DWORD style, DWORD exStyle = 0);
    // For forms: the window is created by the form with the object as lpCreateParams.
    explicit TControl(TComponent* owner);
    // Called with the default procedure; used by WndProc.
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    // Applies the font colour/style: rebuilds the own font from the form's.
    virtual void FontChanged();
    // Recomputes the size of auto-sizing controls.
    virtual void AdjustSize() {}

    HWND handle_ = nullptr;

private:
    void Detach() noexcept;
    // Hands a message to the control of a subclassed system-class window.
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);

    TWinControl* parent_ = nullptr;
    TAlign align_ = TAlign::alNone;
    TColor fontColor_ = clDefault;
    TFontStyles fontStyles_ = 0;
    UniqueFont ownFont_;
    bool subclassed_ = false;

    friend class TWinControl;
};

// A control that holds other controls (forms and panels). It reflects its
// children's WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR* to their objects.
class TWinControl : public TControl {
public:
    // The child controls in creation order.
    int ControlCount() const noexcept { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    // Lays out the aligned children again.
    void Realign();

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // What a form gives the controls on it: the font they share (null: the
    // system's), the DPI they are laid out at, and the modal result their
    // buttons choose.
    virtual HFONT FormFont() const noexcept { return nullptr; }
    virtual int FormDpi() const noexcept { return 96; }
    virtual void SetModalResult(TModalResult result) {}

protected:
    using TControl::TControl;
    // Next control id for a child of the form.
    static int NextControlId(TWinControl* parent);

private:
    std::vector<TControl*> controls_;
    friend class TControl;
};

} // namespace tk
