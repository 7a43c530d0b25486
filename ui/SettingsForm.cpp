#include "ui/SettingsForm.h"

#include <cstdint>

TfrmSettings* frmSettings = nullptr;

namespace {

// A TTL spin control: Lowest..255 in steps of 1, wrapping at both ends, right
// beside its edit box.
tk::TUpDown* NewTTLSpin(tk::TWinControl* Parent, tk::TEdit* Edit, int Lowest = 0) {
    const int left = Edit->Left();
    const int top = Edit->Top();
    const int width = Edit->Width();
    const int height = Edit->Height();
    auto* spin = new tk::TUpDown(Parent, Edit);
    // The control makes room for itself inside the edit box, which leaves too
    // little of it for "255": give the box its width back and put the arrows
    // against its right edge.
    Edit->SetBounds(left, top, width, height);
    spin->SetBounds(left + width, top, spin->Width(), height);
    spin->SetRange(Lowest, 255);
    spin->SetIncrement(1);
    spin->SetWrap(true);
    spin->SetArrowKeys(true);
    spin->SetThousands(false);
    spin->SetPosition(Lowest);
    return spin;
}

} // namespace

TfrmSettings::TfrmSettings(tk::TComponent* Owner) : tk::TForm(Owner, "TfrmSettings") {
    SetName("frmSettings");
    SetCaption("Settings");
    SetBorderStyle(tk::TFormBorderStyle::bsDialog);
    SetClientSize(333, 243);
    Position = tk::TPosition::poMainFormCenter;

    // Created in tab order; the panel before the bevel so that the panel takes
    // the bottom edge and the bevel sits on top of it.
    chbExitConfirmation = new tk::TCheckBox(this, "Confirm e&xit from application", 24, 16, 289, 17);
    lblBadTTL = new tk::TLabel(this, "If &TTL <=", 24, 59);
    edtBadTTL = new tk::TEdit(this, 88, 56, 33, 21);
    udBadTTL = NewTTLSpin(this, edtBadTTL);
    lblBadTTL->FocusControl = edtBadTTL;
    lblNewTTL = new tk::TLabel(this, "then &change TTL to", 152, 59);
    edtNewTTL = new tk::TEdit(this, 264, 56, 33, 21);
    udNewTTL = NewTTLSpin(this, edtNewTTL);
    lblNewTTL->FocusControl = edtNewTTL;
    lblNote = new tk::TLabel(this, "Filter needs to be restarted to apply new settings", 24, 88);
    chbRewriteIPv6 = new tk::TCheckBox(this, "Also change the IPv6 &hop limit", 24, 112, 289, 17);
    chbRewriteSent = new tk::TCheckBox(this, "Set the TTL of &sent packets to", 24, 136, 200, 17);
    edtSentTTL = new tk::TEdit(this, 232, 134, 33, 21);
    // A sent TTL of 0 would be dropped at the next hop.
    udSentTTL = NewTTLSpin(this, edtSentTTL, 1);
    chbNotifications = new tk::TCheckBox(this, "Show &notifications", 24, 160, 289, 17);

    pnlBottom = new tk::TPanel(this, 0, 0, 333, 41);
    pnlBottom->SetBevelOuter(tk::TPanelBevel::bvNone);
    pnlBottom->SetAlign(tk::TAlign::alBottom);
    btnOK = new tk::TButton(pnlBottom, "Save", 170, 8, 75, 25);
    btnOK->SetDefault(true);
    btnOK->ModalResult = tk::mrOk;
    btnCancel = new tk::TButton(pnlBottom, "Cancel", 250, 8, 75, 25);
    btnCancel->SetCancel(true);
    btnCancel->ModalResult = tk::mrCancel;

    bvlBottom = new tk::TBevel(this, 0, 0, 333, 12);
    bvlBottom->SetShape(tk::TBevelShape::bsBottomLine);
    bvlBottom->SetAlign(tk::TAlign::alBottom);

    chbExitConfirmation->SetName("chbExitConfirmation");
    lblBadTTL->SetName("lblBadTTL");
    edtBadTTL->SetName("edtBadTTL");
    udBadTTL->SetName("udBadTTL");
    lblNewTTL->SetName("lblNewTTL");
    edtNewTTL->SetName("edtNewTTL");
    udNewTTL->SetName("udNewTTL");
    lblNote->SetName("lblNote");
    chbRewriteIPv6->SetName("chbRewriteIPv6");
    chbRewriteSent->SetName("chbRewriteSent");
    edtSentTTL->SetName("edtSentTTL");
    udSentTTL->SetName("udSentTTL");
    chbNotifications->SetName("chbNotifications");
    pnlBottom->SetName("pnlBottom");
    btnOK->SetName("btnOK");
    btnCancel->SetName("btnCancel");
    bvlBottom->SetName("bvlBottom");
}

TfrmSettings::~TfrmSettings() {
    if (frmSettings == this) frmSettings = nullptr;
}

bool TfrmSettings::Edit(TSettingsStore& Store) {
    const TSettings& settings = Store.Values();
    udBadTTL->SetPosition(static_cast<std::int16_t>(settings.BadTTL));
    udNewTTL->SetPosition(static_cast<std::int16_t>(settings.NewTTL));
    chbExitConfirmation->SetChecked(settings.ExitConfirmation);
    chbRewriteIPv6->SetChecked(settings.RewriteIPv6 != 0);
    chbRewriteSent->SetChecked(settings.RewriteSent);
    udSentTTL->SetPosition(SentTtlOf(settings));
    chbNotifications->SetChecked(settings.Notifications);
    if (ShowModal() != tk::mrOk) return false;
    // Confirmed values count as set even when they equal what the load left.
    Store.Set(&TSettings::BadTTL, udBadTTL->Position());
    Store.Set(&TSettings::NewTTL, udNewTTL->Position());
    Store.Set(&TSettings::ExitConfirmation, chbExitConfirmation->Checked());
    Store.Set(&TSettings::Notifications, chbNotifications->Checked());
    // A stored non-zero value other than 1 stays as it is unless the box was changed.
    const bool rewrite = chbRewriteIPv6->Checked();
    Store.Set(&TSettings::RewriteIPv6, rewrite == (settings.RewriteIPv6 != 0) ? settings.RewriteIPv6 : int{rewrite});
    Store.Set(&TSettings::RewriteSent, chbRewriteSent->Checked());
    Store.Set(&TSettings::SentTTL, udSentTTL->Position());
    return true;
}
