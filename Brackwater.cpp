// Brackwater: rewrites the TTL of the IPv4 packets one network adapter receives.
#include "toolkit/Forms.h"
#include "ui/MainForm.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    tk::TApplication application;
    application.Initialize();
    application.SetTitle("Brackwater");
    application.CreateForm(frmMain);
    application.Run();
    return 0;
}
