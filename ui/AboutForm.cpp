#include "ui/AboutForm.h"

#include "toolkit/Exception.h"
#include "toolkit/Handles.h"
#include "ui/AppVersion.h"

#include <shellapi.h>

namespace {

// Starts `File` with `Parameters` by CreateProcess: no program registered for
// a file type, and so nothing from the user's own registry, takes part.
HINSTANCE WINAPI StartProgram(HWND, LPCSTR, LPCSTR File, LPCSTR Parameters, LPCSTR Directory, INT Show) {
    std::string commandLine = "\"";
    commandLine.append(File).append("\" ").append(Parameters ? Parameters : "");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(Show);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(File, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Directory, &startup,
                          &started))
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_NOASSOC));
    tk::UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

// This program runs with administrator rights. The handler of an address is
// looked up in the user's own registry, which programs without those rights
// can write, and would start elevated: Explorer is given the address instead,
// and passes it on to the user's own shell, which runs without them.
void OpenAddress(const std::string& Address) {
    char windows[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string explorer = std::string(windows) + "\\explorer.exe";
    const std::string argument = "\"" + Address + "\"";
    // Whether a program is registered for the address is not ours to report.
    AboutShellExecute(nullptr, nullptr, explorer.c_str(), argument.c_str(), nullptr, SW_SHOWNORMAL);
}

} // namespace

TShellExecuteA AboutShellExecute = &StartProgram;
TfrmAbout* frmAbout = nullptr;

TfrmAbout::TfrmAbout(tk::TComponent* Owner) : tk::TForm(Owner, "TfrmAbout") {
    SetName("frmAbout");
    SetCaption("About");
    SetBorderStyle(tk::TFormBorderStyle::bsDialog);
    SetClientSize(315, 184);
    Position = tk::TPosition::poMainFormCenter;

    // The panel first, so that OK comes before the links in the tab order, and
    // before the bevel: the panel takes the bottom edge, the bevel sits on it.
    pnlBottom = new tk::TPanel(this, 0, 0, 315, 41);
    pnlBottom->SetBevelOuter(tk::TPanelBevel::bvNone);
    pnlBottom->SetAlign(tk::TAlign::alBottom);
    btnOK = new tk::TButton(pnlBottom, "OK", 232, 8, 75, 25);
    btnOK->SetDefault(true);
    btnOK->SetCancel(true);
    btnOK->ModalResult = tk::mrOk;
    imgIcon = new tk::TImage(this, 8, 8, 32, 32);
    lblAppName = new tk::TLabel(this, "", 56, 8);
    lblAppName->SetFontStyles(tk::fsBold);
    lblCopyleft = new tk::TLabel(this, "", 56, 24);
    lblEmailName = new tk::TLabel(this, "Email :", 32, 56);
    lblWebsiteName = new tk::TLabel(this, "Website :", 32, 88);
    lblEmail = new tk::TLinkLabel(this, "brackwater@corvantis.example", 104, 56);
    lblWebsite = new tk::TLinkLabel(this, "https://corvantis.example/brackwater", 104, 88);
    btvlBottom = new tk::TBevel(this, 0, 0, 315, 11);
    btvlBottom->SetShape(tk::TBevelShape::bsBottomLine);
    btvlBottom->SetAlign(tk::TAlign::alBottom);

    imgIcon->SetName("imgIcon");
    lblAppName->SetName("lblAppName");
    lblCopyleft->SetName("lblCopyleft");
    lblEmailName->SetName("lblEmailName");
    lblWebsiteName->SetName("lblWebsiteName");
    lblEmail->SetName("lblEmail");
    lblWebsite->SetName("lblWebsite");
    pnlBottom->SetName("pnlBottom");
    btnOK->SetName("btnOK");
    btvlBottom->SetName("btvlBottom");

    lblEmail->OnMouseEnter = [this](tk::TObject* s) { lblEmailMouseEnter(s); };
    lblEmail->OnMouseLeave = [this](tk::TObject* s) { lblEmailMouseLeave(s); };
    lblWebsite->OnMouseEnter = [this](tk::TObject* s) { lblEmailMouseEnter(s); };
    lblWebsite->OnMouseLeave = [this](tk::TObject* s) { lblEmailMouseLeave(s); };
    lblEmail->OnClick = [this](tk::TObject* s) { lblEmailClick(s); };
    lblWebsite->OnClick = [this](tk::TObject* s) { lblWebsiteClick(s); };
    OnCreate = [this](tk::TObject* s) { FormCreate(s); };
    OnActivate = [this](tk::TObject* s) { FormActivate(s); };
}

TfrmAbout::~TfrmAbout() {
    if (frmAbout == this) frmAbout = nullptr;
}

void TfrmAbout::FormCreate(tk::TObject* Sender) {
    if (tk::Application) imgIcon->Icon().Assign(tk::Application->Icon());
    TAppInfo Info;
    ReadAppInfo(Info);
    lblAppName->SetCaption(tk::Format("%s v%s", Info.ProductName.c_str(), Info.FileVersion.c_str()));
    lblCopyleft->SetCaption(Info.LegalCopyright);
}

void TfrmAbout::FormActivate(tk::TObject* Sender) {
    RECT WorkArea{};
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &WorkArea, 0)) return;
    // Each step reads the bounds again: the later ones see the earlier moves.
    if (Left() + Width() > WorkArea.right) SetLeft(WorkArea.right - Width());
    if (Top() + Height() > WorkArea.bottom) SetTop(WorkArea.bottom - Height());
    if (Left() < WorkArea.left) SetLeft(WorkArea.left);
    if (Top() < WorkArea.top) SetTop(WorkArea.top);
}

void TfrmAbout::lblEmailMouseEnter(tk::TObject* Sender) {
    if (auto* Link = dynamic_cast<tk::TLabel*>(Sender)) Link->SetFontStyles(Link->FontStyles() | tk::fsUnderline);
}

void TfrmAbout::lblEmailMouseLeave(tk::TObject* Sender) {
    if (auto* Link = dynamic_cast<tk::TLabel*>(Sender)) Link->SetFontStyles(Link->FontStyles() & ~tk::fsUnderline);
}

void TfrmAbout::lblEmailClick(tk::TObject* Sender) {
    tk::Application->ProcessMessages();
    OpenAddress("mailto:" + lblEmail->Caption());
}

void TfrmAbout::lblWebsiteClick(tk::TObject* Sender) {
    tk::Application->ProcessMessages();
    OpenAddress(lblWebsite->Caption());
}
