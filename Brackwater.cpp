// Brackwater: rewrites the TTL of the IPv4 packets one network adapter receives.
#include "filter/DriverApi.h"
#include "filter/LastChance.h"
#include "toolkit/Forms.h"
#include "toolkit/Handles.h"
#include "toolkit/SystemLibrary.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"
#include "ui/SingleInstance.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything loads a library: the program runs with administrator
    // rights, and its own folder and PATH may be writable by users without
    // them. Where kernel32 cannot, the loads below still name the system folder.
    tk::LoadLibrariesFromSystemFolderOnly();
    // Its driver library comes only from the system folder, where the
    // driver's installer puts it, never from a folder on the search path.
    const tk::UniqueModule driverLibrary(tk::LoadSystemLibrary("ndisapi.dll"));
    if (!driverLibrary || !BindDriverLibrary(driverLibrary.get())) {
        ::MessageBoxA(nullptr,
                      driverLibrary ? "The ndisapi.dll in the Windows system folder is not the NDISRD library "
                                      "Brackwater needs. Reinstall the driver, then start Brackwater again."
                                    : "The NDISRD packet-filter driver is not installed: its library ndisapi.dll is "
                                      "not in the Windows system folder. Install the driver, then start Brackwater "
                                      "again.",
                      "Brackwater", MB_OK | MB_ICONERROR);
        return 1;
    }

    // Two instances would divert the same adapter, and the first to exit would
    // set it back to normal under the other: a second start only shows the first.
    TSingleInstance instance;
    if (!instance.First()) {
        TSingleInstance::ShowFirstInstance();
        return 0;
    }

    // A crash while filtering must not leave the adapter cut off from the stack.
    InstallLastChance();

    tk::TApplication application;
    application.Initialize();
    application.SetTitle("Brackwater");
    instance.AnswerLaterStarts(MainFormMayShow);
    application.CreateForm(frmMain);
    application.CreateForm(frmAbout);
    application.CreateForm(frmSettings);
    application.Run();
    return application.ExitCode;
}
