// Answers a message box of the setup in the package test's scratch Wine
// prefix, as a user would:
//   setup_probe CAPTION BUTTON_ID SECONDS
// waits for a message box (a dialog holding the static of id 0xFFFF) with that
// caption, prints its text, presses the button; exits 1 if none came in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[16] = {}, title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    // The setup's wizard is a dialog with the same caption but no such static.
    if (std::strcmp(cls, "#32770") == 0 && std::strcmp(title, search->caption) == 0 && GetDlgItem(w, 0xFFFF)) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int button = std::atoi(argv[2]);
    const DWORD timeout = static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    const DWORD start = GetTickCount();
    Search search{argv[1], nullptr};
    while (EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search)), !search.found) {
        if (GetTickCount() - start > timeout) return 1;
        Sleep(100);
    }
    char text[2048] = {};
    GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    std::fflush(stdout);
    PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return 0;
}
