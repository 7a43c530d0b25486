// The windowing toolkit where it can go wrong: registry types and sizes, the
// error-box text, component ownership and removal, displayed-line handling of
// the memo, message boxes placed on the screen, errors in event handlers,
// dialog keys of modal forms and minimising the whole program.
#include "tests/BoxWatcher.h"
#include "tests/LoopSteps.h"
#include "tests/TestRegistry.h"
#include "toolkit/Classes.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Exception.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"
#include "toolkit/Registry.h"
#include "toolkit/Menus.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/UtilWindow.h"
#include "toolkit/WindowSubclass.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tk;

TApplication& App() {
    static TApplication* app = [] {
        auto* a = new TApplication;
        a->Initialize();
        a->SetTitle("Toolkit Test");
        return a;
    }();
    return *app;
}

// ---- Registry

constexpr const char* kTestKey = "Software\\BrackwaterToolkitTest";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteKey(kTestKey);
        ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, true));
    }
    void TearDown() override {
        reg.CloseKey();
        DeleteKey(kTestKey);
    }
    static void Raw(const char* name, DWORD type, const void* data, DWORD size) {
        SetValue(name, type, data, size, kTestKey);
    }
    template <typename F>
    static std::string ErrorOf(F&& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.what();
        }
        return "(no error)";
    }
    TRegistry reg;
};

TEST_F(RegistryTest, RoundTripsAndAbsentValues) {
    EXPECT_FALSE(reg.ValueExists("Number"));
    reg.WriteInteger("Number", -123456);
    reg.WriteInteger("Low", INT_MIN);
    reg.WriteBool("Yes", true);
    reg.WriteBool("No", false);
    reg.WriteString("Empty", "");
    reg.WriteString("Text", "eth0 {4D36E972}");
    EXPECT_TRUE(reg.ValueExists("Number"));
    EXPECT_EQ(reg.ReadInteger("Number"), -123456);
    EXPECT_EQ(reg.ReadInteger("Low"), INT_MIN);
    EXPECT_TRUE(reg.ReadBool("Yes"));
    EXPECT_FALSE(reg.ReadBool("No"));
    EXPECT_EQ(reg.ReadInteger("Yes"), 1);
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_EQ(reg.ReadString("Text"), "eth0 {4D36E972}");

    const DWORD two = 2;
    Raw("Two", REG_DWORD, &two, sizeof two);
    EXPECT_TRUE(reg.ReadBool("Two"));

    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("Missing"); }), "Failed to get data for 'Missing'");
    // The optional reads answer "absent" for a missing value only; a present
    // value of another type still fails with its text.
    EXPECT_FALSE(reg.ReadOptionalInteger("Missing"));
    EXPECT_FALSE(reg.ReadOptionalString("Missing"));
    EXPECT_EQ(reg.ReadOptionalInteger("Number"), -123456);
    EXPECT_EQ(reg.ReadOptionalString("Empty"), "");
    EXPECT_EQ(ErrorOf([&] { reg.ReadOptionalInteger("Text"); }), "Failed to get data for 'Text'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadOptionalInteger("Empty"); }), "Invalid data type for 'Empty'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadOptionalString("Number"); }), "Invalid data type for 'Number'");
}

TEST_F(RegistryTest, ValuesOfAnotherTypeFailWithTheExactText) {
    const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const DWORD one = 1;
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
        int reader; // 0 integer, 1 boolean, 2 string
        const char* expected;
    };
    const Case cases[] = {
        {"Bin4", REG_BINARY, bytes, 4, 0, "Invalid data type for 'Bin4'"},
        {"Bin2", REG_BINARY, bytes, 2, 1, "Invalid data type for 'Bin2'"},
        {"Bin5", REG_BINARY, bytes, 5, 0, "Failed to get data for 'Bin5'"},
        {"Bin8", REG_BINARY, bytes, 8, 1, "Failed to get data for 'Bin8'"},
        {"Str3", REG_SZ, "ab", 3, 0, "Invalid data type for 'Str3'"},
        {"Str6", REG_SZ, "hello", 6, 1, "Failed to get data for 'Str6'"},
        {"Dword", REG_DWORD, &one, 4, 2, "Invalid data type for 'Dword'"},
        {"Binary", REG_BINARY, bytes, 8, 2, "Invalid data type for 'Binary'"},
        {"Multi", REG_MULTI_SZ, "a\0b\0", 5, 2, "Invalid data type for 'Multi'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Raw(c.name, c.type, c.data, c.size);
        const std::string error = ErrorOf([&] {
            if (c.reader == 0) reg.ReadInteger(c.name);
            if (c.reader == 1) reg.ReadBool(c.name);
            if (c.reader == 2) reg.ReadString(c.name);
        });
        EXPECT_EQ(error, c.expected);
    }
}

TEST_F(RegistryTest, StringsWithoutTerminatorExpandableAndLong) {
    Raw("NoNul", REG_SZ, "abc", 3);
    EXPECT_EQ(reg.ReadString("NoNul"), "abc");
    Raw("Inner", REG_SZ, "ab\0cd", 6);
    EXPECT_EQ(reg.ReadString("Inner"), "ab");
    Raw("Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    EXPECT_EQ(reg.ReadString("Expand"), "%TEMP%\\x");

    std::string longText(100000, 'x');
    for (size_t i = 0; i < longText.size(); i += 7) longText[i] = static_cast<char>('a' + i % 26);
    reg.WriteString("Long", longText);
    EXPECT_EQ(reg.ReadString("Long"), longText);
    Raw("LongNoNul", REG_SZ, longText.data(), static_cast<DWORD>(longText.size()));
    EXPECT_EQ(reg.ReadString("LongNoNul"), longText);
}

TEST_F(RegistryTest, OpeningAndFailedWrites) {
    TRegistry other;
    EXPECT_FALSE(other.OpenKey(std::string("\\") + kTestKey + "\\Absent", false));
    EXPECT_EQ(other.CurrentKey(), nullptr);
    ASSERT_TRUE(other.OpenKey(std::string("\\") + kTestKey, false));
    // Relative to the open key; a failed open keeps the key that was open.
    EXPECT_FALSE(other.OpenKey("Absent", false));
    EXPECT_EQ(other.CurrentPath(), kTestKey);
    ASSERT_TRUE(other.OpenKey("Sub", true));
    EXPECT_EQ(other.CurrentPath(), std::string(kTestKey) + "\\Sub");
    other.CloseKey();

    TRegistry closed;
    EXPECT_EQ(ErrorOf([&] { closed.WriteInteger("X", 1); }), "Failed to set data for 'X'");
    EXPECT_FALSE(closed.ValueExists("X"));

    // The key removed from under an open handle: every write fails.
    DeleteKey(kTestKey);
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("Gone", "v"); }), "Failed to set data for 'Gone'");
    EXPECT_EQ(ErrorOf([&] { reg.WriteBool("GoneToo", true); }), "Failed to set data for 'GoneToo'");
}

// ---- Error box text

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersAboveIt) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Invalid data type for 'BadTTL'", "Invalid data type for 'BadTTL'"},
        {"Failed to set data for 'X'", "Failed to set data for 'X'"},
        {"Disk full", "Disk full."},
        {"Ends with a stop.", "Ends with a stop."},
        {"Bang!", "Bang!"},
        {"Dash -", "Dash -"},
        {"Slash /", "Slash /."},
        {"Digit 1", "Digit 1."},
        {"caf\xE9", "caf\xE9."},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

// ---- Components

struct Probe : TComponent {
    Probe(TComponent* owner, std::string name, std::vector<std::string>& log) : TComponent(owner), log_(log) {
        SetName(std::move(name));
    }
    ~Probe() override { log_.push_back("~" + Name()); }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove) {
            log_.push_back(Name() + " hears " + c->Name());
            if (c == partner) partner = nullptr;
        }
    }
    void Loaded() override {
        TComponent::Loaded();
        log_.push_back("loaded " + Name());
    }
    TComponent* partner = nullptr;
    std::vector<std::string>& log_;
};

TEST(Component, OwnerDestroysInReverseOrderAndSiblingsHearOfRemovals) {
    std::vector<std::string> log;
    auto* owner = new Probe(nullptr, "owner", log);
    auto* a = new Probe(owner, "a", log);
    auto* b = new Probe(owner, "b", log);
    auto* c = new Probe(owner, "c", log);
    a->partner = c;
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->FindComponent("B"), b);
    EXPECT_FALSE(owner->Designing());

    owner->LoadedAll();
    EXPECT_FALSE(a->Loading());
    EXPECT_EQ(log, (std::vector<std::string>{"loaded a", "loaded b", "loaded c", "loaded owner"}));
    log.clear();

    TComponent::Free(c);
    EXPECT_EQ(a->partner, nullptr);
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"~c", "a hears c", "b hears c", "owner hears c"}));
    log.clear();

    TComponent::Free(owner);
    std::vector<std::string> ends;
    for (const auto& line : log)
        if (line[0] == '~') ends.push_back(line);
    EXPECT_EQ(ends, (std::vector<std::string>{"~b", "~a", "~owner"}));
}

TEST(Component, FreeNotificationReachesAcrossOwners) {
    std::vector<std::string> log;
    auto* left = new Probe(nullptr, "left", log);
    auto* right = new Probe(nullptr, "right", log);
    auto* user = new Probe(left, "user", log);
    auto* used = new Probe(right, "used", log);
    user->partner = used;
    user->FreeNotification(used);
    TComponent::Free(right);
    EXPECT_EQ(user->partner, nullptr);
    log.clear();
    // The link is gone both ways: the user's end reaches only its owner.
    TComponent::Free(left);
    EXPECT_EQ(log, (std::vector<std::string>{"~user", "left hears user", "~left"}));
}

// A form's destruction handler runs while the derived form still exists,
// before its components.
struct LifeForm : TForm {
    explicit LifeForm(TComponent* owner, std::vector<std::string>& log)
        : TForm(owner, "TLifeForm"), log_(log), text("alive") {
        probe = new Probe(this, "probe", log);
        OnDestroy = [this](TObject*) { log_.push_back("destroy sees " + text); };
    }
    std::vector<std::string>& log_;
    std::string text;
    Probe* probe;
};

TEST(Component, FormDestroyHandlerRunsBeforeItsPartsGo) {
    App();
    std::vector<std::string> log;
    auto* form = new LifeForm(nullptr, log);
    form->AfterConstruction();
    EXPECT_EQ(log, (std::vector<std::string>{"loaded probe"}));
    HWND window = form->Handle();
    TComponent::Free(form);
    EXPECT_EQ(log, (std::vector<std::string>{"loaded probe", "destroy sees alive", "~probe"}));
    EXPECT_FALSE(::IsWindow(window));
}

// ---- A plain form for control tests

struct PlainForm : TForm {
    explicit PlainForm(TComponent* owner) : TForm(owner, "TPlainForm") {
        SetBorderStyle(TFormBorderStyle::bsSingle);
        SetBorderIcons(biSystemMenu | biMinimize);
        SetClientSize(400, 300);
    }
};

TEST(Form, ClientSizeAndFontFollowTheLayout) {
    App();
    auto* form = new PlainForm(nullptr);
    EXPECT_EQ(form->ClientWidth(), 400);
    EXPECT_EQ(form->ClientHeight(), 300);
    const LONG style = ::GetWindowLongA(form->Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(::GetWindow(form->Handle(), GW_OWNER), App().Handle());
    LOGFONTA lf{};
    ::GetObjectA(form->FormFont(), sizeof lf, &lf);
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(lf.lfHeight, -11);

    auto* label = new TLabel(form, "&Filter :", 8, 14);
    auto* bold = new TLabel(form, "&Filter :", 8, 40);
    bold->SetFontStyles(fsBold);
    EXPECT_EQ(label->Left(), 8);
    EXPECT_EQ(label->Top(), 14);
    EXPECT_GT(label->Width(), 0);
    EXPECT_GT(bold->Width(), label->Width());
    EXPECT_EQ(label->Accelerator(), 'F');
    EXPECT_EQ(label->Owner(), form);
    TComponent::Free(form);
}

TEST(Memo, CountsAndDeletesDisplayedLines) {
    App();
    auto* form = new PlainForm(nullptr);
    auto* memo = new TMemo(form, 8, 8, 200, 200);
    EXPECT_EQ(memo->LineCount(), 0);
    memo->Append("first");
    memo->Append("second");
    EXPECT_EQ(memo->LineCount(), 2);
    EXPECT_EQ(memo->Line(1), "second");

    // A line wider than the box wraps into several displayed lines.
    std::string wide;
    for (int i = 0; i < 40; ++i) wide += "word" + std::to_string(i) + " ";
    memo->Append(wide);
    const int withWide = memo->LineCount();
    EXPECT_GT(withWide, 4);

    memo->DeleteLine(0);
    memo->DeleteLine(0);
    EXPECT_EQ(memo->LineCount(), withWide - 2);
    // Deleting a displayed part of the wrapped line takes only that part.
    const std::string firstPart = memo->Line(0);
    memo->DeleteLine(0);
    EXPECT_EQ(memo->LineCount(), withWide - 3);
    EXPECT_EQ(memo->Text().find(firstPart), std::string::npos);
    EXPECT_NE(memo->Text().find("word39"), std::string::npos);

    // A log capped at a number of displayed lines.
    memo->Clear();
    for (int i = 0; i < 50; ++i) {
        while (memo->LineCount() >= 10) memo->DeleteLine(0);
        memo->Append("line " + std::to_string(i));
    }
    EXPECT_EQ(memo->LineCount(), 10);
    EXPECT_EQ(memo->Line(0), "line 40");
    EXPECT_EQ(memo->Line(9), "line 49");

    // No length limit at 30000 characters.
    memo->Clear();
    std::string chunk(1000, 'z');
    for (int i = 0; i < 40; ++i) memo->Append(chunk);
    EXPECT_GT(memo->Text().size(), 40000u);
    TComponent::Free(form);
}

// ---- Message boxes and the error box

TEST(MessageBoxes, AreCentredOnTheScreenNotOnTheirOwner) {
    App();
    auto* form = new PlainForm(nullptr);
    ::SetWindowPos(form->Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    form->Show();
    BoxWatcher watch;
    const int answer = tk::MessageBox(form->Handle(), "Please select a network adapter to filter.", "Information",
                                      MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(watch.Boxes().size(), 1u);
    const BoxWatcher::Box box = watch.Boxes()[0];
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.text, "Please select a network adapter to filter.");
    const int centreX = (box.rect.left + box.rect.right) / 2;
    const int centreY = (box.rect.top + box.rect.bottom) / 2;
    EXPECT_NEAR(centreX, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR(centreY, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    TComponent::Free(form);
}

struct FailingForm : TForm {
    explicit FailingForm(TComponent* owner) : TForm(owner, "TFailingForm") {
        OnCreate = [this](TObject*) {
            steps.push_back("before");
            throw Exception("Invalid data type for 'WindowTop'");
            steps.push_back("after");
        };
    }
    std::vector<std::string> steps;
};

TEST(ErrorBox, AnErrorInAHandlerEndsItAndIsShown) {
    App();
    BoxWatcher watch;
    auto* form = new FailingForm(nullptr);
    form->AfterConstruction();
    EXPECT_EQ(form->steps, std::vector<std::string>{"before"});
    ASSERT_EQ(watch.Boxes().size(), 1u);
    EXPECT_EQ(watch.Boxes()[0].caption, "Toolkit Test");
    EXPECT_EQ(watch.Boxes()[0].text, "Invalid data type for 'WindowTop'");

    // The same from a button's click arriving through the window procedure.
    auto* button = new TButton(form, "&Go", 10, 10, 75, 25);
    button->OnClick = [](TObject*) { throw Exception("Disk full"); };
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(watch.Boxes().size(), 2u);
    EXPECT_EQ(watch.Boxes()[1].text, "Disk full.");
    TComponent::Free(form);
}

// A handler that fails again while its window's box is up (the box's loop
// runs inside the failing procedure) adds no second box.
struct TwiceFailingForm : TForm {
    explicit TwiceFailingForm(TComponent* owner) : TForm(owner, "TTwiceFailingForm") {}
    static constexpr UINT kFail = WM_APP + 5;
    int failures = 0;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != kFail) return TForm::WndProc(message, wParam, lParam);
        // Taken by the box's loop before the watcher answers it.
        if (++failures == 1) ::PostMessageA(Handle(), kFail, 0, 0);
        throw Exception("Disk full");
    }
};

TEST(ErrorBox, AHandlerFailingWhileItsBoxIsUpStacksNoSecondBox) {
    App();
    BoxWatcher watch;
    auto* form = new TwiceFailingForm(nullptr);
    ::SendMessageA(form->Handle(), TwiceFailingForm::kFail, 0, 0);
    EXPECT_EQ(form->failures, 2);
    EXPECT_EQ(watch.Boxes().size(), 1u);
    TComponent::Free(form);
}

// ---- Modal forms and dialog keys

struct DialogForm : TForm {
    explicit DialogForm(TComponent* owner) : TForm(owner, "TDialogForm") {
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetClientSize(333, 171);
        Position = TPosition::poScreenCenter;
        check = new TCheckBox(this, "Confirm e&xit", 24, 16, 200, 17);
        label = new TLabel(this, "If &TTL <=", 24, 59);
        edit = new TEdit(this, 88, 56, 33, 21);
        spin = new TUpDown(this, edit);
        label->FocusControl = edit;
        panel = new TPanel(this, 0, 0, 333, 41);
        panel->SetAlign(TAlign::alBottom);
        panel->SetBevelOuter(TPanelBevel::bvNone);
        ok = new TButton(panel, "Save", 170, 8, 75, 25);
        ok->SetDefault(true);
        ok->ModalResult = mrOk;
        cancel = new TButton(panel, "Cancel", 250, 8, 75, 25);
        cancel->SetCancel(true);
        cancel->ModalResult = mrCancel;
    }
    TCheckBox* check;
    TLabel* label;
    TEdit* edit;
    TUpDown* spin;
    TPanel* panel;
    TButton* ok;
    TButton* cancel;
};

void Key(HWND window, UINT message, WPARAM key) { ::PostMessageA(window, message, key, 0); }

TEST(ModalForm, EnterPicksTheDefaultButtonAndEscTheCancelButton) {
    App();
    auto* form = new DialogForm(nullptr);
    form->AfterConstruction();
    EXPECT_EQ(form->panel->Top(), 171 - 41);
    EXPECT_EQ(form->panel->Width(), 333);

    LoopSteps enter;
    enter.Then([form] { Key(form->edit->Handle(), WM_KEYDOWN, VK_RETURN); }, [form] { return form->Modal(); });
    form->edit->SetFocus();
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_FALSE(form->Visible());

    LoopSteps esc;
    esc.Then([form] { Key(form->check->Handle(), WM_KEYDOWN, VK_ESCAPE); }, [form] { return form->Modal(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);

    // Closing the window counts as Cancel.
    LoopSteps close;
    close.Then([form] { ::PostMessageA(form->Handle(), WM_CLOSE, 0, 0); }, [form] { return form->Modal(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    TComponent::Free(form);
}

// The pixels of `control`'s window within its parent.
RECT PixelBounds(const TControl* control) {
    RECT r{};
    ::GetWindowRect(control->Handle(), &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control->Handle()), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Windows sends WM_DPICHANGED when the form reaches a monitor of another
// scale; the layout at 96 DPI is drawn again at the new scale and comes back
// exactly at the old one.
TEST(Form, ADpiChangeLaysTheFormOutAgainInTheSuggestedRectangle) {
    App();
    auto* form = new DialogForm(nullptr);
    auto* list = new TListView(form, 8, 100, 200, 40);
    list->AddColumn("Name", 100);
    auto* images = new TImageList(form, 16, 16);
    images->AddIcon(::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)));
    list->SetSmallImages(images);
    form->AfterConstruction();
    RECT original{};
    ::GetWindowRect(form->Handle(), &original);
    const RECT okPixels = PixelBounds(form->ok);

    const struct {
        int dpi;
        RECT suggested;
        RECT ok;  // in the panel, in pixels
        int fontHeight, column, image;
    } rows[] = {
        {144, {40, 30, 40 + 560, 30 + 330}, {255, 12, 255 + 113, 12 + 38}, -16, 150, 24},
        {96, original, okPixels, -11, 100, 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dpi);
        RECT suggested = row.suggested;
        ::SendMessageA(form->Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(row.dpi, row.dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        RECT now{};
        ::GetWindowRect(form->Handle(), &now);
        EXPECT_TRUE(::EqualRect(&now, &row.suggested));
        EXPECT_EQ(form->Dpi(), row.dpi);
        const RECT ok = PixelBounds(form->ok);
        EXPECT_TRUE(::EqualRect(&ok, &row.ok)) << ok.left << "," << ok.top << " " << ok.right << "," << ok.bottom;
        // The layout itself is unchanged, the panel still fills the bottom.
        EXPECT_EQ(form->ok->Left(), 170);
        EXPECT_EQ(form->ok->Width(), 75);
        RECT client{};
        ::GetClientRect(form->Handle(), &client);
        EXPECT_EQ(PixelBounds(form->panel).bottom, client.bottom);
        EXPECT_EQ(form->panel->Height(), 41);
        LOGFONTA lf{};
        ::GetObjectA(form->ok->Font(), sizeof lf, &lf);
        EXPECT_EQ(lf.lfHeight, row.fontHeight);
        EXPECT_EQ(::SendMessageA(list->Handle(), LVM_GETCOLUMNWIDTH, 0, 0), row.column);
        EXPECT_EQ(images->Width(), row.image);
        EXPECT_EQ(images->Count(), 1);
    }
    TComponent::Free(form);
}

TEST(ModalForm, TabAndAcceleratorsMoveTheFocus) {
    App();
    auto* form = new DialogForm(nullptr);
    form->AfterConstruction();
    std::vector<HWND> focus;
    LoopSteps keys;
    keys.Then([&] {
        // Under a bare X server the activation can be lost; focus is what counts here.
        form->check->SetFocus();
        focus.push_back(::GetFocus());
        MSG msg{::GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        TForm::IsDialogKey(msg);
        focus.push_back(::GetFocus());
        // Alt+T: the label's accelerator focuses its edit box.
        msg = {::GetFocus(), WM_SYSCHAR, 'T', 0, 0, {}};
        form->check->SetFocus();
        msg.hwnd = ::GetFocus();
        EXPECT_TRUE(TForm::IsDialogKey(msg));
        focus.push_back(::GetFocus());
        // Alt+X toggles the check box.
        msg = {::GetFocus(), WM_SYSCHAR, 'x', 0, 0, {}};
        EXPECT_TRUE(TForm::IsDialogKey(msg));
        focus.push_back(::GetFocus());
        form->ModalResult = mrOk;
    }, [form] { return form->Modal(); });
    EXPECT_EQ(form->ShowModal(), mrOk);
    ASSERT_EQ(focus.size(), 4u);
    EXPECT_EQ(focus[0], form->check->Handle());
    EXPECT_EQ(focus[1], form->edit->Handle());
    EXPECT_EQ(focus[2], form->edit->Handle());
    EXPECT_EQ(focus[3], form->check->Handle());
    EXPECT_TRUE(form->check->Checked());
    TComponent::Free(form);
}

TEST(UpDown, WrapsHoldsItsRangeAndReadsTheEditBox) {
    App();
    auto* form = new DialogForm(nullptr);
    TUpDown* spin = form->spin;
    spin->SetRange(0, 255);
    spin->SetWrap(true);
    spin->SetPosition(300);
    EXPECT_EQ(spin->Position(), 255);
    EXPECT_EQ(form->edit->Text(), "255");
    // Up from the top wraps to the bottom.
    ::SendMessageA(form->edit->Handle(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(spin->Position(), 0);
    ::SendMessageA(form->edit->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(spin->Position(), 255);
    form->edit->SetText("77");
    EXPECT_EQ(spin->Position(), 77);
    form->edit->SetText("abc");
    EXPECT_EQ(spin->Position(), 77);
    form->edit->SetText("999");
    EXPECT_EQ(spin->Position(), 77);
    spin->SetPosition(1234 % 256);
    EXPECT_EQ(form->edit->Text(), "210");
    TComponent::Free(form);
}

// ---- Window procedures of objects

TEST(WindowProcedures, SubclassesAndUtilityWindowReachTheirObjects) {
    App();
    auto* form = new PlainForm(nullptr);
    HWND window = form->Handle();
    constexpr UINT kProbe = WM_APP + 7;
    const LONG_PTR original = ::GetWindowLongPtrA(window, GWLP_WNDPROC);
    std::vector<std::string> seen;
    auto recorder = [&](const char* name) {
        return [&seen, name](HWND w, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == kProbe) seen.push_back(name + std::to_string(wParam));
            return TWindowSubclass::CallPrevious(w, message, wParam, lParam);
        };
    };
    {
        auto first = std::make_unique<TWindowSubclass>(window, recorder("a"));
        auto second = std::make_unique<TWindowSubclass>(window, recorder("b"));
        ASSERT_TRUE(first->Installed());
        ASSERT_TRUE(second->Installed());
        ::SendMessageA(window, kProbe, 1, 0);
        // The window's own procedure still does its work behind both.
        ::SetWindowTextA(window, "hooked");
        EXPECT_EQ(form->Caption(), "hooked");

        // Removed out of order, the later one keeps working.
        first.reset();
        ::SendMessageA(window, kProbe, 2, 0);
        ::SetWindowTextA(window, "after");
        EXPECT_EQ(form->Caption(), "after");
        second.reset();
        ::SendMessageA(window, kProbe, 3, 0);
        EXPECT_EQ(seen, (std::vector<std::string>{"b1", "a1", "b2"}));
    }
    // The last removal puts the window's own procedure back.
    {
        TWindowSubclass only(window, recorder("c"));
        EXPECT_NE(::GetWindowLongPtrA(window, GWLP_WNDPROC), original);
    }
    EXPECT_EQ(::GetWindowLongPtrA(window, GWLP_WNDPROC), original);
    TComponent::Free(form);

    // A subclass chained on top of a system-class control, taken off before
    // or after the control: the window's class procedure gets every message
    // to the last (a checked box answers BM_GETCHECK; the default procedure
    // would not).
    for (const bool controlFirst : {true, false}) {
        SCOPED_TRACE(controlFirst ? "control first" : "subclass first");
        auto* host = new PlainForm(nullptr);
        auto* check = new TCheckBox(host, "Confirm e&xit", 8, 8, 120, 17);
        check->SetChecked(true);
        HWND box = check->Handle();
        LRESULT checkedAtDestroy = -1;
        auto outer = std::make_unique<TWindowSubclass>(box, [&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_DESTROY) checkedAtDestroy = ::SendMessageA(w, BM_GETCHECK, 0, 0);
            return TWindowSubclass::CallPrevious(w, message, wParam, lParam);
        });
        if (controlFirst) {
            TComponent::Free(check);
            EXPECT_EQ(checkedAtDestroy, BST_CHECKED);
            outer.reset();
        } else {
            outer.reset();
            ::SendMessageA(box, BM_CLICK, 0, 0);
            EXPECT_FALSE(check->Checked());
            EXPECT_EQ(TControl::FromHandle(box), check);
        }
        TComponent::Free(host);
    }

    UINT got = 0;
    TUtilityWindow utility([&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == kProbe) {
            got = static_cast<UINT>(wParam);
            return 5;
        }
        if (message == WM_CLOSE) throw Exception("dropped");
        return ::DefWindowProcA(w, message, wParam, lParam);
    });
    ASSERT_TRUE(utility.Handle());
    EXPECT_FALSE(::IsWindowVisible(utility.Handle()));
    EXPECT_EQ(::SendMessageA(utility.Handle(), kProbe, 44, 0), 5);
    EXPECT_EQ(got, 44u);
    // An exception in the handler is dropped; the window stays.
    EXPECT_EQ(::SendMessageA(utility.Handle(), WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(::IsWindow(utility.Handle()));
}

TEST(PopupMenu, PicksAnItemPastTheSeparatorAndClicksIt) {
    App();
    std::vector<std::string> clicks;
    TPopupMenu menu(nullptr);
    TMenuItem open(nullptr, "&Open/Hide");
    TMenuItem separator(nullptr, "-");
    TMenuItem exitItem(nullptr, "E&xit");
    open.Default = true;
    open.OnClick = [&](TObject* sender) { clicks.push_back(static_cast<TMenuItem*>(sender)->Caption); };
    exitItem.OnClick = open.OnClick;
    menu.Items()->Add(&open);
    menu.Items()->Add(&separator);
    menu.Items()->Add(&exitItem);
    EXPECT_EQ(menu.Items()->Count(), 3);
    EXPECT_TRUE(separator.IsSeparator());

    LoopSteps keys;
    keys.Then([] {
        for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) Key(App().Handle(), WM_KEYDOWN, key);
    }, MenuOpen);
    menu.Popup(100, 100);
    EXPECT_EQ(clicks, std::vector<std::string>{"E&xit"});

    // The default item is what a caller clicks for a double click.
    open.Click();
    EXPECT_EQ(clicks.back(), "&Open/Hide");
}

// ---- The application as a whole (last: it makes the main form)

struct MainForm : TForm {
    explicit MainForm(TComponent* owner) : TForm(owner, "TToolkitMain") {
        SetBorderStyle(TFormBorderStyle::bsSingle);
        SetBorderIcons(biSystemMenu | biMinimize);
        SetClientSize(300, 200);
        list = new TListView(this, 8, 8, 280, 150);
        list->AddColumn("Name", 200);
        list->AddColumn("Internal Name", 300);
    }
    TListView* list;
};

TEST(Application, MinimisingHidesTheMainFormAndRestoringBringsItBack) {
    App();
    MainForm* main = nullptr;
    App().CreateForm(main);
    ASSERT_EQ(App().MainForm(), main);

    TListItem* row = main->list->Add();
    row->SetCaption("(1) First");
    row->AddSubItem("\\DEVICE\\{A}");
    row->Data = 1;
    TListItem* second = main->list->Add();
    second->SetCaption("(2) Second");
    second->Data = 2;
    EXPECT_EQ(main->list->Selected(), nullptr);
    second->SetSelected(true);
    EXPECT_EQ(main->list->Selected(), second);
    EXPECT_EQ(main->list->Selected()->Data, 2);
    EXPECT_EQ(row->SubItem(0), "\\DEVICE\\{A}");

    main->Show();
    EXPECT_TRUE(::IsWindowVisible(main->Handle()));
    // The minimise button minimises the application, not the form.
    ::SendMessageA(main->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    App().ProcessMessages();
    EXPECT_TRUE(App().IsMinimized());
    EXPECT_FALSE(::IsIconic(main->Handle()));
    EXPECT_FALSE(::IsWindowVisible(main->Handle()));

    App().Restore();
    App().ProcessMessages();
    EXPECT_FALSE(App().IsMinimized());
    EXPECT_TRUE(::IsWindowVisible(main->Handle()));

    // Hidden while minimised (as in the notification area) and still restored.
    App().Minimize();
    ::ShowWindow(App().Handle(), SW_HIDE);
    App().Restore();
    EXPECT_TRUE(::IsWindowVisible(App().Handle()));
    EXPECT_TRUE(::IsWindowVisible(main->Handle()));

    // Started minimised: the form comes back in its normal state.
    main->Hide();
    main->SetWindowState(TWindowState::wsMinimized);
    App().Minimize();
    App().Restore();
    EXPECT_EQ(main->WindowState(), TWindowState::wsNormal);
    EXPECT_TRUE(::IsWindowVisible(main->Handle()));
}

} // namespace
