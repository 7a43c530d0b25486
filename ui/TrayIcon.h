// The notification-area icon: adds the application's icon to the shell,
// turns the shell's mouse notifications into events, opens a popup menu on
// the right button and, with MinimizeToTray, takes the whole application off
// the taskbar while it is minimised.
#pragma once

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"
#include "toolkit/ImgList.h"
#include "toolkit/Menus.h"
#include "toolkit/UtilWindow.h"
#include "toolkit/WindowSubclass.h"
#include "ui/SimpleTimer.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The shell's NOTIFYICONDATAA in its 488-byte (32-bit) form: a 128-byte tip and the
// balloon fields, without the later GUID and balloon icon.
struct TNotifyIconData {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    CHAR szInfo[256];
    UINT uTimeoutOrVersion;
    CHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};
#ifdef _WIN64
// The same fields with 8-byte handles and their alignment.
static_assert(sizeof(TNotifyIconData) == 504, "NOTIFYICONDATAA 504-byte layout");
#else
static_assert(sizeof(TNotifyIconData) == 488, "NOTIFYICONDATAA 488-byte layout");
#endif

// The callback message the shell sends to the handler window.
constexpr UINT TrayCallbackMessage = 0x800;

// Every shell call of the unit goes through here, so tests can record them.
using TShellNotifyIcon = BOOL(WINAPI*)(DWORD Message, TNotifyIconData* Data);
extern TShellNotifyIcon ShellNotifyIcon;

// The number registered for "TaskbarCreated" (0 if none).
UINT TaskbarCreatedMessage();
extern bool LegacyNTShell;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;

using TMouseEvent = std::function<void(tk::TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(tk::TObject* Sender, TShiftState Shift, int X, int Y)>;
using TCycleEvent = std::function<void(tk::TObject* Sender, int NextIndex)>;
using TStartupEvent = std::function<void(tk::TObject* Sender, bool& ShowMainForm)>;

class TTrayIcon : public tk::TComponent {
public:
    explicit TTrayIcon(tk::TComponent* Owner);
    ~TTrayIcon() override;

    void Loaded() override;
    void Notification(tk::TComponent* Component, tk::TOperation Operation) override;

    virtual bool UseDefaultDesignIcon() { return true; }
    virtual bool AddTrayIcon();
    virtual bool RemoveTrayIcon();
    virtual bool UpdateTrayIcon();

    bool DesignPreview() const noexcept { return designPreview_; }
    void SetDesignPreview(bool Value);
    tk::TImageList* IconList() const noexcept { return iconList_; }
    void SetIconList(tk::TImageList* Value);
    bool CycleIcons() const noexcept { return cycleIcons_; }
    void SetCycleIcons(bool Value);
    std::uint32_t CycleInterval() const noexcept { return cycleInterval_; }
    void SetCycleInterval(std::uint32_t Value);
    // When false, mouse notifications are ignored.
    bool Enabled = true;
    const std::string& Hint() const noexcept { return hint_; }
    void SetHint(const std::string& Value);
    bool ShowHint() const noexcept { return showHint_; }
    void SetShowHint(bool Value);
    tk::TIcon& Icon() noexcept { return icon_; }
    void SetIcon(const tk::TIcon& Value);
    bool IconVisible() const noexcept { return iconVisible_; }
    void SetIconVisible(bool Value);
    int IconIndex() const noexcept { return iconIndex_; }
    void SetIconIndex(int Value);
    tk::TPopupMenu* PopupMenu() const noexcept { return popupMenu_; }
    void SetPopupMenu(tk::TPopupMenu* Value);
    bool LeftPopup = false;
    bool WantEnterExitEvents() const noexcept { return wantEnterExitEvents_; }
    void SetWantEnterExitEvents(bool Value);
    bool MinimizeToTray = false;

    tk::TNotifyEvent OnClick, OnDblClick;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    tk::TNotifyEvent OnMouseEnter, OnMouseExit;
    TCycleEvent OnCycle;
    tk::TNotifyEvent OnBalloonHintClick, OnBalloonHintHide, OnBalloonHintTimeout;
    TStartupEvent OnStartup;

    // The record sent to the shell; the handler window that receives the icon's notifications.
    const TNotifyIconData& NotifyData() const noexcept { return notifyData_; }
    static HWND HandlerWindow() noexcept;

    // Retries a first add the shell refused (at logon it is often not ready)
    // every 2 s, for at most 2 minutes; runs only while it retries.
    const TSimpleTimer& AddRetryTimer() const noexcept { return *addRetryTimer_; }

    // Hides the main form and the application window (its taskbar button).
    void HideToTray();
    // Shows a balloon with a warning icon over the icon, the title cut to 63
    // characters and the text to 255. A click on it raises OnBalloonHintClick.
    bool ShowBalloonHint(const std::string& Title, const std::string& Text);

protected:
    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoCycle(int NextIndex);
    virtual void DoMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void DoMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void DoMouseMove(TShiftState Shift, int X, int Y);
    virtual void DoMouseEnter();
    virtual void DoMouseExit();
    virtual void HandleMinimize();

private:
    friend class TTrayIconHandler;
    bool FillNotifyData();
    void HandleNotification(UINT Message);
    void ShowTrayMenu();
    HWND OwnerWindow() const;
    LRESULT ApplicationWindowHook(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam);
    LRESULT OwnerWindowHook(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam);
    static void CycleTimerFired(void* Self);
    static void ClickTimerFired(void* Self);
    static void ExitTimerFired(void* Self);
    static void AddRetryTimerFired(void* Self);

    // Holds the icon's reference on the shared handler window; declared
    // first, so it is released last, after the hooks are undone.
    tk::TSharedUtilityWindow::TReference handlerReference_;
    TNotifyIconData notifyData_{};
    std::unique_ptr<TSimpleTimer> cycleTimer_, clickTimer_, exitTimer_, addRetryTimer_;
    // Whether the shell has ever taken the icon, and whether the retries of
    // the first add have begun (they run once).
    bool addedOnce_ = false;
    bool addRetried_ = false;
    int addRetries_ = 0;
    tk::TIcon icon_;
    tk::TImageList* iconList_ = nullptr;
    tk::TPopupMenu* popupMenu_ = nullptr;
    std::string hint_;
    std::uint32_t cycleInterval_ = 0;
    int iconIndex_ = 0;
    bool designPreview_ = false;
    bool cycleIcons_ = false;
    bool showHint_ = true;
    bool iconVisible_ = false;
    bool wantEnterExitEvents_ = false;

    bool ClickPending = false;
    bool ClickReady = false;
    bool DoubleClicked = false;
    bool CursorOutside = true;
    POINT LastCursorPos{};
    bool PreviewSwitching = false;
    bool StartupPending = true;

    // The application window's and the owner's window's messages, seen
    // first by the icon; removed in the destructor.
    std::unique_ptr<tk::TWindowSubclass> appHook_, ownerHook_;
    static std::unique_ptr<tk::TWindowSubclass> InstallHook(HWND Window, tk::TWindowSubclass::Handler Handler);
};
