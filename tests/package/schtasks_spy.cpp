// Stands in for schtasks.exe in the package test's scratch Wine prefix. Wine's
// task scheduler keeps neither the trigger, nor the principal, nor the action of
// a task it registers, so the test looks at the definition the setup hands over
// instead: "/XML FILE" is copied to C:\schtasks-spy.xml and the whole command
// line appended to C:\schtasks-spy.log. Nothing is registered.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    HANDLE log = CreateFileW(L"C:\\schtasks-spy.log", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        const wchar_t* line = GetCommandLineW();
        char text[4096];
        int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text - 2, nullptr, nullptr);
        if (n > 0) {
            text[n - 1] = '\n';
            DWORD written = 0;
            WriteFile(log, text, static_cast<DWORD>(n), &written, nullptr);
        }
        CloseHandle(log);
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (_wcsicmp(argv[i], L"/XML") == 0 && !CopyFileW(argv[i + 1], L"C:\\schtasks-spy.xml", FALSE)) return 1;
    }
    return 0;
}
