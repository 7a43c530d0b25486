// The program's one window: the adapter list, filter control and the log.
#pragma once

#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"
#include "toolkit/Menus.h"
#include "toolkit/StdCtrls.h"
#include "ui/EventHistory.h"
#include "ui/FilterControl.h"
#include "ui/FilterStatus.h"
#include "ui/Settings.h"
#include "ui/SettingsPlacement.h"
#include "ui/TrayIcon.h"

#include <string>

class TfrmMain : public tk::TForm {
public:
    explicit TfrmMain(tk::TComponent* Owner);
    ~TfrmMain() override;

    tk::TLabel* lblList;
    tk::TButton* btnList;
    tk::TListView* lvAdapters;
    tk::TLabel* lblFilter;
    tk::TButton* btnStart;
    tk::TButton* btnStop;
    tk::TButton* btnSettings;
    tk::TMemo* mmLog;
    tk::TButton* btnClear;
    tk::TLabel* lblStatus;
    tk::TButton* btnAbout;
    tk::TImageList* ilMedium;
    tk::TPopupMenu* pmTray;
    tk::TMenuItem* miOpen;
    tk::TMenuItem* N1;
    tk::TMenuItem* miEnable;
    tk::TMenuItem* miDisable;
    tk::TMenuItem* N2;
    tk::TMenuItem* miExit;
    TTrayIcon* tiTray;

public:
    // Declared in this order: the worker goes before the store it reads and
    // the history it writes.
    TSettingsStore SettingsStore;
    TEventHistory History;
    TFilterControl Filter;
    // After the worker it reads, so that it goes first.
    std::unique_ptr<TFilterStatus> Status;
    bool EndingSession = false;
    // The exit or session-end path has begun: nothing shows the window or
    // starts a worker any more.
    bool Exiting() const noexcept { return exiting_; }

    // The settings as the store holds them.
    const TSettings& Settings() const noexcept { return SettingsStore.Values(); }

    void FormCreate(tk::TObject* Sender);
    void FormDestroy(tk::TObject* Sender);
    void FormCloseQuery(tk::TObject* Sender, bool& CanClose);
    void btnListClick(tk::TObject* Sender);
    void btnStartClick(tk::TObject* Sender);
    void btnStopClick(tk::TObject* Sender);
    void btnSettingsClick(tk::TObject* Sender);
    void btnClearClick(tk::TObject* Sender);
    void btnAboutClick(tk::TObject* Sender);
    void tiTrayClick(tk::TObject* Sender);
    void miOpenClick(tk::TObject* Sender);
    // Disable, and a balloon for a reset the driver refused: the status line is out of sight.
    void miDisableClick(tk::TObject* Sender);
    void miExitClick(tk::TObject* Sender);

    // The store's Load and Save, with the window's position and state
    // (TSettingsPlacement).
    void LoadSettings();
    void SaveSettings();
    // Trims the log to "TraceLogLen" lines, then appends a worker's line.
    void AddLogLine(const std::string& Line);
    // The worker's news: its line to the log, its state to the status.
    void WorkerNews(const TFilterNews& News);

    LRESULT WndProc(UINT Message, WPARAM wParam, LPARAM lParam) override;

private:
    // Fills the list; a missing driver is reported in a box, or in the log
    // for a refresh the worker asked for. False when the driver is missing.
    bool FillAdapterList(bool ReportInLog);
    // Enable: starts a worker on the selected row. `StartUp` for the start's
    // own run, whose worker waits for its adapter.
    void Enable(bool StartUp);

    // Saves the settings and stops the worker, and tells what went wrong
    // (TFilterControl::ShutDown).
    void ShutDown(bool SessionEnding);
    // The window's position and state from the store's load, and back into it.
    TSettingsPlacement placement_{SettingsStore, *this};
    // WM_ENDSESSION said the session really ends (EndingSession stays set
    // after a session end that was cancelled).
    bool sessionEnded_ = false;
    bool exiting_ = false;
};

extern TfrmMain* frmMain;

// Whether a later start may bring the main window back: it exists and its exit has not begun.
bool MainFormMayShow();
