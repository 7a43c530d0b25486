#include "ui/SingleInstance.h"

#include "toolkit/Forms.h"
#include "toolkit/MessageFilter.h"

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

HWND FindFirstInstance() {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND window = ::FindWindowA(nullptr, kWindowTitle)) return window;
        if (::GetTickCount() - start >= kWindowWaitMs) return nullptr;
        ::Sleep(kWindowPollMs);
    }
}

} // namespace

TSingleInstance::TSingleInstance() {
    mutex_.reset(::CreateMutexA(nullptr, FALSE, kMutexName));
    const DWORD error = ::GetLastError();
    // Access denied: made by an instance with other rights (one run as
    // administrator, this one not, or the other way round), or squatted by
    // another program. Either way not ours to run beside.
    // Without a mutex for another reason the program cannot tell: it runs.
    first_ = mutex_ ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
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
