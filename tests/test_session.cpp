// The whole program in this process, as WinMain builds it, at its edges: the
// Windows session ending while a modal loop is open, and a settings save that
// fails at exit, and a second start of the program. Each test runs its own
// application and message loop.
#include "sim/SimControl.h"
#include "tests/BoxWatcher.h"
#include "tests/LoopSteps.h"
#include "tests/Processes.h"
#include "tests/Pump.h"
#include "tests/ScopedOverride.h"
#include "tests/SimRecords.h"
#include "tests/TestRegistry.h"
#include "toolkit/Forms.h"
#include "toolkit/Registry.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"
#include "ui/SingleInstance.h"
#include "ui/TrayIcon.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shellapi.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const unsigned char kMac[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};

// A write that fails for one value name, as a key the user may not write would.
std::string g_refusedValue;
LONG WINAPI RefuseOneWrite(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    if (name && g_refusedValue == name) return ERROR_ACCESS_DENIED;
    return ::RegSetValueExA(key, name, reserved, type, data, size);
}

tk::UniqueKernelHandle StartBrackwater() { return StartProcess(BinFolder() + "Brackwater.exe"); }
std::optional<DWORD> RunBrackwater() { return RunProcess(BinFolder() + "Brackwater.exe"); }

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteKey();
        SimReset();
        SimAddAdapter("\\DEVICE\\{A1}", "LAN", kMac, 0, 1500);
        SimAddAdapter("\\DEVICE\\{B2}", "Dial-up", kMac, 0, 1400);
        // The program starts filtering the remembered adapter, minimised.
        SetString("FilteredAdapter", "\\DEVICE\\{B2}");
    }
    void TearDown() override {
        app.reset();
        frmSettings = nullptr;
        frmAbout = nullptr;
        g_refusedValue.clear();
        EXPECT_EQ(SimAdapterMode(2), 0u);
        DeleteKey();
    }
    // What WinMain does before its message loop.
    void StartProgram() {
        app = std::make_unique<tk::TApplication>();
        app->Initialize();
        app->SetTitle("Brackwater");
        app->CreateForm(frmMain);
        app->CreateForm(frmAbout);
        app->CreateForm(frmSettings);
        ASSERT_TRUE(frmMain->Filter);
        ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    }
    // Windows asks every top-level window, the application window first here,
    // and then tells every one that the session ends.
    void EndSession() {
        const HWND windows[2] = {app->Handle(), frmMain->Handle()};
        for (HWND w : windows) EXPECT_TRUE(::SendMessageA(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        for (HWND w : windows) ::SendMessageA(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    }
    std::unique_ptr<tk::TApplication> app;
};

TEST_F(SessionTest, SessionEndInsideAModalLoopSavesStopsAndDestroysAfterTheLoopsUnwind) {
    struct Row {
        const char* name;
        std::function<void()> open;  // enters a modal loop and returns when it has ended
        std::function<bool()> isOpen;
    };
    auto boxOpen = [] { return !VisibleBoxes().empty(); };
    bool menuOpen = false;
    const Row rows[] = {
        {"Settings dialog", [] { frmMain->btnSettings->Click(); },
         [] { return frmSettings->Modal() && ::IsWindowVisible(frmSettings->Handle()); }},
        {"exit confirmation", [] { frmMain->miExit->Click(); }, boxOpen},
        {"tray menu",
         [] {
             ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, frmMain->tiTray->NotifyData().uID,
                            WM_RBUTTONDOWN);
         },
         [&] { return menuOpen; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        StartProgram();
        frmMain->pmTray->OnPopup = [&](tk::TObject*) { menuOpen = true; };
        bool stoppedInside = false, loopsLeft = false;
        std::string savedInside, logTail;
        LoopSteps steps;
        steps
            .Then([&] {
                row.open();
                // Back from the modal loop: the forms it used are still there.
                loopsLeft = frmMain && ::IsWindow(frmMain->Handle());
            })
            .Then(
                [&] {
                    EndSession();
                    // Done before WM_ENDSESSION returned: the process may end now.
                    stoppedInside = SimAdapterMode(2) == 0 && !frmMain->Filter;
                    savedInside = GetString("FilteredAdapter");
                    logTail = CallLog();
                },
                row.isOpen);
        app->Run();
        EXPECT_TRUE(steps.Done());
        EXPECT_TRUE(stoppedInside);
        EXPECT_TRUE(loopsLeft);
        EXPECT_EQ(frmMain, nullptr);  // destroyed by Run once the loops had unwound
        // Saved once, while the adapter was still named: a second save after
        // Disable would have stored an empty name.
        EXPECT_EQ(savedInside, "\\DEVICE\\{B2}");
        EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
        EXPECT_TRUE(logTail.ends_with("SetAdapterMode SetPacketEvent CloseFilterDriver")) << logTail;
        TearDown();
        menuOpen = false;
    }
}

TEST_F(SessionTest, FailedSaveAtExitStopsFirstThenShowsTheErrorUntilClosed) {
    SetDword("ExitConfirmation", 0);
    g_refusedValue = "WindowTop";
    const ScopedOverride refuse(tk::RegSetValueExProc, &RefuseOneWrite);
    // The mode of adapter 2 while the box is up.
    BoxWatcher boxes(IDOK, [] { return static_cast<unsigned long>(SimAdapterMode(2)); });
    StartProgram();
    LoopSteps steps;
    steps.Then([] { frmMain->miExit->Click(); });
    app->Run();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    const BoxWatcher::Box box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, "Brackwater");
    EXPECT_EQ(box.text, "Failed to set data for 'WindowTop'");
    EXPECT_EQ(box.seen, 0u);
    EXPECT_TRUE(CallLog().ends_with("SetAdapterMode SetPacketEvent CloseFilterDriver"));
}

// A reset refused three times at Exit is told once the settings are saved;
// Retry tries again, Cancel leaves it with exit code 3.
TEST_F(SessionTest, RefusedResetAtExitIsToldAndRetriedOrLeftWithExitCode3) {
    for (const int answer : {IDRETRY, IDCANCEL}) {
        SCOPED_TRACE(answer);
        SetUp();
        SetDword("ExitConfirmation", 0);
        BoxWatcher boxes(answer, [] { return static_cast<unsigned long>(HasValue("WindowLeft")); });
        StartProgram();
        SimRefuseResets(3);
        LoopSteps steps;
        steps.Then([] { frmMain->miExit->Click(); });
        app->Run();
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Brackwater");
        EXPECT_EQ(boxes.Boxes()[0].text, "Brackwater could not return (2) Dial-up to normal mode. It may stay cut off "
                                         "from the network until it is disabled and enabled again in Network "
                                         "Connections, or until Windows restarts.");
        EXPECT_EQ(boxes.Boxes()[0].seen, 1u) << "saved first";
        EXPECT_EQ(app->ExitCode, answer == IDCANCEL ? 3 : 0);
        EXPECT_EQ(SimAdapterMode(2), answer == IDCANCEL ? 2u : 0u);
        SimRemoveAdapter(2);
        SimRestoreAdapter(2);
        TearDown();
    }
}

// The failed save's box serves messages while the window is hidden: the tray
// and Enable must not bring the window back or start a worker.
TEST_F(SessionTest, NothingShowsTheWindowOrStartsAWorkerOnceExitHasBegun) {
    SetDword("ExitConfirmation", 0);
    g_refusedValue = "WindowTop";
    const ScopedOverride refuse(tk::RegSetValueExProc, &RefuseOneWrite);
    StartProgram();
    ASSERT_FALSE(::IsWindowVisible(frmMain->Handle()));
    auto errorBox = [] { return ::FindWindowA("#32770", "Brackwater"); };
    ULONG openedMeanwhile = 1;
    bool workerStarted = true, shown = true;
    LoopSteps steps;
    steps.Then([] { frmMain->miExit->Click(); })
        .Then(
            [&] {
                const ULONG opened = SimCallCount("OpenFilterDriver");
                const UINT id = frmMain->tiTray->NotifyData().uID;
                for (UINT click : {UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONUP), UINT(NIN_BALLOONUSERCLICK)})
                    ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, id, click);
                frmMain->btnStartClick(frmMain);
                workerStarted = static_cast<bool>(frmMain->Filter);
                openedMeanwhile = SimCallCount("OpenFilterDriver") - opened;
                shown = ::IsWindowVisible(frmMain->Handle()) || !app->IsMinimized();
                ::PostMessageA(errorBox(), WM_COMMAND, IDOK, 0);
            },
            [&] { return errorBox() != nullptr; });
    app->Run();
    EXPECT_TRUE(steps.Done());
    EXPECT_FALSE(workerStarted);
    EXPECT_EQ(openedMeanwhile, 0u);
    EXPECT_FALSE(shown);
}

TEST_F(SessionTest, FailedSaveWhileTheSessionEndsAsksNothingAndGoesToTheLog) {
    g_refusedValue = "WindowTop";
    const ScopedOverride refuse(tk::RegSetValueExProc, &RefuseOneWrite);
    BoxWatcher boxes;
    StartProgram();
    std::string lastLine;
    bool stopped = false;
    LoopSteps steps;
    steps.Then([&] {
        EndSession();
        stopped = SimAdapterMode(2) == 0;
        lastLine = frmMain->mmLog->Line(frmMain->mmLog->LineCount() - 1);
    });
    app->Run();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(lastLine, "Failed to set data for 'WindowTop'");
    EXPECT_TRUE(boxes.Boxes().empty());
}

// The hand-over goes only to a window of a process that runs Brackwater.exe:
// here a first start of it, filtering in the notification area.
TEST_F(SessionTest, SecondStartBringsTheFirstBackAndEndsWithoutTouchingAnything) {
    const tk::UniqueKernelHandle process = StartBrackwater();
    ASSERT_TRUE(process);
    const tk::ScopeGuard end([&] {
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), 10000);
    });
    // This process has no windows of these classes; the first start's run
    // has begun once it is minimised.
    HWND main = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (main = ::FindWindowA("TfrmMain", nullptr)) && ::IsIconic(::FindWindowA("TApplication", nullptr)); }, 20000));
    ASSERT_FALSE(::IsWindowVisible(main));

    EXPECT_EQ(RunBrackwater(), 0u);

    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(main) != FALSE; }));
    // The second start wrote nothing (the first saves only at its exit).
    EXPECT_FALSE(HasValue("WindowLeft"));
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
}

// A mutex made by anything but a Brackwater makes a start a later one only
// with a window of this program to hand over to.
TEST(SingleInstanceTest, SquattedMutexCountsOnlyWithAWindowOfThisProgram) {
    // Without a descriptor, as a program without administrator rights makes it (Wine gives it no owner).
    const tk::UniqueKernelHandle squatted(::CreateMutexA(nullptr, FALSE, "Local\\Corvantis.Brackwater.Instance"));
    ASSERT_TRUE(squatted);
    EXPECT_TRUE(TSingleInstance().First());
    tk::TUtilityWindow answering([](HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcA(w, m, wp, lp); });
    ::SetWindowTextA(answering.Handle(), "Corvantis.Brackwater.Instance");
    EXPECT_FALSE(TSingleInstance().First());
}

// A Brackwater's mutex held by nothing that answers.
TEST(SingleInstanceTest, NoAnsweringInstanceIsSaidAndEnds) {
    // A window with the instance's title on a thread that never reads its messages.
    const tk::UniqueEvent hungReady(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const tk::UniqueEvent hungEnd(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread hung;
    tk::ScopeGuard endHung([&] {
        ::SetEvent(hungEnd.get());
        if (hung.joinable()) hung.join();
    });
    const struct {
        const char* name;
        std::function<void()> arrange;
    } rows[] = {
        {"no window", [] {}},
        {"a window that does not answer",
         [&] {
             hung = std::thread([&] {
                 tk::UniqueWindow w(::CreateWindowExA(0, "STATIC", "Corvantis.Brackwater.Instance", WS_POPUP, 0, 0, 1,
                                                      1, nullptr, nullptr, nullptr, nullptr));
                 ::SetEvent(hungReady.get());
                 ::WaitForSingleObject(hungEnd.get(), INFINITE);
             });
             ::WaitForSingleObject(hungReady.get(), INFINITE);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.arrange();
        BoxWatcher boxes;
        EXPECT_FALSE(TSingleInstance::ShowFirstInstance());
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Information");
        EXPECT_EQ(boxes.Boxes()[0].text,
                  "Brackwater is already running but does not answer. End it in Task Manager, or restart Windows, "
                  "and start Brackwater again.");
    }
}

// Brackwater.exe with the stand-in beside it and a planted ndisapi.dll on PATH
// takes the library from the system folder or from nowhere.
TEST(DriverLibraryTest, OnlyTheSystemFoldersLibraryIsTakenAndItsAbsenceIsSaid) {
    char folder[MAX_PATH] = {};
    ::GetSystemDirectoryA(folder, MAX_PATH);
    const std::string installed = std::string(folder) + "\\ndisapi.dll", aside = installed + ".aside",
                      planted = BinFolder() + "planted";
    ASSERT_TRUE(::MoveFileExA(installed.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING));
    tk::ScopeGuard putBack([&] {
        ::DeleteFileA(installed.c_str());
        ::MoveFileExA(aside.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING);
    });
    char path[32767] = {};
    ::GetEnvironmentVariableA("PATH", path, sizeof path);
    // Inherited by the program, whose loader would search it as Windows' does.
    ::SetEnvironmentVariableA("PATH", (planted + ";" + path).c_str());
    tk::ScopeGuard restorePath([&] { ::SetEnvironmentVariableA("PATH", path); });
    const struct {
        bool inSystemFolder;
        const char* text;
    } rows[] = {
        {false,
         "The NDISRD packet-filter driver is not installed: its library ndisapi.dll is not in the Windows system "
         "folder. Install the driver, then start Brackwater again."},
        {true,
         "The ndisapi.dll in the Windows system folder is not the NDISRD library Brackwater needs. Reinstall the "
         "driver, then start Brackwater again."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.inSystemFolder ? "another library of that name there" : "none in the system folder");
        DeleteKey();
        if (row.inSystemFolder) {
            ASSERT_TRUE(::CopyFileA((planted + "\\ndisapi.dll").c_str(), installed.c_str(), FALSE));
        }
        BoxWatcher watcher(IDOK, nullptr, 0);
        EXPECT_EQ(RunBrackwater(), 1u);
        const auto boxes = watcher.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Brackwater");
        EXPECT_EQ(boxes[0].text, row.text);
        EXPECT_FALSE(KeyExists()) << "no settings";
    }
}

} // namespace
