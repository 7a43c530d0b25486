// Answers the setup in the package test's scratch Wine prefix, as a user would:
//   setup_probe CAPTION BUTTON_ID SECONDS
// waits for a message box (a dialog holding the static of id 0xFFFF) with that
// caption, prints its text, presses the button; exits 1 if none came in time.
//   setup_probe CAPTION wizard SECONDS
// takes every default of the wizard of that caption, answering its message
// boxes with Yes (or OK) and printing their texts, up to its finish page;
// prints whether "Start
// Brackwater now" is ticked there ("ticked" or "unticked"), unticks it and
// clicks Finish; exits 1 if the finish page did not come in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Search {
    const char* caption;
    bool box;  // or else the wizard: a dialog with the same caption but no such static
    HWND found;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[16] = {}, title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    // The wizard's caption gains a blank after its first page.
    if (std::strcmp(cls, "#32770") == 0 && std::strncmp(title, search->caption, std::strlen(search->caption)) == 0 &&
        IsWindowVisible(w) &&
        (GetDlgItem(w, 0xFFFF) != nullptr) == search->box) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND Find(const char* caption, bool box) {
    Search search{caption, box, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Answer(HWND box, int button) {
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

int WalkWizard(const char* caption, DWORD timeout) {
    HWND left = nullptr;
    for (const DWORD start = GetTickCount(); GetTickCount() - start <= timeout; Sleep(250)) {
        if (HWND box = Find(caption, true)) {
            Answer(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
            continue;
        }
        HWND wizard = Find(caption, false), page = nullptr;
        // The page shown; one left may linger behind it, hidden.
        while (wizard && (page = FindWindowExA(wizard, page, "#32770", nullptr)) && !IsWindowVisible(page)) {
        }
        if (!page) continue;
        if (HWND run = FindWindowExA(page, nullptr, "Button", "Start Brackwater now")) {
            std::printf("%s\n", SendMessageA(run, BM_GETCHECK, 0, 0) == BST_CHECKED ? "ticked" : "unticked");
            SendMessageA(run, BM_SETCHECK, BST_UNCHECKED, 0);
            PostMessageA(wizard, WM_COMMAND, IDOK, 0);
            return 0;
        }
        // Once per page; the files page enables its button only when done, and
        // the finish page may show before its check box.
        HWND next = GetDlgItem(wizard, IDOK);
        char label[32] = {};
        GetWindowTextA(next, label, sizeof label);
        if (page == left || !IsWindowEnabled(next) || std::strcmp(label, "&Finish") == 0) continue;
        left = page;
        PostMessageA(wizard, WM_COMMAND, IDOK, 0);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const DWORD timeout = static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    if (std::strcmp(argv[2], "wizard") == 0) return WalkWizard(argv[1], timeout);
    const int button = std::atoi(argv[2]);
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = Find(argv[1], true))) {
        if (GetTickCount() - start > timeout) return 1;
        Sleep(100);
    }
    Answer(box, button);
    return 0;
}
