// Answers the setup in the package test's scratch Wine prefix, as a user would:
//   setup_probe CAPTION BUTTON_ID SECONDS
// waits for a message box (a dialog holding the static of id 0xFFFF) with that
// caption, prints its text, presses the button; exits 1 if none came in time.
//   setup_probe wizard SECONDS
// walks the setup's wizard taking every default: prints and answers each of
// its message boxes ("box: TEXT", Yes where offered, else OK), prints the
// names on the components page ("component: NAME"), and on the finish page
// prints whether "Start Brackwater now" is ticked ("start now: ticked" or
// "start now: unticked"), unticks it and clicks Finish; exits 1 if the finish
// page did not come in time.
#include "toolkit/Handles.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kSetupCaption = "Brackwater Setup";

struct Search {
    const char* cls;
    const char* text;  // null: any
    int box;           // 1: a message box (holding the static of id 0xFFFF); 0: a dialog without it; -1: either
    HWND found;
};

BOOL CALLBACK Match(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[32] = {}, text[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (_stricmp(cls, search->cls) == 0 && IsWindowVisible(w) && (!search->text || std::strcmp(text, search->text) == 0) &&
        (search->box < 0 || (GetDlgItem(w, 0xFFFF) != nullptr) == (search->box == 1))) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

// A message box with that caption, or else the wizard (a dialog with the
// same caption but no such static).
HWND FindTopDialog(const char* caption, bool box) {
    Search search{"#32770", caption, box ? 1 : 0, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindChild(HWND parent, const char* cls, const char* text = nullptr) {
    Search search{cls, text, -1, nullptr};
    EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void AnswerBox(HWND box, int button) {
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

// The tree view lives in the setup's process: its items are read through
// memory there.
void PrintComponents(HWND tree) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    const tk::UniqueKernelHandle process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process) return;
    char* remote = static_cast<char*>(VirtualAllocEx(process.get(), nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return;
    const tk::ScopeGuard freeRemote([&] { VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE); });
    for (auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item;
         item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        TVITEMA request{};
        request.mask = TVIF_TEXT;
        request.hItem = item;
        request.pszText = remote + sizeof request;
        request.cchTextMax = 1024;
        char text[1024] = {};
        if (!WriteProcessMemory(process.get(), remote, &request, sizeof request, nullptr) ||
            !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) ||
            !ReadProcessMemory(process.get(), remote + sizeof request, text, sizeof text - 1, nullptr))
            continue;
        std::printf("component: %s\n", text);
    }
    std::fflush(stdout);
}

int WalkWizard(DWORD timeout) {
    const DWORD start = GetTickCount();
    HWND donePage = nullptr;
    for (; GetTickCount() - start <= timeout; Sleep(200)) {
        if (HWND box = FindTopDialog(kSetupCaption, true)) {
            std::printf("box: ");
            AnswerBox(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
            while (IsWindow(box) && IsWindowVisible(box)) Sleep(50);
            continue;
        }
        HWND wizard = FindTopDialog(kSetupCaption, false);
        // The page shown: a page left may stay behind it, hidden.
        HWND page = wizard ? FindWindowExA(wizard, nullptr, "#32770", nullptr) : nullptr;
        while (page && !IsWindowVisible(page)) page = FindWindowExA(wizard, page, "#32770", nullptr);
        if (!page || page == donePage) continue;
        if (HWND run = FindChild(page, "Button", "Start Brackwater now")) {
            const bool ticked = SendMessageA(run, BM_GETCHECK, 0, 0) == BST_CHECKED;
            std::printf("start now: %s\n", ticked ? "ticked" : "unticked");
            std::fflush(stdout);
            SendMessageA(run, BM_SETCHECK, BST_UNCHECKED, 0);
            PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return 0;
        }
        // The files page enables Next only once it is done.
        HWND next = GetDlgItem(wizard, IDOK);
        if (!next || !IsWindowEnabled(next)) continue;
        if (HWND tree = FindChild(page, "SysTreeView32")) PrintComponents(tree);
        donePage = page;
        PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "wizard") == 0) return WalkWizard(std::atoi(argv[2]) * 1000u);
    if (argc != 4) return 2;
    const DWORD timeout = static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindTopDialog(argv[1], true))) {
        if (GetTickCount() - start > timeout) return 1;
        Sleep(100);
    }
    AnswerBox(box, std::atoi(argv[2]));
    return 0;
}
