#include "ui/MainForm.h"

#include "ui/AboutForm.h"
#include "ui/AdapterView.h"
#include "ui/Resources.h"
#include "ui/SettingsForm.h"

#include <algorithm>
#include <cstdint>

TfrmMain* frmMain = nullptr;

bool MainFormMayShow() {
    return frmMain && !frmMain->Exiting();
}

TfrmMain::TfrmMain(tk::TComponent* Owner)
    : tk::TForm(Owner, "TfrmMain"),
      Filter(
          SettingsStore, [this](const TFilterNews& News) { WorkerNews(News); },
          [this](const std::string& Line) { mmLog->Append(Line); }, History) {
    SetName("frmMain");
    SetBorderStyle(tk::TFormBorderStyle::bsSingle);
    SetBorderIcons(tk::biSystemMenu | tk::biMinimize);
    SetClientSize(837, 524);
    SetLeft(192);
    SetTop(115);
    SetWindowState(tk::TWindowState::wsMinimized);

    ilMedium = tk::Named(new tk::TImageList(this, 16, 16), "ilMedium");

    pmTray = tk::Named(new tk::TPopupMenu(this), "pmTray");
    miOpen = pmTray->AddItem("&Open/Hide", "miOpen", [this](tk::TObject* s) { miOpenClick(s); });
    miOpen->Default = true;
    N1 = pmTray->AddItem("-", "N1");
    miEnable = pmTray->AddItem("&Enable", "miEnable", [this](tk::TObject*) { Enable(false); });
    miDisable = pmTray->AddItem("&Disable", "miDisable", [this](tk::TObject* s) { miDisableClick(s); });
    N2 = pmTray->AddItem("-", "N2");
    miExit = pmTray->AddItem("E&xit", "miExit", [this](tk::TObject* s) { miExitClick(s); });
    pmTray->OnPopup = [this](tk::TObject*) { Status->GreyTrayCommands(*lvAdapters, *miEnable, *miDisable); };

    // The stored icon is replaced by the application's in FormCreate.
    tiTray = tk::Named(new TTrayIcon(this), "tiTray");
    tiTray->SetCycleInterval(0);
    tk::TIcon storedIcon;
    storedIcon.LoadFromResource(::GetModuleHandleA(nullptr), IDI_MAINICON, 16, 16);
    tiTray->SetIcon(storedIcon);
    tiTray->SetIconVisible(true);
    tiTray->SetIconIndex(0);
    tiTray->SetPopupMenu(pmTray);
    tiTray->MinimizeToTray = true;
    tiTray->OnClick = [this](tk::TObject* s) { tiTrayClick(s); };

    lblList = tk::Named(new tk::TLabel(this, "Adapter &List :", 8, 14), "lblList");
    btnList = tk::Named(new tk::TButton(this, "&Refresh List", 729, 8, 97, 25), "btnList");
    lvAdapters = tk::Named(new tk::TListView(this, 8, 40, 817, 201), "lvAdapters");
    SetUpAdapterView(*lvAdapters, *ilMedium);
    lblList->FocusControl = lvAdapters;

    lblFilter = tk::Named(new tk::TLabel(this, "&Filter :", 8, 254), "lblFilter");
    btnStart = tk::Named(new tk::TButton(this, "&Enable", 521, 248, 97, 25), "btnStart");
    btnStop = tk::Named(new tk::TButton(this, "&Disable", 625, 248, 97, 25), "btnStop");
    btnSettings = tk::Named(new tk::TButton(this, "&Settings...", 729, 248, 97, 25), "btnSettings");
    mmLog = tk::Named(new tk::TMemo(this, 8, 280, 818, 201), "mmLog");
    lblFilter->FocusControl = mmLog;
    btnClear = tk::Named(new tk::TButton(this, "&Clear log", 8, 488, 97, 25), "btnClear");
    lblStatus = tk::Named(new tk::TLabel(this, "", 113, 492), "lblStatus");
    lblStatus->SetAutoSize(false);
    lblStatus->SetBounds(113, 492, 608, 17);
    btnAbout = tk::Named(new tk::TButton(this, "&About", 729, 488, 97, 25), "btnAbout");

    btnList->OnClick = [this](tk::TObject* s) { btnListClick(s); };
    btnStart->OnClick = [this](tk::TObject* s) { btnStartClick(s); };
    btnStop->OnClick = [this](tk::TObject* s) { btnStopClick(s); };
    btnSettings->OnClick = [this](tk::TObject* s) { btnSettingsClick(s); };
    btnClear->OnClick = [this](tk::TObject* s) { btnClearClick(s); };
    btnAbout->OnClick = [this](tk::TObject* s) { btnAboutClick(s); };
    Status = std::make_unique<TFilterStatus>(*this, *lblStatus, *tiTray, Filter, Settings());
    OnCreate = [this](tk::TObject* s) { FormCreate(s); };
    OnDestroy = [this](tk::TObject* s) { FormDestroy(s); };
    OnCloseQuery = [this](tk::TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
}

TfrmMain::~TfrmMain() {
    // FormDestroy has saved and stopped the worker; reached without it (a
    // plain delete), the worker is stopped here, while the status and the
    // controls its last deliveries reach are still there.
    Filter.Stop();
    if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate(tk::TObject* Sender) {
    EndingSession = false;
    SetCaption(tk::Application->Title());
    // The application's icon as the shell draws it there, at its small-icon size.
    tiTray->SetIcon(tk::Application->SmallIcon());
    tiTray->SetHint(tk::Application->Title().substr(0, 255));
    LoadSettings();
    const bool listed = FillAdapterList(false);
    Enable(true);
    // No row for the remembered adapter: a worker with no row waits for it.
    const std::string waiting = Filter.WaitForRemembered(listed);
    if (!waiting.empty()) Status->Started(waiting);
    Status->AfterStart(Settings().FilteredAdapter);
}

void TfrmMain::FormDestroy(tk::TObject* Sender) {
    ShutDown(sessionEnded_);
}

void TfrmMain::ShutDown(bool SessionEnding) {
    // A failed save's box serves messages, with the main window hidden and
    // not disabled behind it: the tray and Enable must not bring it back or
    // start a worker whose lines would reach destroyed controls.
    exiting_ = true;
    tiTray->Enabled = false;
    tiTray->OnBalloonHintClick = nullptr;
    placement_.Note();
    Filter.ShutDown(SessionEnding, Status->Snapshot().Caption);
}

void TfrmMain::FormCloseQuery(tk::TObject* Sender, bool& CanClose) {
    CanClose = true;
    if (!EndingSession && Settings().ExitConfirmation) {
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
        case WM_POWERBROADCAST:
        case WM_DEVICECHANGE:
            // After a resume or a device change the adapter may be listed
            // under a new handle: the worker looks now rather than later.
            if (Message == WM_DEVICECHANGE || wParam == PBT_APMRESUMEAUTOMATIC) Filter.CheckAdapterNow();
            return TRUE;
        default:
            return tk::TForm::WndProc(Message, wParam, lParam);
    }
}

void TfrmMain::LoadSettings() {
    placement_.Load();
}

void TfrmMain::SaveSettings() {
    placement_.Save();
}

void TfrmMain::btnListClick(tk::TObject* Sender) {
    FillAdapterList(false);
}

bool TfrmMain::FillAdapterList(bool ReportInLog) {
    if (FillAdapterView(*lvAdapters, Settings().FilteredAdapter)) return true;
    const char* text = "Helper driver failed to load or was not installed.";
    History.Error(text);
    if (ReportInLog)
        mmLog->Append(text);
    else
        tk::Application->MessageBox(text, "Error", MB_ICONERROR | MB_OK);
    return false;
}

void TfrmMain::btnStartClick(tk::TObject* Sender) {
    Enable(false);
}

void TfrmMain::Enable(bool StartUp) {
    if (exiting_) return;
    tk::TListItem* row = lvAdapters->Selected();
    if (!row) {
        if (::IsWindowVisible(Handle()))
            tk::Application->MessageBox("Please select a network adapter to filter.", "Information",
                                        MB_ICONINFORMATION | MB_OK);
        return;
    }
    // Stopping the old worker serves its deliveries, which may refill the
    // list: keep what the row says.
    const std::string internalName = row->SubItem(0);
    const std::string caption = row->Caption();
    Filter.Start(static_cast<std::uint32_t>(row->Data), internalName, caption, StartUp);
    Status->Started(caption);
}

void TfrmMain::btnStopClick(tk::TObject* Sender) {
    if (!exiting_) Filter.Disable();
}

void TfrmMain::WorkerNews(const TFilterNews& News) {
    Status->Heard(News);
    AddLogLine(News.Line);
    // The adapter went, or came under a new handle: the list shows it as it
    // is now, its row selected, and the status names it by that row.
    if (News.Kind != TFilterNewsKind::AdapterGone && News.Kind != TFilterNewsKind::Filtering) return;
    FillAdapterList(true);
    const tk::TListItem* row = lvAdapters->Selected();
    if (News.Kind == TFilterNewsKind::Filtering && row && Filter && row->SubItem(0) == Filter->Options.AdapterName)
        Status->Renamed(row->Caption());
}

void TfrmMain::AddLogLine(const std::string& Line) {
    // A limit below 1 keeps the newest line.
    mmLog->Append(Line, std::max(Settings().TraceLogLen, 1));
}

void TfrmMain::btnClearClick(tk::TObject* Sender) {
    mmLog->Clear();
}

void TfrmMain::btnSettingsClick(tk::TObject* Sender) {
    if (frmSettings->Edit(SettingsStore)) SaveSettings();
}

void TfrmMain::btnAboutClick(tk::TObject* Sender) {
    frmAbout->ShowModal();
}

void TfrmMain::tiTrayClick(tk::TObject* Sender) {
    tk::Application->IsMinimized() ? tk::Application->Restore() : tk::Application->Minimize();
}

void TfrmMain::miOpenClick(tk::TObject* Sender) {
    tiTrayClick(Sender);
}

void TfrmMain::miDisableClick(tk::TObject* Sender) {
    if (exiting_) return;
    Filter.Disable();
    Status->DisabledFromTray();
}

void TfrmMain::miExitClick(tk::TObject* Sender) {
    Close();
}
