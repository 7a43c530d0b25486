// The Settings dialog: the two TTL values, the exit confirmation, whether
// IPv6 hop limits are rewritten too, the TTL of the packets sent, and
// whether balloons are shown.
#pragma once

#include "toolkit/ComCtrls.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"
#include "ui/Settings.h"

class TfrmSettings : public tk::TForm {
public:
    explicit TfrmSettings(tk::TComponent* Owner);
    ~TfrmSettings() override;

    // Shows the stored values modally; on Save sets them through the store,
    // which marks them, and returns true.
    bool Edit(TSettingsStore& Store);

    tk::TCheckBox* chbExitConfirmation;
    tk::TLabel* lblBadTTL;
    tk::TEdit* edtBadTTL;
    tk::TUpDown* udBadTTL;
    tk::TLabel* lblNewTTL;
    tk::TEdit* edtNewTTL;
    tk::TUpDown* udNewTTL;
    tk::TLabel* lblNote;
    tk::TCheckBox* chbRewriteIPv6;
    tk::TCheckBox* chbRewriteSent;
    tk::TEdit* edtSentTTL;
    tk::TUpDown* udSentTTL;
    tk::TCheckBox* chbNotifications;
    tk::TPanel* pnlBottom;
    tk::TButton* btnOK;
    tk::TButton* btnCancel;
    tk::TBevel* bvlBottom;
};

extern TfrmSettings* frmSettings;
