// Buttons, labels, links, edit boxes, multi-line text boxes and check boxes.
#pragma once

#include "toolkit/Controls.h"

#include <string>

namespace tk {

// A push button. A click sets the form's ModalResult to the button's, then raises OnClick.
class TButton : public TControl {
public:
    TButton(TWinControl* parent, const std::string& caption, int left, int top, int width, int height);

    // Enter on the form clicks the default button (drawn with the default frame).
    bool Default() const noexcept { return default_; }
    void SetDefault(bool value);
    // Esc on the form clicks the cancel button.
    bool Cancel() const noexcept { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    TModalResult ModalResult = mrNone;

    // As if the user had clicked it.
    virtual void Click();
    TNotifyEvent OnClick;

    bool CommandNotify(WORD code) override;
    bool AcceleratorPressed() override;

private:
    bool default_ = false;
    bool cancel_ = false;
};

// A static text that sizes itself to its caption. "&X" in the caption is its
// accelerator: it focuses FocusControl.
class TLabel : public TControl {
public:
    TLabel(TWinControl* parent, const std::string& caption, int left, int top);

    bool AutoSize() const noexcept { return autoSize_; }
    void SetAutoSize(bool value);
    TControl* FocusControl = nullptr;

    void SetCaption(const std::string& caption) override;

    TNotifyEvent OnClick;
    // The mouse entered or left the label.
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool CommandNotify(WORD code) override;
    HBRUSH CtlColor(HDC dc) override;
    bool AcceleratorPressed() override;

protected:
    void AdjustSize() override;
    void FontChanged() override;

private:
    bool autoSize_ = true;
    bool mouseInside_ = false;
};

// A label that is a link: a tab stop, in the system's hot-tracking colour
// unless given a colour of its own, with a focus rectangle while it has the
// focus; Enter or Space on it raises OnClick as a click does.
class TLinkLabel : public TLabel {
public:
    TLinkLabel(TWinControl* parent, const std::string& caption, int left, int top);

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    HBRUSH CtlColor(HDC dc) override;
};

// A single-line edit box; accepts any typing.
class TEdit : public TControl {
public:
    TEdit(TWinControl* parent, int left, int top, int width, int height);

    // Selects the whole text.
    void SelectAll();
    TNotifyEvent OnChange;

    bool CommandNotify(WORD code) override;
};

// A multi-line text box with a vertical scroll bar and word wrap, without a
// length limit. Lines are those the box displays: a wrapped line counts as several.
class TMemo : public TControl {
public:
    TMemo(TWinControl* parent, int left, int top, int width, int height);

    void Clear();
    // Appends `line` as a line of its own (the text then ends with a line break).
    void Append(const std::string& line);
    // Appends `line` after removing the oldest lines, so that at most `keep`
    // lines remain (the new one always does).
    void Append(const std::string& line, int keep);
    // Number of displayed lines, not counting the empty line after a final line break.
    int LineCount() const;
    // Removes displayed line `index` (a wrapped part removes only that part).
    void DeleteLine(int index);
    // Text of displayed line `index`.
    std::string Line(int index) const;
    bool ReadOnly() const;
    void SetReadOnly(bool value);

    TNotifyEvent OnChange;
    bool CommandNotify(WORD code) override;
};

// A check box that toggles when clicked.
class TCheckBox : public TControl {
public:
    TCheckBox(TWinControl* parent, const std::string& caption, int left, int top, int width, int height);

    bool Checked() const;
    void SetChecked(bool value);
    TNotifyEvent OnClick;

    bool CommandNotify(WORD code) override;
    bool AcceleratorPressed() override;
    HBRUSH CtlColor(HDC dc) override;
};

} // namespace tk
