// The Settings and About dialogs on a running application with a main form.
#include "tests/LoopSteps.h"
#include "tests/ScopedOverride.h"
#include "toolkit/Forms.h"
#include "ui/AboutForm.h"
#include "ui/AppVersion.h"
#include "ui/SettingsForm.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace {

tk::TForm* mainForm = nullptr;

class DialogsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        application_ = new tk::TApplication;
        application_->Initialize();
        application_->SetTitle("Brackwater");
        application_->CreateForm(mainForm);
        mainForm->SetBounds(100, 100, 400, 300);
        application_->CreateForm(frmAbout);
        application_->CreateForm(frmSettings);
    }
    void TearDown() override { tk::TComponent::Free(application_); }

private:
    tk::TApplication* application_ = nullptr;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new DialogsEnvironment);

// Shows `form` modally and runs `steps` from its modal loop, in order. A
// dialog still open well after the last step is ended with -1.
tk::TModalResult RunModal(tk::TForm* form, std::vector<std::function<void()>> steps) {
    LoopSteps script;
    auto inside = [form] { return form->Modal(); };
    for (auto& step : steps) script.Then(std::move(step), inside);
    script.Then([form] { form->ModalResult = -1; }, [checks = 0]() mutable { return ++checks > 100; });
    return form->ShowModal();
}

// The key as the focused control of `form` receives it (the form itself
// when the program is not in the foreground and nothing has the focus).
void PostKey(tk::TForm* form, UINT message, WPARAM key, LPARAM flags = 0) {
    HWND focus = ::GetFocus();
    ::PostMessageA(focus && ::IsChild(form->Handle(), focus) ? focus : form->Handle(), message, key, flags);
}

void PressKey(tk::TEdit* edit, WPARAM key) {
    ::SendMessageA(edit->Handle(), WM_KEYDOWN, key, 1);
    ::SendMessageA(edit->Handle(), WM_KEYUP, key, 0xC0000001);
}

RECT WorkArea() {
    RECT area{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

LOGFONTA FontOf(const tk::TControl* control) {
    LOGFONTA font{};
    ::GetObjectA(control->Font(), sizeof font, &font);
    return font;
}

std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// ---- Settings

TEST(Settings, LayoutKeepsTheButtonsUnderTheSeparatorAtTheBottom) {
    TfrmSettings* f = frmSettings;
    EXPECT_EQ(ClassName(f->Handle()), "TfrmSettings");
    EXPECT_EQ(f->Caption(), "Settings");
    EXPECT_EQ(f->ClientWidth(), 333);
    EXPECT_EQ(f->ClientHeight(), 243);
    EXPECT_EQ(f->pnlBottom->Top(), 243 - 41);
    EXPECT_EQ(f->pnlBottom->Height(), 41);
    EXPECT_EQ(f->bvlBottom->Top(), 243 - 41 - 12);
    EXPECT_EQ(f->bvlBottom->Height(), 12);
    EXPECT_EQ(f->btnOK->Caption(), "Save");
    EXPECT_EQ(f->btnOK->Left(), 170);
    EXPECT_EQ(f->btnCancel->Left(), 250);
    EXPECT_EQ(f->DefaultButton(), f->btnOK);
    EXPECT_EQ(f->CancelButton(), f->btnCancel);
}

TEST(Settings, SpinControlsStepByOneAndWrapAtBothEnds) {
    struct Row {
        int start;
        WPARAM key;
        int expected;
    };
    const Row rows[] = {{255, VK_UP, 0}, {0, VK_DOWN, 255}, {41, VK_UP, 42}, {41, VK_DOWN, 40}};
    for (auto [edit, spin] : {std::pair{frmSettings->edtBadTTL, frmSettings->udBadTTL},
                              std::pair{frmSettings->edtNewTTL, frmSettings->udNewTTL}}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << spin->Name() << " from " << row.start);
            spin->SetPosition(row.start);
            PressKey(edit, row.key);
            EXPECT_EQ(spin->Position(), row.expected);
            EXPECT_EQ(edit->Text(), std::to_string(row.expected));
        }
    }
    // A sent TTL of 0 is no value.
    for (const Row& row : {Row{255, VK_UP, 1}, Row{1, VK_DOWN, 255}}) {
        frmSettings->udSentTTL->SetPosition(row.start);
        PressKey(frmSettings->edtSentTTL, row.key);
        EXPECT_EQ(frmSettings->udSentTTL->Position(), row.expected);
    }
}

// Shown as the 65 it acts as, and kept as stored unless the dialog is saved.
TEST(Settings, StoredSentTtlOutOfRangeShowsAs65) {
    TSettingsStore store;
    store.Set(&TSettings::SentTTL, 300);
    std::string shown;
    LoopSteps script;
    script.Then([&] { shown = frmSettings->edtSentTTL->Text(), frmSettings->ModalResult = tk::mrCancel; },
                [] { return frmSettings->Modal(); });
    EXPECT_FALSE(frmSettings->Edit(store));
    EXPECT_EQ(shown, "65");
    EXPECT_EQ(store.Values().SentTTL, 300);
}

TEST(Settings, PositionOutsideTheRangeIsHeldWithinIt) {
    const struct {
        int16_t set;
        int shown;
    } rows[] = {{300, 255}, {256, 255}, {-1, 0}, {-32768, 0}, {0, 0}, {255, 255}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.set);
        frmSettings->udBadTTL->SetPosition(row.set);
        EXPECT_EQ(frmSettings->edtBadTTL->Text(), std::to_string(row.shown));
        EXPECT_EQ(frmSettings->udBadTTL->Position(), row.shown);
    }
}

TEST(Settings, TypedWholeNumberInRangeIsTakenAnythingElseGivesTheSpinPosition) {
    const struct {
        const char* typed;
        int expected;
    } rows[] = {{"42", 42}, {"0", 0}, {"255", 255}, {"007", 7}, {"300", 17}, {"256", 17}, {"-1", 17},
                {"abc", 17}, {"4x", 17},  {"", 17},    {"1 2", 17}, {"99999999999", 17}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        frmSettings->udNewTTL->SetPosition(17);
        frmSettings->edtNewTTL->SetText(row.typed);
        EXPECT_EQ(frmSettings->udNewTTL->Position(), row.expected);
    }
}

TEST(Settings, ArrowsStepFromTheHeldPositionWhenTheTextIsNoNumber) {
    frmSettings->udBadTTL->SetPosition(17);
    frmSettings->edtBadTTL->SetText("abc");
    PressKey(frmSettings->edtBadTTL, VK_UP);
    EXPECT_EQ(frmSettings->edtBadTTL->Text(), "18");
    frmSettings->edtBadTTL->SetText("");
    EXPECT_EQ(frmSettings->udBadTTL->Position(), 18);
}

TEST(Settings, SaveReturnsOkAndTheTypedValues) {
    TfrmSettings* f = frmSettings;
    f->udBadTTL->SetPosition(1);
    f->udNewTTL->SetPosition(5);
    f->chbExitConfirmation->SetChecked(true);
    const tk::TModalResult result = RunModal(f, {
        [f] {
            f->edtBadTTL->SetText("42");
            f->edtNewTTL->SetText("300");
            ::SendMessageA(f->chbExitConfirmation->Handle(), BM_CLICK, 0, 0);
        },
        [f] { ::PostMessageA(f->btnOK->Handle(), BM_CLICK, 0, 0); },
    });
    EXPECT_EQ(result, tk::mrOk);
    EXPECT_EQ(f->udBadTTL->Position(), 42);
    EXPECT_EQ(f->udNewTTL->Position(), 5);
    EXPECT_FALSE(f->chbExitConfirmation->Checked());
    EXPECT_FALSE(f->Visible());
}

TEST(Settings, EnterSavesEscAndCancelDoNot) {
    TfrmSettings* f = frmSettings;
    const struct {
        const char* name;
        std::function<void()> close;
        tk::TModalResult expected;
    } rows[] = {
        {"Esc", [f] { PostKey(f, WM_KEYDOWN, VK_ESCAPE); }, tk::mrCancel},
        {"Cancel", [f] { ::PostMessageA(f->btnCancel->Handle(), BM_CLICK, 0, 0); }, tk::mrCancel},
        {"Enter", [f] { PostKey(f, WM_KEYDOWN, VK_RETURN); }, tk::mrOk},
        {"close box", [f] { ::PostMessageA(f->Handle(), WM_CLOSE, 0, 0); }, tk::mrCancel},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunModal(f, {[f] { f->edtBadTTL->SetFocus(); }, row.close}), row.expected);
    }
}

TEST(Settings, AcceleratorsFocusTheEditBoxesAndToggleTheCheckBoxes) {
    TfrmSettings* f = frmSettings;
    f->chbExitConfirmation->SetChecked(false);
    f->chbRewriteIPv6->SetChecked(false);
    HWND focusAfterT = nullptr;
    HWND focusAfterC = nullptr;
    RunModal(f, {
        [f] { PostKey(f, WM_SYSCHAR, 't', 1 << 29); },
        [&] {
            focusAfterT = ::GetFocus();
            PostKey(f, WM_SYSCHAR, 'c', 1 << 29);
        },
        [&] {
            focusAfterC = ::GetFocus();
            PostKey(f, WM_SYSCHAR, 'x', 1 << 29);
        },
        [f] { PostKey(f, WM_SYSCHAR, 'h', 1 << 29); },
        [f] { PostKey(f, WM_KEYDOWN, VK_ESCAPE); },
    });
    EXPECT_EQ(focusAfterT, f->edtBadTTL->Handle());
    EXPECT_EQ(focusAfterC, f->edtNewTTL->Handle());
    EXPECT_TRUE(f->chbExitConfirmation->Checked());
    EXPECT_TRUE(f->chbRewriteIPv6->Checked());
}

// ---- About

TEST(About, ShowsNameAndVersionInBoldAndTheLegalNoticeFromTheVersionResource) {
    TfrmAbout* f = frmAbout;
    EXPECT_EQ(ClassName(f->Handle()), "TfrmAbout");
    EXPECT_EQ(f->Caption(), "About");
    EXPECT_EQ(f->ClientWidth(), 315);
    EXPECT_EQ(f->ClientHeight(), 184);
    EXPECT_EQ(f->lblAppName->Caption(), "Brackwater v1.0.0.33");
    EXPECT_EQ(FontOf(f->lblAppName).lfWeight, FW_BOLD);
    TAppInfo info;
    ReadAppInfo(info);
    EXPECT_FALSE(info.LegalCopyright.empty());
    EXPECT_EQ(f->lblCopyleft->Caption(), info.LegalCopyright);
    EXPECT_FALSE(f->imgIcon->Icon().Empty());
    // A copy: the application's icon stays its own.
    EXPECT_NE(f->imgIcon->Icon().Handle(), tk::Application->Icon().Handle());
    EXPECT_EQ(f->pnlBottom->Top(), 184 - 41);
    EXPECT_EQ(f->btvlBottom->Top(), 184 - 41 - 11);
}

TEST(About, HoverUnderlinesTheLinksAndKeepsColourAndOtherStyles) {
    for (tk::TLabel* link : {frmAbout->lblEmail, frmAbout->lblWebsite}) {
        const tk::TColor colour = link->FontColor();
        for (tk::TFontStyles before : {tk::TFontStyles{0}, tk::fsBold, tk::fsBold | tk::fsItalic}) {
            SCOPED_TRACE(testing::Message() << link->Name() << " styles " << before);
            link->SetFontStyles(before);
            ::SendMessageA(link->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
            EXPECT_EQ(link->FontStyles(), before | tk::fsUnderline);
            EXPECT_TRUE(FontOf(link).lfUnderline);
            EXPECT_EQ(FontOf(link).lfWeight, (before & tk::fsBold) ? FW_BOLD : FW_NORMAL);
            EXPECT_EQ(link->FontColor(), colour);
            ::SendMessageA(link->Handle(), WM_MOUSELEAVE, 0, 0);
            EXPECT_EQ(link->FontStyles(), before);
            EXPECT_FALSE(FontOf(link).lfUnderline);
            EXPECT_EQ(link->FontColor(), colour);
        }
        link->SetFontStyles(0);
    }
    tk::Application->ProcessMessages();
}

struct ShellCall {
    HWND window;
    bool verbGiven;
    std::string file, parameters;
    bool directoryGiven;
    INT show;
};
std::vector<ShellCall> shellCalls;

HINSTANCE WINAPI RecordShellExecute(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                    INT show) {
    shellCalls.push_back(
        {window, verb != nullptr, file ? file : "", parameters ? parameters : "<none>", directory != nullptr, show});
    // What the shell answers when nothing is registered for the address.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_NOASSOC));
}

TEST(About, LinkClicksHandTheAddressesToExplorer) {
    shellCalls.clear();
    const ScopedOverride record(AboutShellExecute, &RecordShellExecute);
    for (tk::TLabel* link : {frmAbout->lblEmail, frmAbout->lblWebsite})
        ::SendMessageA(frmAbout->Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(link->Handle()), STN_CLICKED),
                       reinterpret_cast<LPARAM>(link->Handle()));
    ASSERT_EQ(shellCalls.size(), 2u);
    EXPECT_EQ(shellCalls[0].parameters, std::string("\"mailto:") + frmAbout->lblEmail->Caption() + "\"");
    EXPECT_EQ(shellCalls[1].parameters, std::string("\"") + frmAbout->lblWebsite->Caption() + "\"");
    EXPECT_EQ(shellCalls[1].parameters.rfind("\"https://", 0), 0u);
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    for (const ShellCall& call : shellCalls) {
        // Never the address itself: its handler would run with this program's rights.
        EXPECT_EQ(call.file, std::string(windows) + "\\explorer.exe");
        EXPECT_EQ(call.window, nullptr);
        EXPECT_FALSE(call.verbGiven);
        EXPECT_FALSE(call.directoryGiven);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
    }
}

TEST(About, EnterOnTheLinkAfterOKOpensItAndTheDialogStaysOpen) {
    shellCalls.clear();
    const ScopedOverride record(AboutShellExecute, &RecordShellExecute);
    bool openAfterEnter = false;
    RunModal(frmAbout, {
        [] { frmAbout->btnOK->SetFocus(); PostKey(frmAbout, WM_KEYDOWN, VK_TAB); },
        [] { PostKey(frmAbout, WM_KEYDOWN, VK_RETURN, 1); },
        [&] { openAfterEnter = true; PostKey(frmAbout, WM_KEYDOWN, VK_ESCAPE); },
    });
    EXPECT_TRUE(openAfterEnter);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].parameters, "\"mailto:" + frmAbout->lblEmail->Caption() + "\"");
}

TEST(About, ActivationMovesTheDialogFlushIntoTheWorkArea) {
    TfrmAbout* f = frmAbout;
    const RECT wa = WorkArea();
    const int w = f->Width();
    const int h = f->Height();
    const struct {
        const char* name;
        int left, top, expectedLeft, expectedTop;
    } rows[] = {
        {"lower right", wa.right - w / 2, wa.bottom - h / 2, wa.right - w, wa.bottom - h},
        {"right only", wa.right - w + 1, wa.top + 10, wa.right - w, wa.top + 10},
        {"upper left", wa.left - 30, wa.top - 20, wa.left, wa.top},
        {"inside", wa.left + 10, wa.top + 10, wa.left + 10, wa.top + 10},
        {"exactly flush", wa.right - w, wa.bottom - h, wa.right - w, wa.bottom - h},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        f->SetBounds(row.left, row.top, w, h);
        f->FormActivate(f);
        EXPECT_EQ(f->Left(), row.expectedLeft);
        EXPECT_EQ(f->Top(), row.expectedTop);
    }
}

TEST(About, DialogLargerThanTheWorkAreaEndsFlushLeftAndTop) {
    TfrmAbout* f = frmAbout;
    const RECT wa = WorkArea();
    f->SetBounds(wa.left + 50, wa.top + 40, wa.right - wa.left + 40, wa.bottom - wa.top + 30);
    ASSERT_GT(f->Width(), wa.right - wa.left);
    ASSERT_GT(f->Height(), wa.bottom - wa.top);
    f->FormActivate(f);
    EXPECT_EQ(f->Left(), wa.left);
    EXPECT_EQ(f->Top(), wa.top);
    f->SetClientSize(315, 184);
}

TEST(About, ShownOverTheMainFormInTheLowerRightCornerItMeetsTheWorkAreaEdges) {
    const RECT wa = WorkArea();
    mainForm->SetBounds(wa.right - 150, wa.bottom - 100, 200, 150);
    RECT shown{};
    const tk::TModalResult result = RunModal(frmAbout, {
        [&] {
            ::GetWindowRect(frmAbout->Handle(), &shown);
            PostKey(frmAbout, WM_KEYDOWN, VK_ESCAPE);
        },
    });
    mainForm->SetBounds(100, 100, 400, 300);
    EXPECT_EQ(result, tk::mrOk);
    EXPECT_EQ(shown.right, wa.right);
    EXPECT_EQ(shown.bottom, wa.bottom);
}

} // namespace
