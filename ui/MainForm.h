// The program's one window: the adapter list, filter control and the log.
#pragma once

#include "filter/TTLFilterUnit.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"
#include "toolkit/Menus.h"
#include "toolkit/StdCtrls.h"
#include "ui/TrayIcon.h"

#include <memory>
#include <string>

// Name and icon of the NDIS medium codes the driver reports; codes without a
// name show as "0x%.8X" with the last icon.
struct TMediumName {
    unsigned long Code;
    const char* Name;
    int Icon;
};
extern const TMediumName MediumNames[13];
constexpr int UnnamedMediumIcon = 13;

// Medium column text and icon of a medium code.
std::string MediumText(unsigned long Medium);
int MediumIcon(unsigned long Medium);
// "%.2X" of each of the six address bytes, no separators.
std::string MacText(const unsigned char* Address);

// The persisted settings held in memory; the window's position lives in the window.
struct TSettings {
    int BadTTL = 0;
    int NewTTL = 0;
    bool Trace = false;
    int TraceLogLen = 0;
    std::string FilteredAdapter;
    bool ExitConfirmation = false;
};

extern const char* const SettingsKey;

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
    std::unique_ptr<TTTLFilter> Filter;
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

    void LoadSettings();
    void SaveSettings();
    // The worker's OnMessage: trims the log to "TraceLogLen" lines, then appends.
    void AddLogLine(const std::string& Line);

    LRESULT WndProc(UINT Message, WPARAM wParam, LPARAM lParam) override;

private:
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
