// The notification-area icon over a recorded shell, on a running application
// whose main form owns an icon set up as the program's.
#include "toolkit/Forms.h"
#include "toolkit/Menus.h"
#include "toolkit/MessageFilter.h"
#include "ui/TrayIcon.h"

#include "tests/BoxWatcher.h"
#include "tests/LoopSteps.h"
#include "tests/Pump.h"
#include "tests/ScopedOverride.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct ShellCall {
    DWORD action;
    UINT id;
    UINT flags;
    std::string tip;
    HICON icon;
    LONG_PTR watchedProc; // window procedure of the watched window at the time of the call
    LONG_PTR appProc;     // and of the application window
};

// The shell as the icons see it: a record of every call, and the set of
// icons present, so that adding a present icon or removing an absent one fails.
struct FakeShell {
    std::vector<ShellCall> calls;
    std::set<UINT> present;
    HWND watched = nullptr;
    // Adds refused before the shell takes one, as at logon before it is ready.
    int refuseAdds = 0;

    std::vector<ShellCall> CallsFor(UINT id) const {
        std::vector<ShellCall> result;
        for (const ShellCall& c : calls)
            if (c.id == id) result.push_back(c);
        return result;
    }
};
FakeShell shell;

BOOL WINAPI RecordShellCall(DWORD action, TNotifyIconData* data) {
    EXPECT_EQ(data->cbSize, sizeof(void*) == 8 ? 504u : 488u);
    EXPECT_EQ(data->szTip[127], '\0');
    shell.calls.push_back({action, data->uID, data->uFlags, data->szTip, data->hIcon,
                           shell.watched ? ::GetWindowLongPtrA(shell.watched, GWLP_WNDPROC) : 0,
                           ::GetWindowLongPtrA(tk::Application->Handle(), GWLP_WNDPROC)});
    switch (action) {
        case NIM_ADD: return shell.refuseAdds > 0 ? (--shell.refuseAdds, FALSE) : shell.present.insert(data->uID).second;
        case NIM_MODIFY: return shell.present.count(data->uID) != 0;
        case NIM_DELETE: return shell.present.erase(data->uID) != 0;
        default: return FALSE;
    }
}


// The program's main window, reduced to its tray icon and menu.
class TTestMainForm : public tk::TForm {
public:
    explicit TTestMainForm(tk::TComponent* Owner) : tk::TForm(Owner, "TTestMainForm") {
        SetBounds(100, 100, 300, 200);
        pmTray = new tk::TPopupMenu(this);
        miOpen = new tk::TMenuItem(this, "&Open/Hide");
        miOpen->Default = true;
        miOpen->OnClick = [this](tk::TObject* s) { tiTrayClick(s); };
        N2 = new tk::TMenuItem(this, "-");
        miExit = new tk::TMenuItem(this, "E&xit");
        pmTray->Items()->Add(miOpen);
        pmTray->Items()->Add(N2);
        pmTray->Items()->Add(miExit);

        tiTray = new TTrayIcon(this);
        tiTray->SetCycleInterval(0);
        tiTray->SetIconVisible(true);
        tiTray->SetIconIndex(0);
        tiTray->SetPopupMenu(pmTray);
        tiTray->MinimizeToTray = true;
        tiTray->OnClick = [this](tk::TObject* s) { tiTrayClick(s); };
        OnCreate = [this](tk::TObject*) {
            tiTray->SetIcon(tk::Application->Icon());
            tiTray->SetHint(tk::Application->Title().substr(0, 255));
        };
    }

    void tiTrayClick(tk::TObject*) {
        ++toggles;
        if (::IsIconic(tk::Application->Handle()))
            tk::Application->Restore();
        else
            tk::Application->Minimize();
    }

    tk::TPopupMenu* pmTray;
    tk::TMenuItem* miOpen;
    tk::TMenuItem* N2;
    tk::TMenuItem* miExit;
    TTrayIcon* tiTray;
    int toggles = 0;
};

TTestMainForm* frmMain = nullptr;
std::vector<ShellCall> creationCalls;

struct FilterCall {
    HWND window;
    UINT message;
    DWORD action;
};
std::vector<FilterCall> filterCalls;
BOOL WINAPI RecordFilterCall(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
    filterCalls.push_back({window, message, action});
    return TRUE;
}

class TrayEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        recordShell_ = std::make_unique<ScopedOverride<TShellNotifyIcon>>(ShellNotifyIcon, &RecordShellCall);
        recordFilter_ = std::make_unique<ScopedOverride<tk::TChangeWindowMessageFilterEx>>(
            tk::ChangeWindowMessageFilterExProc, &RecordFilterCall);
        application_ = new tk::TApplication;
        application_->Initialize();
        application_->SetTitle("Brackwater");
        application_->CreateForm(frmMain);
        frmMain->Show();
        creationCalls = shell.calls;
        Pump(50);
    }
    void TearDown() override {
        tk::TComponent::Free(application_);
        recordFilter_.reset();
        recordShell_.reset();
    }

private:
    std::unique_ptr<ScopedOverride<TShellNotifyIcon>> recordShell_;
    std::unique_ptr<ScopedOverride<tk::TChangeWindowMessageFilterEx>> recordFilter_;
    tk::TApplication* application_ = nullptr;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new TrayEnvironment);

void Notify(TTrayIcon* icon, UINT mouseMessage) {
    ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, icon->NotifyData().uID, mouseMessage);
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        shell.calls.clear();
        shell.watched = nullptr;
        icon = new TTrayIcon(nullptr);
        icon->OnClick = [this](tk::TObject* s) { Log(s, "click"); };
        icon->OnMouseDown = [this](tk::TObject* s, TMouseButton b, TShiftState shift, int, int) {
            Log(s, std::string("down") + ButtonName(b, shift));
        };
        icon->OnMouseUp = [this](tk::TObject* s, TMouseButton b, TShiftState shift, int, int) {
            Log(s, std::string("up") + ButtonName(b, shift));
        };
        icon->OnMouseMove = [this](tk::TObject* s, TShiftState, int, int) { Log(s, "move"); };
        icon->OnBalloonHintHide = [this](tk::TObject* s) { Log(s, "balloon-hide"); };
        icon->OnBalloonHintTimeout = [this](tk::TObject* s) { Log(s, "balloon-timeout"); };
        icon->OnBalloonHintClick = [this](tk::TObject* s) { Log(s, "balloon-click"); };
        menu = new tk::TPopupMenu(nullptr);
        first = new tk::TMenuItem(nullptr, "First");
        second = new tk::TMenuItem(nullptr, "Second");
        second->Default = true;
        first->OnClick = [this](tk::TObject*) { events.push_back("first"); };
        second->OnClick = [this](tk::TObject*) { events.push_back("default"); };
        menu->Items()->Add(first);
        menu->Items()->Add(second);
        menu->OnPopup = [this](tk::TObject*) {
            events.push_back("popup");
            // The menu loop blocks until the menu closes: close it from inside.
            menuSteps.Then([] { ::EndMenu(); }, MenuOpen);
        };
        icon->SetPopupMenu(menu);
    }
    void TearDown() override {
        tk::TComponent::Free(icon);
        tk::TComponent::Free(first);
        tk::TComponent::Free(second);
        tk::TComponent::Free(menu);
    }

    void Log(tk::TObject* sender, const std::string& event) {
        EXPECT_EQ(sender, icon);
        events.push_back(event);
    }
    static std::string ButtonName(TMouseButton b, TShiftState shift) {
        switch (b) {
            case mbLeft: return (shift & ssLeft) ? "(left)" : "(left?)";
            case mbRight: return (shift & ssRight) ? "(right)" : "(right?)";
            case mbMiddle: return (shift & ssMiddle) ? "(middle)" : "(middle?)";
        }
        return "";
    }
    void Send(std::initializer_list<UINT> messages) {
        for (UINT m : messages) Notify(icon, m);
    }

    TTrayIcon* icon = nullptr;
    tk::TPopupMenu* menu = nullptr;
    LoopSteps menuSteps;
    tk::TMenuItem* first = nullptr;
    tk::TMenuItem* second = nullptr;
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

TEST(TrayIconCreation, AddsTheProgramsIconThenGivesItTheApplicationsIconAndTitle) {
    const UINT id = frmMain->tiTray->NotifyData().uID;
    std::vector<ShellCall> calls;
    for (const ShellCall& c : creationCalls)
        if (c.id == id) calls.push_back(c);
    ASSERT_FALSE(calls.empty());
    const auto firstAdd = std::find_if(calls.begin(), calls.end(), [](const ShellCall& c) { return c.action == NIM_ADD; });
    ASSERT_NE(firstAdd, calls.end());
    EXPECT_EQ(firstAdd->tip, "");
    EXPECT_EQ(firstAdd->flags, 7u);
    EXPECT_EQ(calls.back().action, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(calls.back().tip, "Brackwater");
    EXPECT_NE(calls.back().icon, nullptr);

    const TNotifyIconData& data = frmMain->tiTray->NotifyData();
    EXPECT_EQ(data.hWnd, TTrayIcon::HandlerWindow());
    EXPECT_EQ(data.uCallbackMessage, 0x800u);
    EXPECT_TRUE(shell.present.count(id));
}

TEST_F(TrayIconTest, TipIsTheHintCutTo127CharactersOrEmpty) {
    struct Case {
        std::string hint;
        bool showHint;
        std::string tip;
    };
    const std::string longHint(200, 'h');
    for (const Case& c : {Case{longHint, true, longHint.substr(0, 127)}, Case{std::string(127, 'x'), true, std::string(127, 'x')},
                          Case{std::string(128, 'y'), true, std::string(127, 'y')}, Case{"", true, ""},
                          Case{"Brackwater", false, ""}, Case{"Brackwater", true, "Brackwater"}}) {
        icon->SetShowHint(c.showHint);
        icon->SetHint(c.hint);
        ASSERT_FALSE(shell.calls.empty());
        EXPECT_EQ(shell.calls.back().action, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(shell.calls.back().tip, c.tip) << c.hint.size() << " " << c.showHint;
    }
    icon->SetHint(std::string(300, 'z'));
    EXPECT_EQ(icon->Hint().size(), 255u);
}

TEST_F(TrayIconTest, RightButtonOpensTheMenuOnThePressAfterMouseDown) {
    Notify(icon, WM_RBUTTONDOWN);
    EXPECT_EQ(events, (Events{"down(right)", "popup"}));
    EXPECT_EQ(menu->PopupComponent, icon);
    Notify(icon, WM_RBUTTONUP);
    EXPECT_EQ(events, (Events{"down(right)", "popup", "up(right)"}));

    // Without AutoPopup, or without a menu, nothing opens.
    events.clear();
    menu->AutoPopup = false;
    Send({WM_RBUTTONDOWN, WM_RBUTTONUP});
    menu->AutoPopup = true;
    icon->SetPopupMenu(nullptr);
    Send({WM_RBUTTONDOWN, WM_RBUTTONUP});
    EXPECT_EQ(events, (Events{"down(right)", "up(right)", "down(right)", "up(right)"}));
}

TEST_F(TrayIconTest, LeftPopupOpensTheMenuOnALeftPressAndKeepsTheDefaultItemOnADoubleClick) {
    icon->LeftPopup = true;
    Send({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    EXPECT_EQ(events, (Events{"down(left)", "popup", "click", "up(left)", "up(left)"}));
}

TEST_F(TrayIconTest, WithoutDoubleClickHandlerTheClickComesAtTheReleaseBeforeMouseUp) {
    struct Case {
        std::vector<UINT> messages;
        Events expected;
    };
    const std::vector<Case> cases = {
        {{WM_LBUTTONDOWN, WM_LBUTTONUP}, {"down(left)", "click", "up(left)"}},
        // The release ending a double click gives no click; the menu's default item is clicked.
        {{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
         {"down(left)", "click", "up(left)", "default", "up(left)"}},
        // A release without a press on the icon is no click.
        {{WM_LBUTTONUP}, {"up(left)"}},
        {{WM_MBUTTONDOWN, WM_MBUTTONUP}, {"down(middle)", "up(middle)"}},
        {{WM_MOUSEMOVE}, {"move"}},
    };
    for (const Case& c : cases) {
        events.clear();
        for (UINT m : c.messages) Notify(icon, m);
        EXPECT_EQ(events, c.expected) << c.messages.size();
    }
}

TEST_F(TrayIconTest, WithDoubleClickHandlerADoubleClickGivesNoClick) {
    icon->OnDblClick = [this](tk::TObject* s) { Log(s, "dblclick"); };
    const DWORD settle = ::GetDoubleClickTime() + 300;

    Send({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    Pump(settle);
    EXPECT_EQ(events, (Events{"down(left)", "up(left)", "dblclick", "default", "up(left)"}));

    // A single click is delivered once the double-click time has passed.
    events.clear();
    Send({WM_LBUTTONDOWN, WM_LBUTTONUP});
    EXPECT_EQ(events, (Events{"down(left)", "up(left)"}));
    EXPECT_TRUE(PumpUntil([&] { return events.size() == 3; }, settle + 500));
    EXPECT_EQ(events, (Events{"down(left)", "up(left)", "click"}));
}

TEST_F(TrayIconTest, DisabledIconIgnoresTheMouseButNotBalloons) {
    icon->Enabled = false;
    Send({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
          WM_MBUTTONDOWN, WM_MBUTTONUP});
    EXPECT_TRUE(events.empty());
    Send({WM_USER + 3, WM_USER + 4, WM_USER + 5, WM_USER + 6});
    EXPECT_EQ(events, (Events{"balloon-hide", "balloon-timeout", "balloon-click"}));
}

TEST_F(TrayIconTest, NotificationForNoLiveIconIsIgnored) {
    TTrayIcon* gone = new TTrayIcon(nullptr);
    const UINT goneId = gone->NotifyData().uID;
    tk::TComponent::Free(gone);
    ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, goneId, WM_LBUTTONDOWN);
    ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, 0x12345u, WM_RBUTTONDOWN);
    EXPECT_TRUE(events.empty());
    // The handler window keeps running after a close request.
    EXPECT_EQ(::SendMessageA(TTrayIcon::HandlerWindow(), WM_CLOSE, 0, 0), 1);
    EXPECT_TRUE(::IsWindow(TTrayIcon::HandlerWindow()));
}

TEST_F(TrayIconTest, EnterAndExitEventsFollowTheCursor) {
    icon->OnMouseEnter = [this](tk::TObject* s) { Log(s, "enter"); };
    icon->OnMouseExit = [this](tk::TObject* s) { Log(s, "exit"); };
    icon->SetWantEnterExitEvents(true);
    // Wherever the cursor is: the icon only notices that it moved.
    POINT at{};
    ASSERT_TRUE(::GetCursorPos(&at));
    Notify(icon, WM_MOUSEMOVE);
    Notify(icon, WM_MOUSEMOVE);
    Pump(100);
    EXPECT_EQ(events, (Events{"enter", "move", "move"}));
    const int away = at.x > ::GetSystemMetrics(SM_CXSCREEN) / 2 ? -60 : 60;
    ASSERT_TRUE(::SetCursorPos(at.x + away, at.y));
    EXPECT_TRUE(PumpUntil([&] { return events.size() == 4; }, 1000));
    EXPECT_EQ(events, (Events{"enter", "move", "move", "exit"}));
    Notify(icon, WM_MOUSEMOVE);
    EXPECT_EQ(events.back(), "move");
    EXPECT_EQ(events[events.size() - 2], "enter");
}

TEST_F(TrayIconTest, ShellRestartBringsBackOnlyVisibleIconsAsTheyWere) {
    ASSERT_NE(TaskbarCreatedMessage(), 0u);
    // Let through to the window that hears it, for a program run as administrator.
    ASSERT_FALSE(filterCalls.empty());
    EXPECT_EQ(filterCalls[0].window, tk::Application->Handle());
    EXPECT_EQ(filterCalls[0].message, TaskbarCreatedMessage());
    EXPECT_EQ(filterCalls[0].action, static_cast<DWORD>(MSGFLT_ALLOW));
    icon->SetIcon(tk::Application->Icon());
    icon->SetHint("hidden icon");
    icon->SetIconVisible(false);
    const UINT mainId = frmMain->tiTray->NotifyData().uID;
    const HICON mainIcon = frmMain->tiTray->Icon().Handle();

    // The shell restarts with an empty notification area.
    shell.present.clear();
    shell.calls.clear();
    ::SendMessageA(tk::Application->Handle(), TaskbarCreatedMessage(), 0, 0);

    const std::vector<ShellCall> mainCalls = shell.CallsFor(mainId);
    ASSERT_EQ(mainCalls.size(), 1u);
    EXPECT_EQ(mainCalls[0].action, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(mainCalls[0].tip, "Brackwater");
    EXPECT_EQ(mainCalls[0].icon, mainIcon);
    EXPECT_TRUE(shell.CallsFor(icon->NotifyData().uID).empty());
    EXPECT_TRUE(shell.present.count(mainId));
}

// A first add the shell refuses is tried again on the retry timer, a modify
// first; after two minutes of failures a hidden window is shown instead.
TEST_F(TrayIconTest, RefusedFirstAddIsRetriedAndAWindowWithoutIconIsShown) {
    for (const auto& [refusals, ticks] : {std::pair{3, 3}, {1000, 60}}) {
        SCOPED_TRACE(refusals);
        tk::Application->Minimize();
        const tk::ScopeGuard restore([] { tk::Application->Restore(); });
        auto* retried = new TTrayIcon(nullptr);
        const tk::ScopeGuard free([&] { tk::TComponent::Free(retried); });
        retried->SetHint("retried");
        shell.calls.clear();
        shell.refuseAdds = refusals;
        retried->SetIconVisible(true);
        for (int i = 0; i < ticks; ++i)
            ::SendMessageA(TSimpleTimerHandler::Window(), WM_TIMER, retried->AddRetryTimer().Id, 0);
        shell.refuseAdds = 0;
        EXPECT_FALSE(retried->AddRetryTimer().Active());
        const std::vector<ShellCall> calls = shell.CallsFor(retried->NotifyData().uID);
        ASSERT_EQ(calls.size(), 1u + 2 * ticks);
        for (std::size_t i = 1; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].action, static_cast<DWORD>(i % 2 ? NIM_MODIFY : NIM_ADD)) << i;
        EXPECT_EQ(calls.back().tip, "retried");
        const bool added = refusals == 3;
        EXPECT_EQ(shell.present.count(retried->NotifyData().uID), added ? 1u : 0u);
        EXPECT_EQ(::IsWindowVisible(frmMain->Handle()) != FALSE, !added);
    }
}

TEST(TrayIconLifetime, IconLeavesTheShellBeforeTheWindowProceduresAreRestored) {
    auto* form = new tk::TForm(tk::Application, "TTrayOwnerForm");
    const HWND app = tk::Application->Handle();
    const LONG_PTR formProc = ::GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC);
    const LONG_PTR appProc = ::GetWindowLongPtrA(app, GWLP_WNDPROC);

    auto* icon = new TTrayIcon(form);
    const UINT id = icon->NotifyData().uID;
    icon->SetIconVisible(true);
    const LONG_PTR hookedFormProc = ::GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC);
    const LONG_PTR hookedAppProc = ::GetWindowLongPtrA(app, GWLP_WNDPROC);
    EXPECT_NE(hookedFormProc, formProc);
    // The application window may carry the main window's icon's subclass
    // already, so its procedure need not change here.

    shell.calls.clear();
    shell.watched = form->Handle();
    tk::TComponent::Free(icon);
    const std::vector<ShellCall> calls = shell.CallsFor(id);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().action, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls.front().watchedProc, hookedFormProc);
    EXPECT_EQ(calls.front().appProc, hookedAppProc);
    EXPECT_FALSE(shell.present.count(id));
    EXPECT_EQ(::GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC), formProc);
    EXPECT_EQ(::GetWindowLongPtrA(app, GWLP_WNDPROC), appProc);
    shell.watched = nullptr;
    tk::TComponent::Free(form);
}

TEST(TrayIconLifetime, IconsDestroyedOutOfOrderLeaveAWorkingApplicationWindow) {
    const HWND app = tk::Application->Handle();
    auto* first = new TTrayIcon(nullptr);
    auto* second = new TTrayIcon(nullptr);
    tk::TComponent::Free(first);
    char title[32] = {};
    ::SendMessageA(app, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title));
    EXPECT_STREQ(title, "Brackwater");
    tk::TComponent::Free(second);
    ::SendMessageA(app, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title));
    EXPECT_STREQ(title, "Brackwater");
}

bool AppWindowVisible() {
    return ::IsWindowVisible(tk::Application->Handle()) != FALSE;
}

TEST(TrayIconMinimise, MinimisingHidesMainFormAndTaskbarButtonAndKeepsTheIcon) {
    ASSERT_TRUE(::IsWindowVisible(frmMain->Handle()));
    ASSERT_TRUE(AppWindowVisible());
    const UINT id = frmMain->tiTray->NotifyData().uID;
    shell.calls.clear();

    tk::Application->Minimize();
    Pump(50);
    EXPECT_FALSE(::IsWindowVisible(frmMain->Handle()));
    EXPECT_FALSE(AppWindowVisible());
    EXPECT_TRUE(shell.present.count(id));
    for (const ShellCall& c : shell.CallsFor(id)) EXPECT_NE(c.action, static_cast<DWORD>(NIM_DELETE));

    // A click on the icon brings everything back.
    Notify(frmMain->tiTray, WM_LBUTTONDOWN);
    Notify(frmMain->tiTray, WM_LBUTTONUP);
    EXPECT_TRUE(PumpUntil([] { return ::IsWindowVisible(frmMain->Handle()) && AppWindowVisible(); }, 1000));
    EXPECT_FALSE(::IsIconic(tk::Application->Handle()));
    EXPECT_TRUE(shell.present.count(id));
}

TEST(TrayIconMinimise, DoubleClickTogglesTwice) {
    ASSERT_TRUE(::IsWindowVisible(frmMain->Handle()));
    const int before = frmMain->toggles;
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) Notify(frmMain->tiTray, m);
    Pump(100);
    EXPECT_EQ(frmMain->toggles, before + 2);
    EXPECT_TRUE(::IsWindowVisible(frmMain->Handle()));
    EXPECT_TRUE(AppWindowVisible());
}

} // namespace
