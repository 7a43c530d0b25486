// Drives a running Brackwater.exe from outside for the demonstration run of
// scripts/run: brings its window up, prints the log's last lines, closes it.
//   demo_control show SECONDS   wait for the main window, bring it up, wait
//   demo_control log LINES      print the log's last lines
//   demo_control disable SECONDS   press Disable, then wait
//   demo_control close          close the main window and wait until it is gone
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Search {
    const char* className;
    HWND found;
};

BOOL CALLBACK FindByClass(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, search->className) == 0) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

// The window classes are private to the program, so windows are found by
// class name among the top-level windows rather than with FindWindow.
HWND FindTopLevel(const char* className) {
    Search search{className, nullptr};
    EnumWindows(FindByClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindMainWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = FindTopLevel("TfrmMain")) return w;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(100);
    }
}

BOOL CALLBACK FindLog(HWND child, LPARAM param) {
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Edit") == 0 && (GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE)) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

int PrintLog(HWND main, int lines) {
    HWND log = nullptr;
    EnumChildWindows(main, FindLog, reinterpret_cast<LPARAM>(&log));
    if (!log) return 1;
    const int length = static_cast<int>(SendMessageA(log, WM_GETTEXTLENGTH, 0, 0));
    std::vector<char> text(length + 1);
    SendMessageA(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    std::vector<std::string> all;
    std::string current;
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\r') continue;
        if (text[i] == '\n') {
            all.push_back(current);
            current.clear();
        } else {
            current += text[i];
        }
    }
    if (!current.empty()) all.push_back(current);
    const size_t first = all.size() > size_t(lines) ? all.size() - lines : 0;
    for (size_t i = first; i < all.size(); ++i) std::printf("  %s\n", all[i].c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string command = argv[1];
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    HWND main = FindMainWindow(command == "show" ? 30000 : 2000);
    if (!main) {
        std::fprintf(stderr, "demo_control: no Brackwater window\n");
        return 1;
    }
    if (command == "show") {
        // Started in the notification area: restore the application as the
        // icon's click would.
        Sleep(1500);
        HWND application = FindTopLevel("TApplication");
        if (application && IsIconic(application))
            PostMessageA(application, WM_SYSCOMMAND, SC_RESTORE, 0);
        else
            ShowWindow(main, SW_SHOWNORMAL);
        Sleep(static_cast<DWORD>(number) * 1000);
        return 0;
    }
    if (command == "log") return PrintLog(main, number > 0 ? number : 10);
    if (command == "disable") {
        HWND button = FindWindowExA(main, nullptr, "Button", "&Disable");
        if (!button) return 1;
        SendMessageA(button, BM_CLICK, 0, 0);
        Sleep(static_cast<DWORD>(number) * 1000);
        return 0;
    }
    if (command == "close") {
        PostMessageA(main, WM_CLOSE, 0, 0);
        for (int i = 0; i < 300 && IsWindow(main); ++i) Sleep(100);
        return IsWindow(main) ? 1 : 0;
    }
    return 2;
}
