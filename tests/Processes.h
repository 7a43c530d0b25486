// Other processes a test starts: the program itself, a child that fails on
// purpose, the test executable again under other settings.
#pragma once

#include "tests/Pump.h"
#include "toolkit/Handles.h"

#include <windows.h>

#include <optional>
#include <string>

inline std::string OwnPath() {
    char path[MAX_PATH] = {};
    return std::string(path, ::GetModuleFileNameA(nullptr, path, sizeof path));
}
// The folder of the test executables, where the program and the helpers are
// built too.
inline std::string BinFolder() {
    const std::string exe = OwnPath();
    return exe.substr(0, exe.find_last_of("\\/") + 1);
}

// Starts `exe` with `arguments`: its process, none when it could not be
// started. With `inherit`, the child writes to this process's output.
inline tk::UniqueKernelHandle StartProcess(const std::string& exe, const std::string& arguments = "",
                                           bool inherit = false) {
    std::string command = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup,
                          &started))
        return {};
    const tk::UniqueKernelHandle thread(started.hThread);
    return tk::UniqueKernelHandle(started.hProcess);
}

// Starts `exe` and serves this thread's messages until it ends: its exit
// code, or none when it could not start or ran on for `limit` ms (it is then
// ended).
inline std::optional<DWORD> RunProcess(const std::string& exe, const std::string& arguments = "",
                                       DWORD limit = 30000, bool inherit = false) {
    const tk::UniqueKernelHandle process = StartProcess(exe, arguments, inherit);
    if (!process) return std::nullopt;
    if (!PumpUntil([&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, limit)) {
        ::TerminateProcess(process.get(), 1);
        return std::nullopt;
    }
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}
