#include "ui/EventHistory.h"

TReportEventA HistoryReportEvent = ::ReportEventA;

namespace {

// The message table's one message: its text is the record's one string.
constexpr DWORD kLineEventId = 1;
// An adapter that comes and goes every few seconds would fill the log that
// every program on the machine shares, for weeks.
constexpr ULONGLONG kInfoIntervalMs = 60 * 1000;

} // namespace

TEventHistory::TEventHistory(TClock Clock) : source_(::RegisterEventSourceA(nullptr, kEventSource)), clock_(Clock) {}

void TEventHistory::News(const TFilterNews& News, const std::string& Adapter) {
    if (News.Level == llTrace) return;
    if (News.Level == llError) return Write(EVENTLOG_ERROR_TYPE, News.Line, Adapter);
    std::optional<ULONGLONG>& last = lastInfo_.at(static_cast<std::size_t>(News.Kind));
    const ULONGLONG now = clock_();
    if (last && now - *last < kInfoIntervalMs) return;
    last = now;
    Write(EVENTLOG_INFORMATION_TYPE, News.Line, Adapter);
}

void TEventHistory::Error(const std::string& Line, const std::string& Adapter) {
    Write(EVENTLOG_ERROR_TYPE, Line, Adapter);
}

void TEventHistory::Information(const std::string& Line, const std::string& Adapter) {
    Write(EVENTLOG_INFORMATION_TYPE, Line, Adapter);
}

void TEventHistory::Write(WORD Type, const std::string& Line, const std::string& Adapter) {
    // Without a source (the event log service stopped, say) there is no history.
    if (!source_) return;
    const std::string text = Adapter.empty() ? Line : Line + "\r\nAdapter: " + Adapter;
    LPCSTR strings[1] = {text.c_str()};
    // The result is not looked at: a full or refused log must never stop
    // filtering, and the window's log has the line already.
    HistoryReportEvent(source_.get(), Type, 0, kLineEventId, nullptr, 1, 0, strings, nullptr);
}
