// Brackwater: rewrites the TTL of the IPv4 packets one network adapter receives.
#include "filter/LastChance.h"
#include "toolkit/Forms.h"
#include "ui/AboutForm.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"
#include "ui/SingleInstance.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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
    return 0;
}
