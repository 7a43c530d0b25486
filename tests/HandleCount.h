// The process's handle count, as the system's process list gives it:
// GetProcessHandleCount is a stub in Wine 8 that always says 0.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <vector>

inline ULONG OwnHandleCount() {
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
        if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == ::GetCurrentProcessId())
            return process->HandleCount;
        if (process->NextEntryOffset == 0) return 0;
        at += process->NextEntryOffset;
    }
}
