// The process's handle and thread counts, as the system's process list gives
// them: GetProcessHandleCount is a stub in Wine 8 that always says 0.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <vector>

// `field` of this process's entry in the list, 0 when it cannot be read.
inline ULONG OwnProcessCount(ULONG SYSTEM_PROCESS_INFORMATION::*field) {
    constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 18);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                                static_cast<ULONG>(buffer.size()), &needed)) == kLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status < 0) return 0;
    for (std::size_t at = 0;;) {
        const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == ::GetCurrentProcessId()) return process->*field;
        if (process->NextEntryOffset == 0) return 0;
        at += process->NextEntryOffset;
    }
}

inline ULONG OwnHandleCount() { return OwnProcessCount(&SYSTEM_PROCESS_INFORMATION::HandleCount); }
inline ULONG OwnThreadCount() { return OwnProcessCount(&SYSTEM_PROCESS_INFORMATION::NumberOfThreads); }
