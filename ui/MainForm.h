// The program's one window: the adapter list, filter control and the log.
#pragma once

#include "filter/TTLFilterUnit.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"
#include "toolkit/Menus.h"
#include "toolkit/StdCtrls.h"
#include "ui/Settings.h"
#include "ui/TrayIcon.h"

#include <memory>
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
    tk::TButton* btnAbout;
    tk::TImageList* ilMedium;
    tk::TPopupMenu* pmTray;
    tk::TMenuItem* miOpen;
    tk::TMenuItem* N2;
    tk::TMenuItem* miExit;
    TTrayIcon* tiTray;

    TSettings Settings;
    TSettingsStore SettingsStore;
    tk::ThreadPtr<TTTLFilter> Filter;
    bool EndingSession = false;

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
    void miExitClick(tk::TObject* Sender);

    // The settings store's Load and Save with this window's position and state.
    void LoadSettings();
    void SaveSettings();
    // The worker's OnMessage: trims the log to "TraceLogLen" lines, then appends.
    void AddLogLine(const std::string& Line);

    LRESULT WndProc(UINT Message, WPARAM wParam, LPARAM lParam) override;

private:
    // Fills the list; a missing driver is reported in a box, or in the log
    // for a refresh the worker asked for.
    void FillAdapterList(bool ReportInLog);
    // Stops the worker, if any, and forgets its adapter in memory only.
    void StopFilter();
    // Sets "FilteredAdapter" and writes it at once, so that after a crash the
    // next start filters the same adapter; a failed write goes to the log.
    void RememberFilteredAdapter(const std::string& InternalName);

    // Saves the settings (once, whichever way the program ends), then stops
    // the worker, then reports a failed save: in the error box, or in the log
    // while the session ends.
    void ShutDown(bool SessionEnding);
    bool shutDown_ = false;
    // WM_ENDSESSION said the session really ends (EndingSession stays set
    // after a session end that was cancelled).
    bool sessionEnded_ = false;
};

extern TfrmMain* frmMain;
