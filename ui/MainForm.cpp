#include "ui/MainForm.h"

#include "toolkit/Exception.h"
#include "ui/AboutForm.h"
#include "ui/AdapterList.h"
#include "ui/Resources.h"
#include "ui/SettingsForm.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

TfrmMain* frmMain = nullptr;

namespace {

// The main window as the settings store sees it.
class TFormSettingsWindow final : public TSettingsWindow {
public:
    explicit TFormSettingsWindow(tk::TForm& Form) : form_(Form) {}
    int Left() const override { return form_.Left(); }
    int Top() const override { return form_.Top(); }
    void SetLeft(int Left) override { form_.SetLeft(Left); }
    void SetTop(int Top) override { form_.SetTop(Top); }
    void SetMinimized(bool Minimized) override {
        form_.SetWindowState(Minimized ? tk::TWindowState::wsMinimized : tk::TWindowState::wsNormal);
    }

private:
    tk::TForm& form_;
};

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
    std::string saveError;
    // Saved once, while "FilteredAdapter" still names the adapter: the Disable
    // below forgets it, and a later save would store that.
    if (!shutDown_) {
        shutDown_ = true;
        try {
            SaveSettings();
        } catch (const std::exception& e) {
            saveError = e.what();
        } catch (...) {
            saveError = "Unknown error";
        }
    }
    // Whatever the save did, and before anything waits for the user: a box
    // left open while the session ends (or the process ended under it) would
    // leave the adapter diverted. Runs on every call, so that a worker started
    // after an earlier shutdown never outlives the log it writes to. The
    // adapter stays remembered in the registry, to be filtered at the next start.
    StopFilter();
    if (saveError.empty()) return;
    // Nobody is there to answer a box while the session ends.
    if (SessionEnding)
        mmLog->Append(saveError);
    else if (tk::Application)
        tk::Application->ShowException(tk::Exception(saveError));
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
        case WM_POWERBROADCAST:
        case WM_DEVICECHANGE:
            // After a resume or a device change the adapter may be listed
            // under a new handle: the worker looks now rather than later.
            if (Filter && (Message == WM_DEVICECHANGE || wParam == PBT_APMRESUMEAUTOMATIC))
                Filter->CheckAdapterNow();
            return TRUE;
        default:
            return tk::TForm::WndProc(Message, wParam, lParam);
    }
}

void TfrmMain::LoadSettings() {
    TFormSettingsWindow window(*this);
    SettingsStore.Load(Settings, window);
}

void TfrmMain::SaveSettings() {
    TFormSettingsWindow window(*this);
    SettingsStore.Save(Settings, window);
}

void TfrmMain::btnListClick(tk::TObject* Sender) {
    FillAdapterList(false);
}

void TfrmMain::FillAdapterList(bool ReportInLog) {
    lvAdapters->BeginUpdate();
    tk::ScopeGuard endUpdate([this] { lvAdapters->EndUpdate(); });
    lvAdapters->Clear();
    const std::optional<std::vector<TAdapterRow>> rows = ReadAdapterRows();
    if (!rows) {
        const char* text = "Helper driver failed to load or was not installed.";
        if (ReportInLog)
            mmLog->Append(text);
        else
            tk::Application->MessageBox(text, "Error", MB_ICONERROR | MB_OK);
        return;
    }
    for (const TAdapterRow& row : *rows) {
        tk::TListItem* item = lvAdapters->Add();
        item->SetCaption(row.Caption);
        item->Data = row.Position;
        item->AddSubItem(row.InternalName);
        if (row.InternalName == Settings.FilteredAdapter) item->SetSelected(true);
        item->AddSubItem(row.Mac);
        item->AddSubItem(row.Medium);
        item->SetImageIndex(row.MediumIcon);
        item->AddSubItem(row.Mtu);
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
    // Stopping the old worker serves its deliveries, which may refill the
    // list: keep what the row says. The new adapter is written over the old
    // one in the registry rather than cleared first.
    const std::string internalName = row->SubItem(0);
    const std::string caption = row->Caption();
    if (Filter) StopFilter();
    Filter = TTTLFilter::Create(
        static_cast<std::uint32_t>(row->Data), internalName, static_cast<std::uint8_t>(Settings.BadTTL),
        static_cast<std::uint8_t>(Settings.NewTTL), [this](const std::string& line) { AddLogLine(line); },
        Settings.Trace, [this] { FillAdapterList(true); });
    RememberFilteredAdapter(internalName);
    mmLog->Append(tk::Format("Filtering %s...", caption.c_str()));
}

void TfrmMain::btnStopClick(tk::TObject* Sender) {
    StopFilter();
    RememberFilteredAdapter("");
}

void TfrmMain::StopFilter() {
    if (Filter) {
        // Its owner stops it, serving the lines it is still delivering.
        Filter.reset();
        mmLog->Append("Filter closed.");
    }
    Settings.FilteredAdapter.clear();
    SettingsStore.MarkSet(TSettingId::FilteredAdapter);
}

void TfrmMain::RememberFilteredAdapter(const std::string& InternalName) {
    Settings.FilteredAdapter = InternalName;
    SettingsStore.MarkSet(TSettingId::FilteredAdapter);
    try {
        TFormSettingsWindow window(*this);
        SettingsStore.SaveValue(TSettingId::FilteredAdapter, Settings, window);
    } catch (const std::exception& e) {
        mmLog->Append(e.what());
    }
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
    // Confirmed values count as set even when they equal what the load left.
    for (TSettingId id : {TSettingId::BadTTL, TSettingId::NewTTL, TSettingId::ExitConfirmation})
        SettingsStore.MarkSet(id);
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
