#include "ui/SingleInstance.h"

#include "toolkit/AdminMutex.h"
#include "toolkit/Forms.h"
#include "toolkit/MessageFilter.h"

#include <string>

namespace {

// "Local\": the namespace of this session, so each user logged on has one.
constexpr const char* kMutexName = "Local\\Corvantis.Brackwater.Instance";
constexpr const char* kWindowTitle = "Corvantis.Brackwater.Instance";
constexpr const char* kShowMessageName = "Corvantis.Brackwater.ShowInstance";
constexpr UINT kAnswerTimeoutMs = 2000;
// The first instance holds the mutex a moment before its window exists.
constexpr DWORD kWindowWaitMs = 2000;
constexpr DWORD kWindowPollMs = 50;

UINT ShowMessage() { return ::RegisterWindowMessageA(kShowMessageName); }

// What "&Open/Hide" does for a minimised program; a restored one only comes to the front.
void BringProgramBack() {
    if (!tk::Application) return;
    if (tk::Application->IsMinimized()) {
        tk::Application->Restore();
    } else if (tk::TForm* main = tk::Application->MainForm()) {
        main->Show();
        ::SetForegroundWindow(main->Handle());
    }
}

// The full path of the program a process runs; empty when it cannot be read.
std::wstring ProcessImage(HANDLE Process) {
    wchar_t path[32768];
    DWORD size = sizeof path / sizeof path[0];
    if (!::QueryFullProcessImageNameW(Process, 0, path, &size)) return {};
    return std::wstring(path, size);
}

// The first window of the instance's title whose process runs this program:
// any process of the session may give a window that title.
HWND FindInstanceWindow() {
    const std::wstring own = ProcessImage(::GetCurrentProcess());
    if (own.empty()) return nullptr;
    for (HWND window = nullptr; (window = ::FindWindowExA(nullptr, window, nullptr, kWindowTitle));) {
        DWORD id = 0;
        ::GetWindowThreadProcessId(window, &id);
        const tk::UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (!process) continue;
        const std::wstring image = ProcessImage(process.get());
        if (!image.empty() && ::CompareStringOrdinal(image.c_str(), static_cast<int>(image.size()), own.c_str(),
                                                     static_cast<int>(own.size()), TRUE) == CSTR_EQUAL)
            return window;
    }
    return nullptr;
}

HWND FindFirstInstance() {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND window = FindInstanceWindow()) return window;
        if (::GetTickCount() - start >= kWindowWaitMs) return nullptr;
        ::Sleep(kWindowPollMs);
    }
}

} // namespace

TSingleInstance::TSingleInstance() {
    tk::TAdminMutex made = tk::CreateAdminMutex(kMutexName);
    if (made.Mutex && !made.Existed) {
        mutex_ = std::move(made.Mutex);
        return;
    }
    // Only another Brackwater can have made it owned by Administrators or
    // SYSTEM. Anything else (another owner, one that cannot be read, access
    // denied, a creation refused) may be a squatter: a first instance that
    // found it so answers all the same, and without one this start is the
    // first (the adapter lock still keeps two copies off one adapter).
    const bool brackwaters = made.Mutex && tk::OwnedByAdministrators(made.Mutex.get());
    first_ = !brackwaters && !FindInstanceWindow();
}

void TSingleInstance::AnswerLaterStarts(std::function<bool()> MayShow) {
    if (!first_ || window_) return;
    const UINT show = ShowMessage();
    window_ = std::make_unique<tk::TUtilityWindow>([show, MayShow](HWND w, UINT message, WPARAM wParam,
                                                                   LPARAM lParam) {
        if (message == show && show != 0) {
            // Answered either way: the later start ends quietly.
            if (MayShow()) BringProgramBack();
            return LRESULT(0);
        }
        return ::DefWindowProcA(w, message, wParam, lParam);
    });
    if (!window_->Handle()) return;
    ::SetWindowTextA(window_->Handle(), kWindowTitle);
    // A program run as administrator would not hear a second start run without.
    tk::AllowMessageThrough(window_->Handle(), show);
}

bool TSingleInstance::ShowFirstInstance() {
    HWND first = FindFirstInstance();
    const UINT show = ShowMessage();
    if (first && show != 0) {
        // The program just started by the user may hand the foreground on; the
        // first instance could not take it by itself.
        DWORD process = 0;
        ::GetWindowThreadProcessId(first, &process);
        if (process) ::AllowSetForegroundWindow(process);
        DWORD_PTR answer = 0;
        if (::SendMessageTimeoutA(first, show, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer)) return true;
    }
    // The mutex is held, but by nothing that answers: a hung instance, or
    // another program squatting the name.
    tk::MessageBox(nullptr,
                   "Brackwater is already running but does not answer. End it in Task Manager, or restart Windows, "
                   "and start Brackwater again.",
                   "Information", MB_OK | MB_ICONINFORMATION);
    return false;
}
