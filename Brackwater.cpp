// Brackwater: rewrites the TTL of the IPv4 packets one network adapter receives.
#include "toolkit/Forms.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    tk::TApplication application;
    application.Initialize();
    application.SetTitle("Brackwater");
    application.CreateForm(frmMain);
    application.CreateForm(frmAbout);
    application.CreateForm(frmSettings);
    application.Run();
    return 0;
}
