// The main window over the stand-in driver and Wine's real registry: settings
// load and save, the adapter list, Enable/Disable, the log and the ways of closing.
#include "sim/SimControl.h"
#include "tests/BoxWatcher.h"
#include "tests/Frames.h"
#include "tests/LoopSteps.h"
#include "tests/Processes.h"
#include "tests/Pump.h"
#include "tests/TestRegistry.h"
#include "toolkit/Forms.h"
#include "toolkit/Registry.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"

#include <gtest/gtest.h>

#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

const unsigned char kMac1[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};
const unsigned char kMac2[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};

std::vector<std::string> LogLines(TfrmMain* form) {
    std::vector<std::string> lines;
    for (int i = 0; i < form->mmLog->LineCount(); ++i) lines.push_back(form->mmLog->Line(i));
    return lines;
}

// Whether every pixel of the icon is a grey: the tray's sign of not filtering.
bool IsGrey(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info)) return false;
    tk::ScopeGuard bitmaps([&] {
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
    });
    BITMAP bitmap{};
    ::GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), bitmap.bmWidth, bitmap.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<RGBQUAD> pixels(static_cast<std::size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    return std::all_of(pixels.begin(), pixels.end(),
                       [](RGBQUAD p) { return p.rgbRed == p.rgbGreen && p.rgbGreen == p.rgbBlue; });
}

// The shell as the main window's tray icon calls it: what it is told, and
// the balloons among that.
struct ShellCall {
    std::string tip, title, text;
    DWORD infoFlags;
    bool grey;
};
std::vector<ShellCall> g_shellCalls, g_balloons;
BOOL WINAPI RecordShellCall(DWORD, TNotifyIconData* data) {
    g_shellCalls.push_back({data->szTip, data->szInfoTitle, data->szInfo, data->dwInfoFlags, IsGrey(data->hIcon)});
    if (data->uFlags & NIF_INFO) g_balloons.push_back(g_shellCalls.back());
    return TRUE;
}
struct RecordedShell {
    RecordedShell() {
        g_shellCalls.clear();
        g_balloons.clear();
        ShellNotifyIcon = RecordShellCall;
    }
    ~RecordedShell() { ShellNotifyIcon = saved; }
    const TShellNotifyIcon saved = ShellNotifyIcon;
};

class MainFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static tk::TApplication app;
        if (!app.Handle()) {
            app.Initialize();
            app.SetTitle("Brackwater");
        }
    }
    void SetUp() override {
        DeleteKey();
        SimReset();
        SimAddAdapter("\\DEVICE\\{A1}", "LAN", kMac1, 0, 1500);
        SimAddAdapter("\\DEVICE\\{B2}", "Dial-up", kMac2, 11, 1400);
        SimAddAdapter("\\DEVICE\\{C3}", "Tunnel", kMac2, 12, 576);
    }
    void TearDown() override {
        ExpectReleased();
        DeleteKey();
    }
    // Checked where each test and each row of a table ends: no adapter is
    // left diverted once the window has gone.
    void ExpectReleased() {
        Destroy();
        for (ULONG i = 1; i <= 3; ++i) EXPECT_EQ(SimAdapterMode(i), 0u) << "adapter " << i;
    }
    TfrmMain* Create() {
        form = new TfrmMain(tk::Application);
        form->AfterConstruction();
        return form;
    }
    void Destroy() {
        if (form) tk::TComponent::Free(form);
        form = nullptr;
    }
    TfrmMain* form = nullptr;
};

TEST_F(MainFormTest, MissingKeyGivesDefaultsAndExitStoresAllEightValues) {
    {
        BoxWatcher boxes;
        Create();
        Pump(50);
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    EXPECT_EQ(form->Left(), 100);
    EXPECT_EQ(form->Top(), 100);
    EXPECT_EQ(form->Settings().BadTTL, 1);
    EXPECT_EQ(form->Settings().NewTTL, 5);
    EXPECT_FALSE(form->Settings().Trace);
    EXPECT_EQ(form->Settings().TraceLogLen, 100);
    EXPECT_EQ(form->Settings().FilteredAdapter, "");
    EXPECT_TRUE(form->Settings().ExitConfirmation);
    EXPECT_EQ(form->WindowState(), tk::TWindowState::wsNormal);
    EXPECT_EQ(form->Caption(), "Brackwater");
    EXPECT_FALSE(form->Filter);
    Destroy();
    EXPECT_EQ(GetDword("WindowLeft"), 100u);
    EXPECT_EQ(GetDword("WindowTop"), 100u);
    EXPECT_EQ(GetDword("BadTTL"), 1u);
    EXPECT_EQ(GetDword("NewTTL"), 5u);
    EXPECT_EQ(GetDword("Trace"), 0u);
    EXPECT_EQ(GetDword("TraceLogLen"), 100u);
    EXPECT_EQ(GetString("FilteredAdapter"), "");
    EXPECT_EQ(GetDword("ExitConfirmation"), 1u);
}

TEST_F(MainFormTest, StoredValuesReadBackAsStoredAndWriteBackNormalised) {
    SetDword("WindowLeft", static_cast<DWORD>(-3000));  // off the screen, kept as it is
    SetDword("BadTTL", 300);
    SetDword("NewTTL", 7);
    SetDword("Trace", 2);
    SetDword("TraceLogLen", 12);
    SetDword("ExitConfirmation", 0);
    Create();
    EXPECT_EQ(form->Left(), -3000);
    EXPECT_EQ(form->Top(), 100);  // "WindowTop" absent
    EXPECT_EQ(form->Settings().BadTTL, 300);
    EXPECT_TRUE(form->Settings().Trace);
    EXPECT_EQ(form->Settings().TraceLogLen, 12);
    EXPECT_FALSE(form->Settings().ExitConfirmation);
    Destroy();
    EXPECT_EQ(GetDword("WindowLeft"), static_cast<DWORD>(-3000));
    EXPECT_EQ(GetDword("WindowTop"), 100u);
    EXPECT_EQ(GetDword("BadTTL"), 300u);
    EXPECT_EQ(GetDword("Trace"), 1u);
    EXPECT_EQ(GetDword("ExitConfirmation"), 0u);
}

TEST_F(MainFormTest, WrongTypeShowsExactErrorAndLeavesLaterValuesUnread) {
    struct Row {
        const char* name;
        std::function<void()> store;
        std::string message;
    };
    const Row rows[] = {
        {"BadTTL", [] { SetString("BadTTL", "x"); }, "Invalid data type for 'BadTTL'"},
        {"NewTTL", [] { SetString("NewTTL", "a longer text"); }, "Failed to get data for 'NewTTL'"},
        {"FilteredAdapter", [] { SetDword("FilteredAdapter", 1); }, "Invalid data type for 'FilteredAdapter'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteKey();
        SetDword("WindowLeft", 40);
        row.store();
        {
            BoxWatcher boxes;
            Create();
            ASSERT_TRUE(PumpUntil([&] { return !boxes.Boxes().empty(); }));
            const auto box = boxes.Boxes().front();
            EXPECT_EQ(box.caption, "Brackwater");
            EXPECT_EQ(box.text, row.message);
        }
        EXPECT_EQ(form->Left(), 40);
        EXPECT_EQ(form->WindowState(), tk::TWindowState::wsMinimized);
        EXPECT_EQ(form->Settings().ExitConfirmation, false);
        // The rest of the creation handler was skipped: no list.
        EXPECT_EQ(form->lvAdapters->Count(), 0);
        tk::TComponent::Free(form);
        form = nullptr;
    }
}

// A bad value is reported at every start until it is mended, and no exit in
// between overwrites the values the failed load never reached.
TEST_F(MainFormTest, BadValueLosesNoOtherSettingAcrossRuns) {
    struct Row {
        const char* name;
        std::function<void()> store;
        const char* bad;
        std::string message;
        std::vector<std::pair<const char*, DWORD>> keptNumbers;
    };
    const Row rows[] = {
        {"BadTTL",
         [] {
             SetString("BadTTL", "x");
             SetDword("NewTTL", 5);
             SetDword("ExitConfirmation", 1);
         },
         "BadTTL", "Invalid data type for 'BadTTL'", {{"NewTTL", 5}, {"ExitConfirmation", 1}, {"WindowLeft", 100}}},
        {"NewTTL",
         [] {
             SetDword("BadTTL", 3);
             SetString("NewTTL", "x");
             SetDword("TraceLogLen", 50);
         },
         "NewTTL", "Invalid data type for 'NewTTL'", {{"BadTTL", 3}, {"TraceLogLen", 50}, {"WindowLeft", 100}}},
        // The window keeps the edge read before it; the unread one stays as stored.
        {"WindowTop",
         [] {
             SetDword("WindowLeft", 40);
             SetString("WindowTop", "x");
         },
         "WindowTop", "Invalid data type for 'WindowTop'", {{"WindowLeft", 40}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteKey();
        row.store();
        SetString("FilteredAdapter", "\\DEVICE\\{B2}");
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            {
                BoxWatcher boxes;
                Create();
                ASSERT_TRUE(PumpUntil([&] { return !boxes.Boxes().empty(); }));
                EXPECT_EQ(boxes.Boxes().front().text, row.message);
            }
            EXPECT_FALSE(form->Filter);
            Destroy();
            EXPECT_EQ(GetString(row.bad), "x");
            EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
            EXPECT_EQ(GetDword("Trace"), 0xDEADBEEFu);  // never stored, never written
            for (const auto& [name, value] : row.keptNumbers) EXPECT_EQ(GetDword(name), value) << name;
        }
    }
}

TEST_F(MainFormTest, AdapterRowsShowPositionNameMacMediumAndMtu) {
    Create();
    ASSERT_EQ(form->lvAdapters->Count(), 3);
    struct Expected {
        const char* caption;
        const char* internal;
        const char* mac;
        const char* medium;
        int icon;
        const char* mtu;
    };
    const Expected rows[] = {
        {"(1) LAN", "\\DEVICE\\{A1}", "000C29AB01FF", "Ethernet (802.3)", 0, "1500"},
        {"(2) Dial-up", "\\DEVICE\\{B2}", "020000000002", "0x0000000B", 13, "1400"},
        {"(3) Tunnel", "\\DEVICE\\{C3}", "020000000002", "Connection-oriented WAN", 11, "576"},
    };
    for (int i = 0; i < 3; ++i) {
        tk::TListItem* item = form->lvAdapters->Item(i);
        EXPECT_EQ(item->Caption(), rows[i].caption);
        EXPECT_EQ(item->Data, i + 1);
        EXPECT_EQ(item->SubItem(0), rows[i].internal);
        EXPECT_EQ(item->SubItem(1), rows[i].mac);
        EXPECT_EQ(item->SubItem(2), rows[i].medium);
        EXPECT_EQ(item->SubItem(3), rows[i].mtu);
        EXPECT_EQ(item->ImageIndex(), rows[i].icon);
        EXPECT_FALSE(item->Selected());
    }
    EXPECT_EQ(form->ilMedium->Count(), 14);
}

TEST_F(MainFormTest, MoreThan32AdaptersListsTheSlotsThereAre) {
    SimOverrideAdapterCount(40);
    Create();
    EXPECT_EQ(form->lvAdapters->Count(), 32);
    SimOverrideAdapterCount(0);
    form->btnListClick(form);
    EXPECT_EQ(form->lvAdapters->Count(), 0);
}

TEST_F(MainFormTest, MissingDriverShowsErrorBoxAndEmptyList) {
    SimSetDriverLoaded(FALSE);
    BoxWatcher boxes;
    Create();
    ASSERT_TRUE(PumpUntil([&] { return !boxes.Boxes().empty(); }));
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_EQ(boxes.Boxes()[0].text, "Helper driver failed to load or was not installed.");
    EXPECT_TRUE(boxes.Boxes()[0].centred);
    EXPECT_EQ(form->lvAdapters->Count(), 0);
}

TEST_F(MainFormTest, RememberedAdapterIsSelectedAndFilteredAtStart) {
    SetString("FilteredAdapter", "\\DEVICE\\{B2}");
    SetDword("Trace", 1);
    Create();
    EXPECT_EQ(form->WindowState(), tk::TWindowState::wsMinimized);
    ASSERT_TRUE(form->lvAdapters->Selected());
    EXPECT_EQ(form->lvAdapters->Selected()->Data, 2);
    ASSERT_TRUE(form->Filter);
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    SimReceiveFrame(2, std::vector<unsigned char>(60, 0).data(), 60);
    ASSERT_TRUE(PumpUntil([&] { return form->mmLog->LineCount() >= 2; }));
    const auto lines = LogLines(form);
    EXPECT_EQ(lines[0], "Filtering (2) Dial-up...");
    EXPECT_EQ(lines[1], "[trace] Packet received.");
    // An exit while filtering remembers the adapter and gives it back.
    Destroy();
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
    EXPECT_EQ(SimAdapterMode(2), 0u);
}

// Plugged in after logon: the start's worker waits for it with no row, then
// filters it under its row; Disable stops the wait like any worker.
TEST_F(MainFormTest, RememberedAdapterNotListedYetIsWaitedForAtStart) {
    const std::string internal = "\\DEVICE\\{D4}";
    // The display name the driver gives it while it is away: none, its own,
    // or the internal name itself, which is not said twice.
    const struct {
        const char* display;
        bool disable;
    } rows[] = {{nullptr, false}, {"Intel(R) PRO/1000", true}, {"\\DEVICE\\{D4}", true}};
    for (const auto& row : rows) {
        const bool disable = row.disable;
        SCOPED_TRACE(row.display ? row.display : "no display name");
        SetUp();
        RecordedShell shell;
        SetString("FilteredAdapter", internal);
        if (row.display) SimAddAdapter(internal.c_str(), row.display, kMac2, 0, 1500), SimRemoveAdapter(4);
        const std::string shown = row.display ? row.display : internal;
        const std::string named = shown == internal ? shown : shown + " (" + internal + ")";
        BoxWatcher boxes;
        Create();
        ASSERT_TRUE(PumpUntil([&] { return form->Status->Snapshot().State == TFilterState::Appearing; }));
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_EQ(LogLines(form)[0], "[info] The remembered adapter " + named + " is not in the list; filtering starts when it appears.");
        EXPECT_FALSE(form->lvAdapters->Selected());
        EXPECT_EQ(SimCallCount("SetPacketEvent"), 0u);
        form->Status->Refresh();
        EXPECT_EQ(form->lblStatus->Caption(), "Waiting for " + shown + " to appear");
        EXPECT_EQ(g_shellCalls.back().tip, "Brackwater: waiting for " + shown);
        EXPECT_EQ(form->Status->ShownMark(), TTrayMark::Waiting);
        EXPECT_TRUE(g_balloons.empty());
        if (disable) {
            form->btnStop->Click();
            EXPECT_FALSE(form->Filter);
            EXPECT_EQ(LogLines(form).back(), "Filter closed.");
            EXPECT_EQ(GetString("FilteredAdapter"), "");
            ExpectReleased();
            continue;
        }
        SimAddAdapter("\\DEVICE\\{D4}", "Phone", kMac2, 0, 1500);
        ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(4) == 2; }));
        ASSERT_TRUE(PumpUntil([&] { return form->mmLog->LineCount() == 2; }));
        EXPECT_EQ(LogLines(form)[1], "[info] The adapter is here; filtering.");
        ASSERT_TRUE(form->lvAdapters->Selected());
        EXPECT_EQ(form->lvAdapters->Selected()->Data, 4);
        form->Status->Refresh();
        EXPECT_EQ(form->lblStatus->Caption(), "Filtering (4) Phone: 0 packets, 0 changed");
        EXPECT_EQ(g_shellCalls.back().tip, "Brackwater: filtering (4) Phone, 0 changed");
        EXPECT_FALSE(g_shellCalls.back().grey);
        ExpectReleased();
        EXPECT_EQ(SimAdapterMode(4), 0u);
        EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{D4}");
    }
}

TEST_F(MainFormTest, EnableWithoutSelectionAsksOnlyWhenVisible) {
    Create();
    {
        BoxWatcher boxes;
        form->btnStartClick(form);  // not shown yet, as during start-up
        Pump(100);
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    form->Show();
    BoxWatcher boxes;
    form->btnStart->Click();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Information");
    EXPECT_EQ(boxes.Boxes()[0].text, "Please select a network adapter to filter.");
    EXPECT_FALSE(form->Filter);
}

TEST_F(MainFormTest, EnableWhileFilteringRestartsOnTheNewRowAndDisableForgets) {
    Create();
    form->lvAdapters->Item(0)->SetSelected(true);
    form->btnStart->Click();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(1) == 2; }));
    form->lvAdapters->Item(2)->SetSelected(true);
    form->btnStart->Click();
    EXPECT_EQ(SimAdapterMode(1), 0u);
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(3) == 2; }));
    EXPECT_EQ(LogLines(form), (std::vector<std::string>{"Filtering (1) LAN...", "Filter closed.",
                                                        "Filtering (3) Tunnel..."}));
    EXPECT_EQ(form->Settings().FilteredAdapter, "\\DEVICE\\{C3}");
    // In the registry at once, so that a crash does not lose it.
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{C3}");
    form->btnStop->Click();
    EXPECT_EQ(SimAdapterMode(3), 0u);
    EXPECT_FALSE(form->Filter);
    EXPECT_EQ(form->Settings().FilteredAdapter, "");
    EXPECT_EQ(GetString("FilteredAdapter"), "");
    EXPECT_EQ(LogLines(form).back(), "Filter closed.");
}

LONG WINAPI RefuseWrite(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }

// The worker finds the selected adapter by name, whatever came before it since
// the last refresh, and the list follows the adapter when it is re-listed.
TEST_F(MainFormTest, EnableFollowsTheSelectedAdapterByNameAcrossListChanges) {
    Create();
    form->lvAdapters->Item(1)->SetSelected(true);
    SimInsertAdapter(1, "\\DEVICE\\{VPN}", "VPN", kMac1, 0, 1400);
    form->btnStart->Click();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(3) == 2; }));
    for (ULONG i : {1, 2, 4}) EXPECT_EQ(SimAdapterMode(i), 0u) << "adapter " << i;
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");

    SimRemoveAdapter(3);
    SimRestoreAdapter(3);
    ::SendMessageA(form->Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    ASSERT_TRUE(PumpUntil([&] { return LogLines(form).size() == 3 && SimAdapterMode(3) == 2; }));
    EXPECT_EQ(LogLines(form), (std::vector<std::string>{
                                  "Filtering (2) Dial-up...",
                                  "[info] The adapter went away; filtering resumes when it is back.",
                                  "[info] The adapter is back; filtering again.",
                              }));
    ASSERT_EQ(form->lvAdapters->Count(), 4);
    ASSERT_TRUE(form->lvAdapters->Selected());
    EXPECT_EQ(form->lvAdapters->Selected()->Data, 3);
    EXPECT_EQ(form->lvAdapters->Selected()->SubItem(0), "\\DEVICE\\{B2}");

    // What a refresh the worker asked for finds wrong goes to the log, as
    // does a failed write; neither shows a box.
    BoxWatcher boxes;
    // The driver goes once the worker has let the adapter go, before the
    // refresh it asks for is served.
    const ULONG detached = SimCallCount("SetPacketEvent") + 1;
    SimRemoveAdapter(3);
    ::SendMessageA(form->Handle(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    WaitUntil([&] { return SimCallCount("SetPacketEvent") >= detached; }, 5000);
    SimSetDriverLoaded(FALSE);
    SimRestoreAdapter(3);
    ASSERT_TRUE(PumpUntil([&] { return LogLines(form).size() == 5; }));
    EXPECT_EQ(LogLines(form)[4], "Helper driver failed to load or was not installed.");
    EXPECT_EQ(form->lvAdapters->Count(), 0);
    SimSetDriverLoaded(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return LogLines(form).size() == 6 && form->lvAdapters->Count() == 4; }));
    tk::RegSetValueExProc = RefuseWrite;
    form->btnStop->Click();
    tk::RegSetValueExProc = ::RegSetValueExA;
    EXPECT_EQ(LogLines(form).back(), "Failed to set data for 'FilteredAdapter'");
    Pump(50);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
}

TEST_F(MainFormTest, LogKeepsTraceLogLenDisplayedLinesAfterWorkerLines) {
    SetDword("TraceLogLen", 5);
    Create();
    for (int i = 0; i < 12; ++i) {
        form->AddLogLine("line " + std::to_string(i));
        EXPECT_LE(form->mmLog->LineCount(), 5);
    }
    EXPECT_EQ(LogLines(form), (std::vector<std::string>{"line 7", "line 8", "line 9", "line 10", "line 11"}));
    // A wrapped line counts as several displayed lines: the next worker line
    // trims its parts one displayed line at a time.
    form->AddLogLine(std::string(600, 'w'));
    EXPECT_GT(form->mmLog->LineCount(), 5);
    form->AddLogLine("after");
    EXPECT_EQ(form->mmLog->LineCount(), 5);
    EXPECT_EQ(LogLines(form).back(), "after");

    // A limit below 1 keeps just the newest line.
    form->SettingsStore.Set(&TSettings::TraceLogLen, 0);
    form->AddLogLine("only");
    EXPECT_EQ(LogLines(form), std::vector<std::string>{"only"});
    form->btnClear->Click();
    EXPECT_EQ(form->mmLog->LineCount(), 0);
}

TEST_F(MainFormTest, CloseQueryAsksUnlessDisabledOrSessionEnding) {
    Create();
    form->lvAdapters->Item(0)->SetSelected(true);
    form->btnStart->Click();
    bool canClose = true;
    {
        BoxWatcher boxes(IDCANCEL);
        form->FormCloseQuery(form, canClose);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Confirm");
        EXPECT_EQ(boxes.Boxes()[0].text, "Do you really want to exit?");
    }
    EXPECT_FALSE(canClose);
    EXPECT_TRUE(form->Filter);
    EXPECT_EQ(SimAdapterMode(1), 2u);
    {
        BoxWatcher boxes(IDOK);
        form->FormCloseQuery(form, canClose);
        EXPECT_TRUE(canClose);
    }
    BoxWatcher boxes;
    form->SettingsStore.Set(&TSettings::ExitConfirmation, false);
    form->FormCloseQuery(form, canClose);
    EXPECT_TRUE(canClose);
    form->SettingsStore.Set(&TSettings::ExitConfirmation, true);
    EXPECT_EQ(::SendMessageA(form->Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_TRUE(form->EndingSession);
    form->FormCloseQuery(form, canClose);
    EXPECT_TRUE(canClose);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MainFormTest, SessionEndSavesAndStopsAtOnce) {
    Create();
    form->lvAdapters->Item(1)->SetSelected(true);
    form->btnStart->Click();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    ::SendMessageA(form->Handle(), WM_QUERYENDSESSION, 0, 0);
    ::SendMessageA(form->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(SimAdapterMode(2), 0u);
    EXPECT_EQ(GetString("FilteredAdapter"), "\\DEVICE\\{B2}");
}

// The worker writes into the log: whichever way the program got here, it is
// stopped by FormDestroy, which runs while the controls still exist.
TEST_F(MainFormTest, WorkerStartedAfterASessionEndStopsBeforeTheLogGoes) {
    for (const WPARAM ending : {WPARAM(TRUE), WPARAM(FALSE)}) {
        SCOPED_TRACE(ending ? "session ended" : "session end cancelled");
        SetDword("Trace", 1);
        Create();
        ::SendMessageA(form->Handle(), WM_QUERYENDSESSION, 0, 0);
        ::SendMessageA(form->Handle(), WM_ENDSESSION, ending, 0);
        // Past the window's own guard, which refuses Enable once the session has ended.
        form->Filter.Start(2, "\\DEVICE\\{B2}", "(2) Dial-up");
        ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
        // Not served: the worker blocks in the delivery of its first line.
        SimReceiveFrame(2, std::vector<unsigned char>(60, 0).data(), 60);
        while (SimQueueLength(2) != 0) ::SwitchToThread();
        bool stoppedByFormDestroy = false;
        std::string lastLine;
        const tk::TNotifyEvent formDestroy = form->OnDestroy;
        form->OnDestroy = [&](tk::TObject* sender) {
            formDestroy(sender);
            stoppedByFormDestroy = !form->Filter && SimAdapterMode(2) == 0;
            lastLine = LogLines(form).back();
        };
        ExpectReleased();
        EXPECT_TRUE(stoppedByFormDestroy);
        EXPECT_EQ(lastLine, "Filter closed.");
        DeleteKey();
    }
}

TEST_F(MainFormTest, TrayIconAndMenuToggleTheApplicationAndExitAsks) {
    Create();
    EXPECT_EQ(form->tiTray->Hint(), "Brackwater");
    EXPECT_TRUE(form->tiTray->IconVisible());
    EXPECT_FALSE(form->tiTray->Icon().Empty());
    EXPECT_TRUE(form->tiTray->MinimizeToTray);
    ASSERT_EQ(form->pmTray->Items()->Count(), 6);
    const char* const captions[] = {"&Open/Hide", "-", "&Enable", "&Disable", "-", "E&xit"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(form->pmTray->Items()->Items(i)->Caption, captions[i]);
    EXPECT_TRUE(form->pmTray->Items()->Items(0)->Default);

    const HWND app = tk::Application->Handle();
    ASSERT_FALSE(::IsIconic(app));
    form->miOpen->Click();
    EXPECT_TRUE(::IsIconic(app));
    form->tiTrayClick(form->tiTray);
    EXPECT_FALSE(::IsIconic(app));

    form->lvAdapters->Item(0)->SetSelected(true);
    form->btnStart->Click();
    {
        BoxWatcher boxes(IDCANCEL);
        form->miExit->Click();
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Confirm");
    }
    EXPECT_TRUE(form->Filter);
    EXPECT_TRUE(PumpUntil([] { return SimAdapterMode(1) == 2; }));
}

// Tray Enable and Disable act as the buttons, greyed where idle, refused once exit has begun.
TEST_F(MainFormTest, TrayMenuEnablesAndDisablesAsTheButtonsDo) {
    Create();
    const auto greyed = [&] {
        form->pmTray->OnPopup(form->pmTray);
        return std::make_pair(!form->miEnable->Enabled, !form->miDisable->Enabled);
    };
    EXPECT_EQ(greyed(), std::make_pair(true, true));  // no row, no worker
    form->lvAdapters->Item(1)->SetSelected(true);
    form->miEnable->Click();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    EXPECT_EQ(greyed(), std::make_pair(true, false));  // the row filtered
    form->miDisable->Click();
    EXPECT_EQ(GetString("FilteredAdapter"), "");
    EXPECT_EQ(greyed(), std::make_pair(false, true));
    ::SendMessageA(form->Handle(), WM_ENDSESSION, TRUE, 0);
    form->miEnable->Click();
    EXPECT_FALSE(form->Filter);
}

bool g_settingsShownIPv6 = false;

// Answers the Settings dialog from inside its modal loop; with `toggleIPv6`
// its IPv6 box is clicked first.
void AnswerSettings(LoopSteps& steps, tk::TModalResult answer, int badTTL = -1, bool toggleIPv6 = false) {
    steps.Then(
        [answer, badTTL, toggleIPv6] {
            if (badTTL >= 0) frmSettings->udBadTTL->SetPosition(badTTL);
            g_settingsShownIPv6 = frmSettings->chbRewriteIPv6->Checked();
            if (toggleIPv6) ::SendMessageA(frmSettings->chbRewriteIPv6->Handle(), BM_CLICK, 0, 0);
            frmSettings->ModalResult = answer;
        },
        [] { return frmSettings->Modal(); });
}

TEST_F(MainFormTest, SettingsDialogSaveStoresEveryValueAndCancelNothing) {
    frmSettings = new TfrmSettings(tk::Application);
    frmSettings->AfterConstruction();
    tk::ScopeGuard freeSettings([] {
        tk::TComponent::Free(frmSettings);
        frmSettings = nullptr;
    });
    SetDword("BadTTL", 300);
    SetDword("RewriteIPv6", 7);
    Create();
    DeleteKey();  // what the dialog's Save writes must be seen alone

    LoopSteps steps;
    AnswerSettings(steps, tk::mrCancel, 17);
    form->btnSettingsClick(form);
    EXPECT_EQ(form->Settings().BadTTL, 300);
    EXPECT_EQ(GetDword("BadTTL"), 0xDEADBEEFu);

    // Unchanged values: the out-of-range 300 shows as 255 and is stored so.
    AnswerSettings(steps, tk::mrOk);
    form->btnSettingsClick(form);
    EXPECT_EQ(form->Settings().BadTTL, 255);
    for (const char* name : {"WindowLeft", "WindowTop", "BadTTL", "NewTTL", "Trace", "TraceLogLen", "ExitConfirmation"})
        EXPECT_NE(GetDword(name), 0xDEADBEEFu) << name;
    EXPECT_EQ(GetDword("BadTTL"), 255u);
    EXPECT_EQ(GetDword("NewTTL"), 5u);
    EXPECT_EQ(GetString("FilteredAdapter"), "");
    EXPECT_TRUE(g_settingsShownIPv6);
    EXPECT_EQ(GetDword("RewriteIPv6"), 7u);

    // A changed box stores 0 or 1; a running worker keeps its rule until the next Enable.
    form->lvAdapters->Item(0)->SetSelected(true);
    form->btnStartClick(form);
    EXPECT_EQ(form->Filter->Options.IPv6, frame::Ipv6Rule::Rewrite);
    AnswerSettings(steps, tk::mrOk, -1, true);
    form->btnSettingsClick(form);
    EXPECT_EQ(GetDword("RewriteIPv6"), 0u);
    EXPECT_EQ(form->Filter->Options.IPv6, frame::Ipv6Rule::Rewrite);
    form->btnStartClick(form);
    EXPECT_EQ(form->Filter->Options.IPv6, frame::Ipv6Rule::Pass);
}

TEST_F(MainFormTest, StatusLineTipAndIconFollowTheWorkerOnlyWhenChanged) {
    RecordedShell shell;
    SetString("FilteredAdapter", "\\DEVICE\\{B2}");
    Create();
    EXPECT_EQ(form->lblStatus->Caption(), "Filtering (2) Dial-up: 0 packets, 0 changed");
    ASSERT_FALSE(g_shellCalls.empty());
    EXPECT_EQ(g_shellCalls.back().tip, "Brackwater: filtering (2) Dial-up, 0 changed");
    EXPECT_FALSE(g_shellCalls.back().grey);

    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    // IPv4 with TTL 1 and 64, then a frame of another kind.
    for (const auto& frame : {Ipv4(1), Ipv4(64), Ethernet(0, std::vector<std::uint8_t>(46))})
        SimReceiveFrame(2, frame.data(), static_cast<ULONG>(frame.size()));
    ASSERT_TRUE(PumpUntil([&] { return SimStackTotal(2) == 3 && form->Filter->Counts.FramesRead.load() == 3; }));
    g_shellCalls.clear();
    form->Status->Refresh();
    EXPECT_EQ(form->lblStatus->Caption(), "Filtering (2) Dial-up: 3 packets, 1 changed");
    ASSERT_EQ(g_shellCalls.size(), 1u);
    EXPECT_EQ(g_shellCalls[0].tip, "Brackwater: filtering (2) Dial-up, 1 changed");
    form->Status->Refresh();
    EXPECT_EQ(g_shellCalls.size(), 1u);

    // A stop the user asks for greys the icon and tells no balloon.
    form->btnStop->Click();
    form->Status->Refresh();
    EXPECT_EQ(form->lblStatus->Caption(), "Not filtering");
    ASSERT_FALSE(g_shellCalls.empty());
    EXPECT_EQ(g_shellCalls.back().tip, "Brackwater");
    EXPECT_TRUE(g_shellCalls.back().grey);
    EXPECT_TRUE(g_balloons.empty());

    // A reset the driver refuses at the stop is the one reason that outlives
    // Disable, until the next Enable; still no balloon.
    form->btnStart->Click();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    SimRefuseResets(SIM_EVERY);
    for (int disable = 0; disable < 2; ++disable) {
        form->btnStop->Click();
        form->Status->Refresh();
        EXPECT_EQ(form->lblStatus->Caption(), "Not filtering: Could not return the adapter to normal mode.");
    }
    EXPECT_TRUE(g_balloons.empty());
    SimRefuseResets(0);
    form->btnStart->Click();
    // Still in tunnel mode from the refused resets: the new worker is there
    // once its event is, and only then does its stop give the adapter back.
    ASSERT_TRUE(PumpUntil([] { return SimAdapterEvent(2) != nullptr; }));
    form->Status->Refresh();
    EXPECT_EQ(form->lblStatus->Caption(), "Filtering (2) Dial-up: 0 packets, 0 changed");
}

TEST_F(MainFormTest, StopUnaskedWhileHiddenShowsOneBalloonThatBringsTheWindowBack) {
    const struct {
        const char* name;
        const char* remembered;
        bool refuseMode, unplug, visible;
        const char* status;
        const char* balloon;  // none when empty: a wait resumes by itself
        bool notificationsOff = false, trayDisable = false;
    } rows[] = {
        {"ends on an error", "\\DEVICE\\{B2}", true, false, false, "Not filtering: Could not set adapter mode.",
         "Could not set adapter mode."},
        {"remembered adapter not listed", "\\DEVICE\\{GONE}", false, false, false,
         "Waiting for \\DEVICE\\{GONE} to appear", ""},
        {"adapter goes away", "\\DEVICE\\{B2}", false, true, false, "Waiting for (2) Dial-up to come back", ""},
        {"ends on an error while visible", "", true, false, true, "Not filtering: Could not set adapter mode.", ""},
        {"notifications off", "\\DEVICE\\{B2}", true, false, false, "Not filtering: Could not set adapter mode.", "", true},
        {"tray Disable refused its reset", "\\DEVICE\\{B2}", false, false, false,
         "Not filtering: Could not return the adapter to normal mode.", "Could not return the adapter to normal mode.",
         false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        SimRefuseSetAdapterMode(row.refuseMode);
        RecordedShell shell;
        if (*row.remembered) SetString("FilteredAdapter", row.remembered);
        if (row.notificationsOff) SetDword("Notifications", 0);
        Create();
        if (row.visible) {
            form->Show();
            form->lvAdapters->Item(1)->SetSelected(true);
            form->btnStart->Click();
        }
        if (row.unplug) {
            ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
            SimRemoveAdapter(2);
            ::SendMessageA(form->Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            ASSERT_TRUE(PumpUntil([&] { return form->Status->Snapshot().State == TFilterState::Waiting; }));
        } else if (row.trayDisable) {
            ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
            SimRefuseResets(SIM_EVERY);
            form->miDisable->Click();
            SimRefuseResets(0);
        } else if (form->Filter) {
            ASSERT_TRUE(PumpUntil([&] { return form->Status->Snapshot().State != TFilterState::Filtering; }));
        }
        form->Status->Refresh();
        form->Status->Refresh();
        EXPECT_EQ(form->lblStatus->Caption(), row.status);
        EXPECT_NE(form->Status->ShownMark(), TTrayMark::Filtering);
        if (!*row.balloon) {
            EXPECT_TRUE(g_balloons.empty());
        } else {
            ASSERT_EQ(g_balloons.size(), 1u);
            EXPECT_EQ(g_balloons[0].title, "Brackwater is not filtering");
            EXPECT_EQ(g_balloons[0].text, row.balloon);
            EXPECT_EQ(g_balloons[0].infoFlags, static_cast<DWORD>(NIIF_WARNING));
            tk::Application->Minimize();
            ASSERT_TRUE(::IsIconic(tk::Application->Handle()));
            ::SendMessageA(TTrayIcon::HandlerWindow(), TrayCallbackMessage, form->tiTray->NotifyData().uID,
                           NIN_BALLOONUSERCLICK);
            EXPECT_FALSE(::IsIconic(tk::Application->Handle()));
        }
        if (row.unplug) {
            SimRestoreAdapter(2);
            ::SendMessageA(form->Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            ASSERT_TRUE(PumpUntil([&] { return form->Status->Snapshot().State == TFilterState::Filtering; }));
            form->Status->Refresh();
            EXPECT_EQ(form->lblStatus->Caption(), "Filtering (2) Dial-up: 0 packets, 0 changed");
            EXPECT_FALSE(g_shellCalls.back().grey);
            EXPECT_TRUE(g_balloons.empty());
        }
        // Still in tunnel mode after the refused reset: a new worker's stop gives it back.
        if (row.trayDisable) form->miEnable->Click(), PumpUntil([] { return SimAdapterEvent(2) != nullptr; });
        ExpectReleased();
    }
}

} // namespace

namespace {

const char* const kDesktopKey = "Control Panel\\Desktop";
const char* const kDpiChild = "BRACKWATER_TEST_AT_144_DPI";

// Whether `control`'s caption, drawn in its font, fits inside its client area.
bool TextFits(const tk::TControl* control) {
    RECT client{};
    ::GetClientRect(control->Handle(), &client);
    HDC dc = ::GetDC(control->Handle());
    tk::ScopeGuard release([&] { ::ReleaseDC(control->Handle(), dc); });
    const HGDIOBJ old = ::SelectObject(dc, control->Font());
    tk::ScopeGuard deselect([&] { ::SelectObject(dc, old); });
    RECT text{};
    ::DrawTextA(dc, control->Caption().c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE);
    return text.right <= client.right && text.bottom <= client.bottom;
}

} // namespace

// The display scale is read when a process starts: the test runs itself again
// at 150 % and puts the scale back whatever the run did.
TEST_F(MainFormTest, At150PercentTheWindowIsOneAndAHalfTimesAsLargeAndItsTextFits) {
    if (!::GetEnvironmentVariableA(kDpiChild, nullptr, 0)) {
        DWORD previous = 0, size = sizeof previous;
        const bool had = ::RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", RRF_RT_REG_DWORD, nullptr,
                                        &previous, &size) == ERROR_SUCCESS;
        tk::ScopeGuard restore([&] {
            if (had)
                ::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &previous, sizeof previous);
            else
                ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels");
        });
        const DWORD dpi = 144;
        ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &dpi, sizeof dpi), 0);
        const std::string filter = std::string("--gtest_brief=1 --gtest_filter=") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::SetEnvironmentVariableA(kDpiChild, "1");
        tk::ScopeGuard unset([] { ::SetEnvironmentVariableA(kDpiChild, nullptr); });
        EXPECT_EQ(RunProcess(OwnPath(), filter, 120000, true), 0u)
            << "the run at 150 % failed (its output is above)";
        return;
    }

    Create();
    ASSERT_EQ(form->Dpi(), 144) << "the scale in the registry did not reach this process";
    RECT client{};
    ::GetClientRect(form->Handle(), &client);
    EXPECT_NEAR(client.right, 837 * 1.5, 2);
    EXPECT_NEAR(client.bottom, 524 * 1.5, 2);
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* control = dynamic_cast<tk::TControl*>(form->Components(i));
        if (dynamic_cast<tk::TButton*>(control) || dynamic_cast<tk::TLabel*>(control)) {
            EXPECT_TRUE(TextFits(control)) << control->Name() << ": " << control->Caption();
        }
    }
    EXPECT_EQ(form->ilMedium->Width(), 24);
    EXPECT_EQ(form->tiTray->Icon().Width(), 24);
}
