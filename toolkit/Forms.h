// Top-level forms, the application object, message boxes and the screen's
// active control.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/ErrorPolicy.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Graphics.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace tk {

class TButton;

enum class TPosition { poDesigned, poScreenCenter, poMainFormCenter };
enum class TWindowState { wsNormal, wsMinimized };
// bsSingle: fixed frame; bsDialog: dialog frame; bsSizeable: resizable frame.
enum class TFormBorderStyle { bsSingle, bsDialog, bsSizeable };
using TBorderIcons = unsigned;
constexpr TBorderIcons biSystemMenu = 1;
constexpr TBorderIcons biMinimize = 2;
constexpr TBorderIcons biMaximize = 4;

using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window owned by the application window, hidden when created.
// A derived form builds its controls in its constructor in tab order and sets
// its events; the creator then calls AfterConstruction (CreateForm does), which
// runs Loaded() on every owned component and then OnCreate. One window class
// per form class; the form's font is "MS Sans Serif" 8 pt. The form is laid
// out at the DPI of the monitor it is on, and again when Windows moves it to
// a monitor of another scale (WM_DPICHANGED).
class TForm : public TWinControl {
public:
    // `windowClass` names the form's window class: pass the form class's name.
    explicit TForm(TComponent* owner, const char* windowClass = "TForm");
    ~TForm() override;

    // Loaded() on the owned components and the form, then OnCreate (an
    // exception in it is shown in the error box and ends OnCreate). Once.
    virtual void AfterConstruction();

    void SetCaption(const std::string& caption) override;
    void SetBorderStyle(TFormBorderStyle style);
    void SetBorderIcons(TBorderIcons icons);
    // Client area size at 96 DPI; the frame is added around it.
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientSize(int width, int height);
    TPosition Position = TPosition::poDesigned;

    // For the main form, minimised means that the application is minimised:
    // the form itself is never iconic.
    TWindowState WindowState() const noexcept { return windowState_; }
    void SetWindowState(TWindowState state);

    // Shows (applying Position) or hides the form.
    void SetVisible(bool visible) override;
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Asks OnCloseQuery; if allowed, ends the application for the main form,
    // sets ModalResult mrCancel for a modal form, or hides the form.
    void Close();
    // Shows the form modally: the other windows of the application are
    // disabled until ModalResult is set; returns it.
    TModalResult ShowModal();
    TModalResult ModalResult = mrNone;
    bool Modal() const noexcept { return modal_; }

    // The control that has (or last had) the focus on this form, or null.
    HWND ActiveControl() const noexcept;
    // The form's font, shared by all its controls.
    HFONT FormFont() const noexcept override { return font_.get(); }
    int FormDpi() const noexcept override { return dpi_; }
    void SetModalResult(TModalResult result) override { ModalResult = result; }
    // The default and cancel buttons (Enter and Esc), or null.
    TButton* DefaultButton() const;
    TButton* CancelButton() const;

    TNotifyEvent OnCreate;
    // Runs before the form's derived parts and its components are destroyed.
    TNotifyEvent OnDestroy;
    // Each time the form becomes the active window.
    TNotifyEvent OnActivate;
    TCloseQueryEvent OnCloseQuery;

    // Form window procedure; derived forms override it to handle messages
    // (e.g. WM_QUERYENDSESSION) and call it for the rest.
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Tab, Enter, Esc and accelerators for the form holding `msg.hwnd`.
    // Returns true when the message was used and must not be dispatched.
    static bool IsDialogKey(MSG& msg);
    // The form of a window (its top-level ancestor), or null.
    static TForm* FormOf(HWND window) noexcept;

protected:
    void BeforeDestruction() override;

private:
    static const char* RegisterFormClass(const char* typeName);
    // Lays the form out again at `dpi` within `bounds`, the screen rectangle
    // Windows suggests for it.
    void ChangeDpi(int dpi, const RECT& bounds);
    void ApplyPosition();
    DWORD FrameStyle() const;
    DWORD FrameExStyle() const;
    void UpdateFrame();

    static void CollectControls(TWinControl* container, std::vector<TControl*>& out);

    // The form that was activated last; the screen's active form.
    static inline TForm* activeForm_ = nullptr;
    UniqueFont font_;
    int dpi_ = 96;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TWindowState windowState_ = TWindowState::wsNormal;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    HWND lastFocus_ = nullptr;
    bool created_ = false;
    bool destroyed_ = false;
    bool modal_ = false;
    friend class TApplication;
    friend HWND ScreenActiveControl() noexcept;
};

// The program: a hidden application window that carries the taskbar button
// and owns every form, the main form, the message loop and the error box.
// Exactly one exists; it is reached through tk::Application.
class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Creates the application window and the icon; call once before anything else.
    void Initialize();
    // The application window.
    HWND Handle() const noexcept { return handle_.get(); }
    const std::string& Title() const noexcept { return title_; }
    void SetTitle(const std::string& title);
    // From resource "MAINICON" or 1, else the system's application icon.
    TIcon& Icon() noexcept { return icon_; }
    // The same at the shell's small-icon size (for window captions and the
    // notification area); without an icon resource, a copy of Icon.
    TIcon& SmallIcon() noexcept { return smallIcon_; }

    // Creates a form of type T owned by the application, runs its
    // AfterConstruction and stores it in `reference`; the first form so
    // created becomes the main form.
    template <typename T>
    void CreateForm(T*& reference) {
        T* form = new T(this);
        reference = form;
        FormCreated(form);
    }
    TForm* MainForm() const noexcept { return mainForm_; }
    // Shows the main form at Run (minimised: minimises the application).
    bool ShowMainForm = true;
    // What the program's entry returns once Run has ended.
    int ExitCode = 0;

    // Serves messages until Terminate or the main form is gone, then destroys
    // the forms (last created first). At the end of the Windows session the
    // main form receives WM_ENDSESSION, open menus close and the loops end;
    // the forms are destroyed here, not while the session ends.
    void Run();
    // Ends Run's loop.
    void Terminate();
    bool Terminated() const noexcept { return terminated_; }
    // Serves the messages waiting in the queue, then returns.
    void ProcessMessages();
    // Serves one message, waiting for it; false when WM_QUIT arrived.
    bool HandleMessage();

    // Minimises the whole program (the application window; its forms hide with it).
    void Minimize();
    // Restores the application window and brings the main form back.
    void Restore();
    bool IsMinimized() const;

    // Shows the current exception (call inside a catch block) in the error box.
    void HandleException() noexcept;
    // The error box: ErrorBoxText(e.what()), caption Title, error icon, OK.
    void ShowException(const std::exception& e) noexcept;
    // A message box centred on the screen, owned by the active window; the
    // program's other windows are disabled while it is open. (windows.h makes
    // the name MessageBoxA; either spelling reaches this.)
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);

    // Destroys every form (last created first); runs at most once.
    void DestroyForms();

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void FormCreated(TForm* form);
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueWindow handle_;
    std::string title_;
    TIcon icon_;
    TIcon smallIcon_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool mainFormHiddenByMinimize_ = false;
    bool formsDestroyed_ = false;
    friend class TForm;
};

// The application object; set by TApplication's constructor, null after its destructor.
extern TApplication* Application;

// The window of the control that has the focus on the active form (or had it
// when the application was last active), or null.
HWND ScreenActiveControl() noexcept;

} // namespace tk
