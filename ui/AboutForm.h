// The About dialog: the application's icon, name, version and legal notice
// from the executable's version resource, and the author's two addresses.
#pragma once

#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

#include <windows.h>

// Starts a program with its parameters, in the shape of ShellExecuteA; the
// link labels start Explorer with the address through it. Tests replace it to
// see the addresses instead of starting a mail program or a browser.
using TShellExecuteA = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern TShellExecuteA AboutShellExecute;

class TfrmAbout : public tk::TForm {
public:
    explicit TfrmAbout(tk::TComponent* Owner);
    ~TfrmAbout() override;

    tk::TImage* imgIcon;
    tk::TLabel* lblAppName;
    tk::TLabel* lblCopyleft;
    tk::TLabel* lblEmailName;
    tk::TLabel* lblWebsiteName;
    tk::TLinkLabel* lblEmail;
    tk::TLinkLabel* lblWebsite;
    tk::TPanel* pnlBottom;
    tk::TButton* btnOK;
    tk::TBevel* btvlBottom;

    void FormCreate(tk::TObject* Sender);
    // Keeps the dialog inside the work area, flush with the edge it overhangs.
    void FormActivate(tk::TObject* Sender);
    // Hover of both link labels: underline on, underline off.
    void lblEmailMouseEnter(tk::TObject* Sender);
    void lblEmailMouseLeave(tk::TObject* Sender);
    void lblEmailClick(tk::TObject* Sender);
    void lblWebsiteClick(tk::TObject* Sender);
};

extern TfrmAbout* frmAbout;
