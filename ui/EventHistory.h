// The history in Windows' Application event log: every line of the log that
// is not a trace line, so that the morning after tells why the network was
// cut off at night. The window's log is gone at exit; this stays.
#pragma once

#include "filter/TTLFilterUnit.h"
#include "toolkit/Handles.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

// The writer, in the shape of ReportEventA; tests replace it to see the
// records (under Wine ReportEventA stores nothing).
using TReportEventA = BOOL(WINAPI*)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR*, LPVOID);
extern TReportEventA HistoryReportEvent;

// The event source's registered name, which the setup registers with the
// program's message table.
constexpr const char* kEventSource = "Brackwater";

struct EventSourceTraits {
    using Type = HANDLE;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeregisterEventSource(h); }
};

class TEventHistory {
public:
    // Milliseconds since some start; the one-a-minute limit reads it.
    using TClock = ULONGLONG(WINAPI*)();
    explicit TEventHistory(TClock Clock = ::GetTickCount64);
    TEventHistory(const TEventHistory&) = delete;
    TEventHistory& operator=(const TEventHistory&) = delete;

    // A worker's news, about the adapter `Adapter` ("<caption> (<internal
    // name>)"): its errors all, its info lines at most one per kind a minute,
    // its trace lines never.
    void News(const TFilterNews& News, const std::string& Adapter);
    // A line of the program's own; `Adapter` empty when it is about no worker.
    void Error(const std::string& Line, const std::string& Adapter = {});
    void Information(const std::string& Line, const std::string& Adapter = {});

private:
    void Write(WORD Type, const std::string& Line, const std::string& Adapter);

    tk::UniqueHandle<EventSourceTraits> source_;
    TClock clock_;
    // When each kind of news last had an info line written.
    std::array<std::optional<ULONGLONG>, kFilterNewsKinds> lastInfo_{};
};
