#include "ui/MainForm.h"

#include "filter/DriverApi.h"
#include "toolkit/Exception.h"
#include "toolkit/OsVersion.h"
#include "toolkit/Registry.h"
#include "ui/AboutForm.h"
#include "ui/Resources.h"
#include "ui/SettingsForm.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>

TfrmMain* frmMain = nullptr;

const char* const SettingsKey = "\\Software\\Corvantis\\Brackwater";

const TMediumName MediumNames[13] = {
    {0, "Ethernet (802.3)", 0},
    {1, "Token Ring (802.5)", 1},
    {2, "FDDI", 2},
    {3, "WAN", 3},
    {4, "LocalTalk", 4},
    {5, "DIX", 5},
    {6, "ARCNET (raw)", 6},
    {7, "ARCNET (878.2)", 7},
    {8, "ATM", 8},
    {9, "Wireless WAN", 9},
    {10, "Infrared (IrDA)", 10},
    {12, "Connection-oriented WAN", 11},
    {13, "IEEE 1394 (firewire) bus", 12},
};

static const TMediumName* FindMedium(unsigned long Medium) {
    for (const TMediumName& m : MediumNames) {
        if (m.Code == Medium) return &m;
    }
    return nullptr;
}

std::string MediumText(unsigned long Medium) {
    if (const TMediumName* m = FindMedium(Medium)) return m->Name;
    return tk::Format("0x%.8X", static_cast<unsigned>(Medium));
}

int MediumIcon(unsigned long Medium) {
    const TMediumName* m = FindMedium(Medium);
    return m ? m->Icon : UnnamedMediumIcon;
}

std::string MacText(const unsigned char* a) {
    return tk::Format("%.2X%.2X%.2X%.2X%.2X%.2X", a[0], a[1], a[2], a[3], a[4], a[5]);
}

namespace {

using UniqueDriver = tk::UniqueHandle<DriverHandleTraits>;
using ConvertAdapterName = BOOL(__stdcall*)(const char*, char*, DWORD);

ConvertAdapterName ChooseNameConversion() {
    OSVERSIONINFOA version;
    tk::GetOsVersion(version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return ::ConvertWindows9xAdapterName;
    return version.dwMajorVersion == 4 ? ::ConvertWindowsNTAdapterName : ::ConvertWindows2000AdapterName;
}

// The name up to its first NUL, reading at most `size` bytes.
std::string BoundedString(const char* text, std::size_t size) {
    return std::string(text, std::find(text, text + size, '\0'));
}

} // namespace

TfrmMain::TfrmMain(tk::TComponent* Owner) : tk::TForm(Owner, "TfrmMain") {
    SetName("frmMain");
    SetBorderStyle(tk::TFormBorderStyle::bsSingle);
    SetBorderIcons(tk::biSystemMenu | tk::biMinimize);
    SetClientSize(837, 524);
    SetLeft(192);
    SetTop(115);
    SetWindowState(tk::TWindowState::wsMinimized);

    ilMedium = new tk::TImageList(this, 16, 16);
    ilMedium->SetName("ilMedium");
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    for (int i = 0; i < MEDIUM_ICON_COUNT; ++i) ilMedium->AddIconResource(module, IDI_MEDIUM_FIRST + i);

    pmTray = new tk::TPopupMenu(this);
    pmTray->SetName("pmTray");
    miOpen = new tk::TMenuItem(this, "&Open/Hide");
    miOpen->SetName("miOpen");
    miOpen->Default = true;
    miOpen->OnClick = [this](tk::TObject* s) { miOpenClick(s); };
    N2 = new tk::TMenuItem(this, "-");
    N2->SetName("N2");
    miExit = new tk::TMenuItem(this, "E&xit");
    miExit->SetName("miExit");
    miExit->OnClick = [this](tk::TObject* s) { miExitClick(s); };
    pmTray->Items()->Add(miOpen);
    pmTray->Items()->Add(N2);
    pmTray->Items()->Add(miExit);

    // The stored icon is replaced by the application's in FormCreate.
    tiTray = new TTrayIcon(this);
    tiTray->SetName("tiTray");
    tiTray->SetCycleInterval(0);
    tk::TIcon storedIcon;
    storedIcon.LoadFromResource(module, IDI_MAINICON, 16, 16);
    tiTray->SetIcon(storedIcon);
    tiTray->SetIconVisible(true);
    tiTray->SetIconIndex(0);
    tiTray->SetPopupMenu(pmTray);
    tiTray->MinimizeToTray = true;
    tiTray->OnClick = [this](tk::TObject* s) { tiTrayClick(s); };

    lblList = new tk::TLabel(this, "Adapter &List :", 8, 14);
    btnList = new tk::TButton(this, "&Refresh List", 729, 8, 97, 25);
    lvAdapters = new tk::TListView(this, 8, 40, 817, 201);
    lvAdapters->AddColumn("Name", 200);
    lvAdapters->AddColumn("Internal Name", 300);
    lvAdapters->AddColumn("Current MAC", 100);
    lvAdapters->AddColumn("Medium", 100);
    lvAdapters->AddColumn("Current MTU", 100);
    lvAdapters->SetSmallImages(ilMedium);
    lblList->FocusControl = lvAdapters;

    lblFilter = new tk::TLabel(this, "&Filter :", 8, 254);
    btnStart = new tk::TButton(this, "&Enable", 521, 248, 97, 25);
    btnStop = new tk::TButton(this, "&Disable", 625, 248, 97, 25);
    btnSettings = new tk::TButton(this, "&Settings...", 729, 248, 97, 25);
    mmLog = new tk::TMemo(this, 8, 280, 818, 201);
    lblFilter->FocusControl = mmLog;
    btnClear = new tk::TButton(this, "&Clear log", 8, 488, 97, 25);
    btnAbout = new tk::TButton(this, "&About", 729, 488, 97, 25);

    lblList->SetName("lblList");
    btnList->SetName("btnList");
    lvAdapters->SetName("lvAdapters");
    lblFilter->SetName("lblFilter");
    btnStart->SetName("btnStart");
    btnStop->SetName("btnStop");
    btnSettings->SetName("btnSettings");
    mmLog->SetName("mmLog");
    btnClear->SetName("btnClear");
    btnAbout->SetName("btnAbout");

    btnList->OnClick = [this](tk::TObject* s) { btnListClick(s); };
    btnStart->OnClick = [this](tk::TObject* s) { btnStartClick(s); };
    btnStop->OnClick = [this](tk::TObject* s) { btnStopClick(s); };
    btnSettings->OnClick = [this](tk::TObject* s) { btnSettingsClick(s); };
    btnClear->OnClick = [this](tk::TObject* s) { btnClearClick(s); };
    btnAbout->OnClick = [this](tk::TObject* s) { btnAboutClick(s); };
    OnCreate = [this](tk::TObject* s) { FormCreate(s); };
    OnDestroy = [this](tk::TObject* s) { FormDestroy(s); };
    OnCloseQuery = [this](tk::TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
}

TfrmMain::~TfrmMain() {
    // FormDestroy has stopped the worker; reached without it (a plain
    // delete), the controls still exist here and the worker goes before them.
    Filter.reset();
    if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate(tk::TObject* Sender) {
    EndingSession = false;
    SetCaption(tk::Application->Title());
    tiTray->SetIcon(tk::Application->Icon());
    tiTray->SetHint(tk::Application->Title().substr(0, 255));
    LoadSettings();
    btnListClick(this);
    btnStartClick(this);
}

void TfrmMain::FormDestroy(tk::TObject* Sender) {
    ShutDown(sessionEnded_);
}

void TfrmMain::ShutDown(bool SessionEnding) {
    std::exception_ptr saveError;
    // Saved once, while "FilteredAdapter" still names the adapter: the Disable
    // below forgets it, and a later save would store that.
    if (!shutDown_) {
        shutDown_ = true;
        try {
            SaveSettings();
        } catch (...) {
            saveError = std::current_exception();
        }
    }
    // Whatever the save did, and before anything waits for the user: a box
    // left open while the session ends (or the process ended under it) would
    // leave the adapter diverted. Runs on every call, so that a worker started
    // after an earlier shutdown never outlives the log it writes to.
    btnStopClick(this);
    if (!saveError) return;
    try {
        std::rethrow_exception(saveError);
    } catch (const std::exception& e) {
        // Nobody is there to answer a box while the session ends.
        if (SessionEnding)
            mmLog->Append(e.what());
        else if (tk::Application)
            tk::Application->ShowException(e);
    } catch (...) {
    }
}

void TfrmMain::FormCloseQuery(tk::TObject* Sender, bool& CanClose) {
    CanClose = true;
    if (!EndingSession && Settings.ExitConfirmation) {
        CanClose = tk::Application->MessageBox("Do you really want to exit?", "Confirm",
                                               MB_ICONQUESTION | MB_OKCANCEL) != IDCANCEL;
    }
}

LRESULT TfrmMain::WndProc(UINT Message, WPARAM wParam, LPARAM lParam) {
    switch (Message) {
        case WM_QUERYENDSESSION:
            EndingSession = true;
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: remember the
            // adapter and give it back to the stack now.
            if (wParam) {
                sessionEnded_ = true;
                ShutDown(true);
            }
            return 0;
        default:
            return tk::TForm::WndProc(Message, wParam, lParam);
    }
}

void TfrmMain::LoadSettings() {
    tk::TRegistry reg;
    if (!reg.OpenKey(SettingsKey, true)) return;
    SetLeft(reg.ValueExists("WindowLeft") ? reg.ReadInteger("WindowLeft") : 100);
    SetTop(reg.ValueExists("WindowTop") ? reg.ReadInteger("WindowTop") : 100);
    Settings.BadTTL = reg.ValueExists("BadTTL") ? reg.ReadInteger("BadTTL") : 1;
    Settings.NewTTL = reg.ValueExists("NewTTL") ? reg.ReadInteger("NewTTL") : 5;
    Settings.Trace = reg.ValueExists("Trace") ? reg.ReadBool("Trace") : false;
    Settings.TraceLogLen = reg.ValueExists("TraceLogLen") ? reg.ReadInteger("TraceLogLen") : 100;
    Settings.FilteredAdapter = reg.ValueExists("FilteredAdapter") ? reg.ReadString("FilteredAdapter") : "";
    Settings.ExitConfirmation = reg.ValueExists("ExitConfirmation") ? reg.ReadBool("ExitConfirmation") : true;
    SetWindowState(Settings.FilteredAdapter.empty() ? tk::TWindowState::wsNormal : tk::TWindowState::wsMinimized);
}

void TfrmMain::SaveSettings() {
    tk::TRegistry reg;
    if (!reg.OpenKey(SettingsKey, true)) return;
    reg.WriteInteger("WindowLeft", Left());
    reg.WriteInteger("WindowTop", Top());
    reg.WriteInteger("BadTTL", Settings.BadTTL);
    reg.WriteInteger("NewTTL", Settings.NewTTL);
    reg.WriteBool("Trace", Settings.Trace);
    reg.WriteInteger("TraceLogLen", Settings.TraceLogLen);
    reg.WriteString("FilteredAdapter", Settings.FilteredAdapter);
    reg.WriteBool("ExitConfirmation", Settings.ExitConfirmation);
}

void TfrmMain::btnListClick(tk::TObject* Sender) {
    lvAdapters->BeginUpdate();
    tk::ScopeGuard endUpdate([this] { lvAdapters->EndUpdate(); });
    lvAdapters->Clear();

    const ConvertAdapterName convertName = ChooseNameConversion();
    HANDLE driver = ::OpenFilterDriver(DRIVER_NAME_A);
    if (!::IsDriverLoaded(driver)) {
        tk::Application->MessageBox("Helper driver failed to load or was not installed.", "Error",
                                    MB_ICONERROR | MB_OK);
        return;
    }
    UniqueDriver driverOwner(driver);

    TCP_AdapterList adapters{};
    ::GetTcpipBoundAdaptersInfo(driver, &adapters);
    const LONG reported = static_cast<LONG>(adapters.m_nAdapterCount);
    // The record has 32 slots; never read past them whatever the count says.
    const LONG count = std::min<LONG>(reported, ADAPTER_LIST_SIZE);
    for (LONG i = 1; i <= count; ++i) {
        const LONG slot = i - 1;
        tk::TListItem* item = lvAdapters->Add();
        const std::string internalName =
            BoundedString(reinterpret_cast<const char*>(adapters.m_szAdapterNameList[slot]), ADAPTER_NAME_SIZE);
        char displayName[ADAPTER_DISPLAY_NAME_SIZE] = {};
        convertName(internalName.c_str(), displayName, sizeof displayName);
        displayName[sizeof displayName - 1] = '\0';
        item->SetCaption(tk::Format("(%d) %s", static_cast<int>(i), displayName));
        item->Data = static_cast<int>(i);
        item->AddSubItem(internalName);
        if (internalName == Settings.FilteredAdapter) item->SetSelected(true);
        item->AddSubItem(MacText(adapters.m_czCurrentAddress[slot]));
        const ULONG medium = adapters.m_nAdapterMediumList[slot];
        item->AddSubItem(MediumText(medium));
        item->SetImageIndex(MediumIcon(medium));
        item->AddSubItem(tk::Format("%d", static_cast<int>(adapters.m_usMTU[slot])));
    }
}

void TfrmMain::btnStartClick(tk::TObject* Sender) {
    tk::TListItem* row = lvAdapters->Selected();
    if (!row) {
        if (::IsWindowVisible(Handle())) {
            tk::Application->MessageBox("Please select a network adapter to filter.", "Information",
                                        MB_ICONINFORMATION | MB_OK);
        }
        return;
    }
    if (Filter) btnStopClick(Sender);
    Filter = std::make_unique<TTTLFilter>(
        static_cast<std::uint32_t>(row->Data), static_cast<std::uint8_t>(Settings.BadTTL),
        static_cast<std::uint8_t>(Settings.NewTTL), [this](const std::string& line) { AddLogLine(line); },
        Settings.Trace);
    Settings.FilteredAdapter = row->SubItem(0);
    mmLog->Append(tk::Format("Filtering %s...", row->Caption().c_str()));
}

void TfrmMain::btnStopClick(tk::TObject* Sender) {
    if (Filter) {
        Filter->Terminate();
        Filter->WaitFor();
        Filter.reset();
        mmLog->Append("Filter closed.");
    }
    Settings.FilteredAdapter.clear();
}

void TfrmMain::AddLogLine(const std::string& Line) {
    // A limit below 1 keeps the newest line: the loop must end on an empty log.
    const int limit = std::max(Settings.TraceLogLen, 1);
    for (int lines = mmLog->LineCount(); lines >= limit && lines > 0;) {
        mmLog->DeleteLine(0);
        const int left = mmLog->LineCount();
        if (left >= lines) break;
        lines = left;
    }
    mmLog->Append(Line);
}

void TfrmMain::btnClearClick(tk::TObject* Sender) {
    mmLog->Clear();
}

void TfrmMain::btnSettingsClick(tk::TObject* Sender) {
    frmSettings->udBadTTL->SetPosition(static_cast<std::int16_t>(Settings.BadTTL));
    frmSettings->udNewTTL->SetPosition(static_cast<std::int16_t>(Settings.NewTTL));
    frmSettings->chbExitConfirmation->SetChecked(Settings.ExitConfirmation);
    if (frmSettings->ShowModal() != tk::mrOk) return;
    Settings.BadTTL = frmSettings->udBadTTL->Position();
    Settings.NewTTL = frmSettings->udNewTTL->Position();
    Settings.ExitConfirmation = frmSettings->chbExitConfirmation->Checked();
    SaveSettings();
}

void TfrmMain::btnAboutClick(tk::TObject* Sender) {
    frmAbout->ShowModal();
}

void TfrmMain::tiTrayClick(tk::TObject* Sender) {
    if (::IsIconic(tk::Application->Handle()))
        tk::Application->Restore();
    else
        tk::Application->Minimize();
}

void TfrmMain::miOpenClick(tk::TObject* Sender) {
    tiTrayClick(Sender);
}

void TfrmMain::miExitClick(tk::TObject* Sender) {
    Close();
}
