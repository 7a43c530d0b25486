#include "ui/TrayIcon.h"

#include "toolkit/Controls.h"
#include "toolkit/ErrorPolicy.h"
#include "toolkit/Forms.h"
#include "toolkit/FileVersion.h"
#include "toolkit/Handles.h"
#include "toolkit/MessageFilter.h"
#include "toolkit/OsVersion.h"
#include "toolkit/UtilWindow.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace {

BOOL WINAPI PlatformShellNotifyIcon(DWORD message, TNotifyIconData* data) {
    return ::Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(data));
}

// The common-controls library reports version 4.71 or later (the shell that
// broadcasts "TaskbarCreated").
bool CommonControlsAtLeast471() {
    const std::vector<char> block = tk::ReadVersionBlock("comctl32.dll");
    if (block.empty()) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!tk::QueryVersionValue(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || length < sizeof *info)
        return false;
    const LONG version = static_cast<LONG>((HIWORD(info->dwFileVersionMS) << 16) | LOWORD(info->dwFileVersionMS));
    return version >= 0x40047;
}

bool IsLegacyNTShell() {
    OSVERSIONINFOA version;
    if (!tk::GetOsVersion(version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion <= 4;
}

// The starting value of the library handle, which is never freed.
const HMODULE kNoLibrary = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x7FFFFFFF));
HMODULE g_commonControls = kNoLibrary;

// Copies as much of `text` as fits into a zero-terminated field of the record;
// the rest of the field is zeroed.
template <std::size_t N>
void CopyCut(CHAR (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

TShiftState KeyShift() {
    TShiftState shift = 0;
    if (::GetAsyncKeyState(VK_SHIFT) & 0x8000) shift |= ssShift;
    if (::GetAsyncKeyState(VK_CONTROL) & 0x8000) shift |= ssCtrl;
    if (::GetAsyncKeyState(VK_MENU) & 0x8000) shift |= ssAlt;
    return shift;
}

constexpr std::uint32_t kAddRetryMs = 2000;
// Two minutes of tries.
constexpr int kAddRetries = 60;

} // namespace

TShellNotifyIcon ShellNotifyIcon = PlatformShellNotifyIcon;
UINT TaskbarCreatedMessage() {
    // Read on first use, not while the program loads.
    static const UINT message = CommonControlsAtLeast471() ? ::RegisterWindowMessageA("TaskbarCreated") : 0;
    return message;
}
bool LegacyNTShell = false;

// The one hidden window of the process that receives every icon's callback
// message; the icons are found by their uID. Its handlers are the icons'
// events, user-interface handlers: their errors go to the error box.
class TTrayIconHandler {
public:
    static std::map<UINT, TTrayIcon*>& Icons() {
        static std::map<UINT, TTrayIcon*> icons;
        return icons;
    }
    // The shell knows an icon by its owner window and a UINT; a pointer does
    // not fit in one on 64 bits, and a serial is never reused by a later icon,
    // so a late notification for a freed icon finds nothing.
    static UINT NewIconId() noexcept { return ++lastIconId_; }

    static tk::TSharedUtilityWindow Window;

private:
    static LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case TrayCallbackMessage: {
                // A notification for an icon destroyed meanwhile names no live component.
                const auto it = Icons().find(static_cast<UINT>(wParam));
                if (it != Icons().end()) it->second->HandleNotification(static_cast<UINT>(lParam));
                return 0;
            }
            case WM_DESTROY:
            case WM_CLOSE:
            case WM_QUERYENDSESSION:
            case WM_QUIT:
            case WM_ENDSESSION:
            case WM_NCDESTROY:
                // A close request does not end the window; it consents to the session's end.
                return 1;
            case WM_USERCHANGED:
                if (!LegacyNTShell) return 0;
                if (g_commonControls == nullptr) {
                    g_commonControls = ::LoadLibraryA("comctl32.dll");
                    if (g_commonControls) {
                        using InitProc = void(WINAPI*)();
                        if (auto init = reinterpret_cast<InitProc>(
                                reinterpret_cast<void*>(::GetProcAddress(g_commonControls, "InitCommonControls"))))
                            init();
                    }
                } else {
                    if (g_commonControls != kNoLibrary) ::FreeLibrary(g_commonControls);
                    g_commonControls = nullptr;
                }
                return 1;
            default:
                return ::DefWindowProcA(window, message, wParam, lParam);
        }
    }

    static inline UINT lastIconId_ = 0;
};

constinit tk::TSharedUtilityWindow TTrayIconHandler::Window{"TTrayIconHandler", &TTrayIconHandler::WndProc,
                                                            tk::TErrorPolicy::ShowErrorBox};

HWND TTrayIcon::HandlerWindow() noexcept {
    return TTrayIconHandler::Window.Handle();
}

std::unique_ptr<tk::TWindowSubclass> TTrayIcon::InstallHook(HWND Window, tk::TWindowSubclass::Handler Handler) {
    auto hook = std::make_unique<tk::TWindowSubclass>(Window, std::move(Handler));
    if (!hook->Installed()) return nullptr;
    return hook;
}

TTrayIcon::TTrayIcon(tk::TComponent* Owner) : tk::TComponent(Owner), handlerReference_(TTrayIconHandler::Window) {
    Enabled = true;
    showHint_ = true;
    CursorOutside = true;
    StartupPending = true;
    icon_.OnChange = [this](tk::TObject*) { UpdateTrayIcon(); };

    notifyData_.cbSize = sizeof notifyData_;
    notifyData_.hWnd = HandlerWindow();
    notifyData_.uID = TTrayIconHandler::NewIconId();
    notifyData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    notifyData_.uCallbackMessage = TrayCallbackMessage;
    TTrayIconHandler::Icons()[notifyData_.uID] = this;
    // A constructor that fails leaves no hook and no registration behind.
    tk::ScopeGuard undo([this] {
        ownerHook_.reset();
        appHook_.reset();
        TTrayIconHandler::Icons().erase(notifyData_.uID);
    });

    cycleTimer_ = std::make_unique<TSimpleTimer>(this, CycleTimerFired);
    clickTimer_ = std::make_unique<TSimpleTimer>(this, ClickTimerFired);
    exitTimer_ = std::make_unique<TSimpleTimer>(this, ExitTimerFired);
    addRetryTimer_ = std::make_unique<TSimpleTimer>(this, AddRetryTimerFired);

    // The application window: minimise to the tray and shell restarts; the
    // owner's window: its taskbar button and focus when it is shown again.
    if (tk::Application && tk::Application->Handle()) {
        appHook_ = InstallHook(tk::Application->Handle(), [this](HWND w, UINT m, WPARAM wp, LPARAM lp) {
            return ApplicationWindowHook(w, m, wp, lp);
        });
        // Run as administrator, the program would not hear Explorer's
        // broadcast otherwise, and the icon would not come back.
        tk::AllowMessageThrough(tk::Application->Handle(), TaskbarCreatedMessage());
    }
    if (HWND owner = OwnerWindow())
        ownerHook_ = InstallHook(owner, [this](HWND w, UINT m, WPARAM wp, LPARAM lp) {
            return OwnerWindowHook(w, m, wp, lp);
        });
    undo.dismiss();
}

TTrayIcon::~TTrayIcon() {
    try {
        // The icon leaves the notification area before the hooks are undone.
        SetIconVisible(false);
        cycleTimer_.reset();
        clickTimer_.reset();
        exitTimer_.reset();
        addRetryTimer_.reset();
        icon_.OnChange = nullptr;
        icon_.SetHandle(nullptr);
    } catch (...) {
        // Nothing may keep the hooks from being undone.
        tk::HandleError(tk::TErrorPolicy::Trace, "tray icon's destruction");
    }
    appHook_.reset();
    ownerHook_.reset();
    TTrayIconHandler::Icons().erase(notifyData_.uID);
}

HWND TTrayIcon::OwnerWindow() const {
    auto* owner = dynamic_cast<tk::TWinControl*>(Owner());
    return owner ? owner->Handle() : nullptr;
}

void TTrayIcon::Loaded() {
    tk::TComponent::Loaded();
    if (OwnerWindow()) {
        bool showMainForm = true;
        if (OnStartup) OnStartup(this, showMainForm);
        if (!showMainForm) {
            if (tk::Application) tk::Application->ShowMainForm = false;
            HideToTray();
        }
    }
    UpdateTrayIcon();
    SetIconVisible(iconVisible_);
    SetCycleIcons(cycleIcons_);
    SetWantEnterExitEvents(wantEnterExitEvents_);
    LegacyNTShell = IsLegacyNTShell();
}

void TTrayIcon::Notification(tk::TComponent* Component, tk::TOperation Operation) {
    if (Operation == tk::TOperation::opRemove) {
        if (Component == iconList_) SetIconList(nullptr);
        if (Component == popupMenu_) popupMenu_ = nullptr;
    }
    tk::TComponent::Notification(Component, Operation);
}

bool TTrayIcon::FillNotifyData() {
    notifyData_.hIcon = icon_.Handle();
    CopyCut(notifyData_.szTip, showHint_ ? hint_ : std::string());
    return true;
}

bool TTrayIcon::ShowBalloonHint(const std::string& Title, const std::string& Text) {
    CopyCut(notifyData_.szInfoTitle, Title);
    CopyCut(notifyData_.szInfo, Text);
    notifyData_.dwInfoFlags = NIIF_WARNING;
    notifyData_.uFlags |= NIF_INFO;
    // Only this call carries the balloon: a later change of icon or tip must
    // not show it again.
    tk::ScopeGuard once([this] {
        notifyData_.uFlags &= ~NIF_INFO;
        CopyCut(notifyData_.szInfoTitle, {});
        CopyCut(notifyData_.szInfo, {});
        notifyData_.dwInfoFlags = 0;
    });
    return FillNotifyData() && ShellNotifyIcon(NIM_MODIFY, &notifyData_);
}

bool TTrayIcon::AddTrayIcon() {
    if (!PreviewSwitching) iconVisible_ = true;
    const bool added = FillNotifyData() && ShellNotifyIcon(NIM_ADD, &notifyData_);
    if (added) {
        addedOnce_ = true;
        addRetryTimer_->Stop();
    } else if (!addedOnce_ && !addRetried_) {
        // "TaskbarCreated" may never come: the shell was only not ready yet.
        addRetried_ = true;
        addRetryTimer_->Start(kAddRetryMs);
    }
    return added;
}

bool TTrayIcon::RemoveTrayIcon() {
    if (!PreviewSwitching) iconVisible_ = false;
    return FillNotifyData() && ShellNotifyIcon(NIM_DELETE, &notifyData_);
}

bool TTrayIcon::UpdateTrayIcon() {
    return FillNotifyData() && ShellNotifyIcon(NIM_MODIFY, &notifyData_);
}

void TTrayIcon::SetDesignPreview(bool Value) {
    designPreview_ = Value;
    PreviewSwitching = true;
    if (Value)
        AddTrayIcon();
    else
        RemoveTrayIcon();
    PreviewSwitching = false;
}

void TTrayIcon::SetIconList(tk::TImageList* Value) {
    iconList_ = Value;
    if (Value) Value->FreeNotification(this);
    SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool Value) {
    cycleIcons_ = Value;
    if (Value) {
        SetIconIndex(0);
        cycleTimer_->Start(cycleInterval_);
    } else {
        cycleTimer_->Stop();
    }
}

void TTrayIcon::SetCycleInterval(std::uint32_t Value) {
    cycleInterval_ = Value;
    SetCycleIcons(cycleIcons_);
}

void TTrayIcon::SetHint(const std::string& Value) {
    hint_ = Value.substr(0, 255);
    UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool Value) {
    showHint_ = Value;
    UpdateTrayIcon();
}

void TTrayIcon::SetIcon(const tk::TIcon& Value) {
    tk::TNotifyEvent onChange = std::move(icon_.OnChange);
    icon_.OnChange = nullptr;
    icon_.Assign(Value);
    icon_.OnChange = std::move(onChange);
    UpdateTrayIcon();
}

void TTrayIcon::SetIconVisible(bool Value) {
    if (Value)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TTrayIcon::SetIconIndex(int Value) {
    if (iconList_) {
        const int count = iconList_->Count();
        if (Value >= count) Value = count - 1;
        iconIndex_ = Value;
        if (Value >= 0) iconList_->GetIcon(Value, icon_);
    } else {
        iconIndex_ = 0;
    }
    UpdateTrayIcon();
}

void TTrayIcon::SetPopupMenu(tk::TPopupMenu* Value) {
    popupMenu_ = Value;
    if (Value) Value->FreeNotification(this);
}

void TTrayIcon::SetWantEnterExitEvents(bool Value) {
    wantEnterExitEvents_ = Value;
    if (Value)
        exitTimer_->Start(20);
    else
        exitTimer_->Stop();
}

void TTrayIcon::DoClick() {
    if (OnClick) OnClick(this);
}
void TTrayIcon::DoDblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TTrayIcon::DoCycle(int NextIndex) {
    if (OnCycle) OnCycle(this, NextIndex);
}
void TTrayIcon::DoMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TTrayIcon::DoMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TTrayIcon::DoMouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TTrayIcon::DoMouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}
void TTrayIcon::DoMouseExit() {
    if (OnMouseExit) OnMouseExit(this);
}

void TTrayIcon::HandleMinimize() {
    HideToTray();
    SetIconVisible(true);
}

void TTrayIcon::HideToTray() {
    if (!OwnerWindow() || !tk::Application || !tk::Application->MainForm()) return;
    tk::Application->MainForm()->SetVisible(false);
    ::ShowWindow(tk::Application->Handle(), SW_HIDE);
}

void TTrayIcon::HandleNotification(UINT Message) {
    switch (Message) {
        case NIN_BALLOONHIDE:
            if (OnBalloonHintHide) OnBalloonHintHide(this);
            return;
        case NIN_BALLOONTIMEOUT:
            if (OnBalloonHintTimeout) OnBalloonHintTimeout(this);
            return;
        case NIN_BALLOONUSERCLICK:
            if (OnBalloonHintClick) OnBalloonHintClick(this);
            return;
        default: break;
    }
    if (!Enabled) return;
    POINT p{};
    ::GetCursorPos(&p);
    const TShiftState shift = KeyShift();
    switch (Message) {
        case WM_MOUSEMOVE:
            if (wantEnterExitEvents_ && CursorOutside) {
                DoMouseEnter();
                CursorOutside = false;
            }
            DoMouseMove(shift, p.x, p.y);
            LastCursorPos = p;
            break;
        case WM_LBUTTONDOWN:
            if (OnDblClick) clickTimer_->Start(::GetDoubleClickTime());
            DoMouseDown(mbLeft, shift | ssLeft, p.x, p.y);
            ClickPending = true;
            if (LeftPopup) ShowTrayMenu();
            break;
        case WM_LBUTTONUP:
            if (ClickPending) ClickReady = true;
            if (ClickPending && !clickTimer_->Active()) {
                ClickPending = false;
                ClickReady = false;
                DoClick();
            }
            ClickPending = false;
            DoMouseUp(mbLeft, shift | ssLeft, p.x, p.y);
            break;
        case WM_LBUTTONDBLCLK:
            ClickReady = false;
            DoubleClicked = true;
            DoDblClick();
            if (popupMenu_ && popupMenu_->AutoPopup && !LeftPopup) {
                tk::TMenuItem* items = popupMenu_->Items();
                for (int i = 0; i < items->Count(); ++i) {
                    if (items->Items(i)->Default) {
                        items->Items(i)->Click();
                        break;
                    }
                }
            }
            break;
        case WM_RBUTTONDOWN:
            DoMouseDown(mbRight, shift | ssRight, p.x, p.y);
            ShowTrayMenu();
            break;
        case WM_RBUTTONUP: DoMouseUp(mbRight, shift | ssRight, p.x, p.y); break;
        case WM_MBUTTONDOWN: DoMouseDown(mbMiddle, shift | ssMiddle, p.x, p.y); break;
        case WM_MBUTTONUP: DoMouseUp(mbMiddle, shift | ssMiddle, p.x, p.y); break;
        default: break;
    }
}

void TTrayIcon::ShowTrayMenu() {
    POINT p{};
    if (!popupMenu_ || !popupMenu_->AutoPopup || !::GetCursorPos(&p)) return;
    // Without the foreground the menu would not close when the user clicks elsewhere.
    if (tk::Application) {
        ::SetForegroundWindow(tk::Application->Handle());
        tk::Application->ProcessMessages();
    }
    popupMenu_->PopupComponent = this;
    popupMenu_->Popup(p.x, p.y);
    // Lets the owner's queue move on so the next click on the icon opens the menu again.
    if (HWND owner = OwnerWindow()) ::PostMessageA(owner, WM_NULL, 0, 0);
}

LRESULT TTrayIcon::ApplicationWindowHook(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam) {
    if (Message == WM_SIZE && wParam == SIZE_MINIMIZED && MinimizeToTray) {
        HandleMinimize();
    } else if (Message == WM_WINDOWPOSCHANGED && StartupPending && tk::Application->MainForm()) {
        // The main window is never an MDI parent: only the flag is cleared.
        StartupPending = false;
    } else if (TaskbarCreatedMessage() != 0 && Message == TaskbarCreatedMessage() && iconVisible_) {
        AddTrayIcon();
    }
    return tk::TWindowSubclass::CallPrevious(Window, Message, wParam, lParam);
}

LRESULT TTrayIcon::OwnerWindowHook(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam) {
    if (Message == WM_SHOWWINDOW && wParam == 1 && lParam == 0) {
        HWND app = tk::Application->Handle();
        ::ShowWindow(app, SW_RESTORE);
        ::SetForegroundWindow(app);
        ::SetForegroundWindow(Window);
    } else if (Message == WM_ACTIVATE && (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE)) {
        if (HWND active = tk::ScreenActiveControl()) {
            HWND parent = ::GetParent(active);
            if (!parent) parent = active;
            if (parent != reinterpret_cast<HWND>(lParam)) ::SetFocus(active);
        }
    }
    return tk::TWindowSubclass::CallPrevious(Window, Message, wParam, lParam);
}

void TTrayIcon::CycleTimerFired(void* Self) {
    auto* self = static_cast<TTrayIcon*>(Self);
    if (!self->iconList_ || self->iconList_->Count() == 0) return;
    self->iconList_->GetIcon(self->iconIndex_, self->icon_);
    const int next = self->iconIndex_ + 1 >= self->iconList_->Count() ? 0 : self->iconIndex_ + 1;
    self->DoCycle(next);
    self->SetIconIndex(next);
}

void TTrayIcon::ClickTimerFired(void* Self) {
    auto* self = static_cast<TTrayIcon*>(Self);
    self->clickTimer_->Stop();
    if (!self->DoubleClicked && self->ClickReady) {
        self->ClickReady = false;
        self->DoClick();
    }
    self->DoubleClicked = false;
}

void TTrayIcon::AddRetryTimerFired(void* Self) {
    auto* self = static_cast<TTrayIcon*>(Self);
    if (!self->iconVisible_) {
        self->addRetryTimer_->Stop();
        return;
    }
    // An add that timed out may have reached the shell after all: then only a
    // modify succeeds. A failed try says nothing; the next one follows.
    if (self->FillNotifyData() &&
        (ShellNotifyIcon(NIM_MODIFY, &self->notifyData_) || ShellNotifyIcon(NIM_ADD, &self->notifyData_))) {
        self->addedOnce_ = true;
        self->addRetryTimer_->Stop();
        return;
    }
    if (++self->addRetries_ < kAddRetries) return;
    self->addRetryTimer_->Stop();
    // Hidden, with neither an icon nor a taskbar button, the program could
    // not be reached at all: its window is shown instead. A disabled icon
    // (the program exits) brings nothing back, as its clicks do not.
    tk::TForm* main = tk::Application ? tk::Application->MainForm() : nullptr;
    if (!self->Enabled || !main || ::IsWindowVisible(main->Handle())) return;
    if (tk::Application->IsMinimized())
        tk::Application->Restore();
    else
        main->Show();
}

void TTrayIcon::ExitTimerFired(void* Self) {
    auto* self = static_cast<TTrayIcon*>(Self);
    if (self->CursorOutside) return;
    POINT p{};
    ::GetCursorPos(&p);
    if (p.x != self->LastCursorPos.x || p.y != self->LastCursorPos.y) {
        self->CursorOutside = true;
        self->DoMouseExit();
    }
}
