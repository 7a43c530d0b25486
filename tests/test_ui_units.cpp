// The shared-window timers, the version reader and the texts of the filter's status.
#include "ui/AppVersion.h"
#include "ui/EventHistory.h"
#include "ui/FilterStatus.h"
#include "ui/SimpleTimer.h"

#include "tests/Pump.h"
#include "tests/ScopedOverride.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {


void CountTick(void* data) {
    ++*static_cast<int*>(data);
}

void ThrowingTick(void* data) {
    ++*static_cast<int*>(data);
    throw std::runtime_error("callback failed");
}

TEST(SimpleTimer, StartsInactiveAndTicksUntilStopped) {
    int ticks = 0;
    TSimpleTimer timer(&ticks, CountTick);
    EXPECT_FALSE(timer.Active());
    EXPECT_NE(timer.Id, 0u);
    ASSERT_TRUE(timer.Start(20));
    EXPECT_TRUE(timer.Active());
    EXPECT_EQ(timer.Interval(), 20u);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(timer.Stop());
    EXPECT_FALSE(timer.Active());
    const int stoppedAt = ticks;
    Pump(120);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(SimpleTimer, StartOnARunningTimerRestartsItAsOneSeries) {
    int ticks = 0;
    TSimpleTimer timer(&ticks, CountTick);
    ASSERT_TRUE(timer.Start(60000));
    ASSERT_TRUE(timer.Start(20));
    EXPECT_TRUE(timer.Active());
    EXPECT_EQ(timer.Interval(), 20u);
    // The new interval is in force ...
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }, 1000));
    // ... and one Stop ends every tick: no older series is left behind.
    EXPECT_TRUE(timer.Stop());
    const int stoppedAt = ticks;
    Pump(150);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(SimpleTimer, StopOnAStoppedTimerReportsFailure) {
    TSimpleTimer timer(nullptr, nullptr);
    EXPECT_FALSE(timer.Stop());
    EXPECT_FALSE(timer.Active());
    ASSERT_TRUE(timer.Start(1000));
    EXPECT_TRUE(timer.Stop());
    EXPECT_FALSE(timer.Stop());
    EXPECT_FALSE(timer.Active());
}

TEST(SimpleTimer, SharedWindowLivesFromTheFirstToTheLastTimer) {
    ASSERT_FALSE(TSimpleTimerHandler::Exists());
    auto first = std::make_unique<TSimpleTimer>(nullptr, nullptr);
    const HWND window = TSimpleTimerHandler::Window();
    ASSERT_TRUE(::IsWindow(window));
    auto second = std::make_unique<TSimpleTimer>(nullptr, nullptr);
    EXPECT_EQ(TSimpleTimerHandler::Window(), window);
    first.reset();
    EXPECT_EQ(TSimpleTimerHandler::Window(), window);
    second.reset();
    EXPECT_FALSE(TSimpleTimerHandler::Exists());
    EXPECT_FALSE(::IsWindow(window));

    int ticks = 0;
    TSimpleTimer next(&ticks, CountTick);
    EXPECT_TRUE(::IsWindow(TSimpleTimerHandler::Window()));
    ASSERT_TRUE(next.Start(10));
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 1; }));
}

TEST(SimpleTimer, ExceptionInCallbackIsDroppedAndTheTimerRuns) {
    int ticks = 0;
    TSimpleTimer timer(&ticks, ThrowingTick);
    ASSERT_TRUE(timer.Start(10));
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(timer.Active());
}

TEST(SimpleTimer, MessageForADestroyedTimerIsIgnored) {
    int liveTicks = 0;
    TSimpleTimer live(&liveTicks, CountTick);
    static int goneTicks = 0;
    goneTicks = 0;
    auto gone = std::make_unique<TSimpleTimer>(&goneTicks, CountTick);
    const std::uint32_t goneId = gone->Id;
    // Queued while the timer lived, handled after it is gone.
    ::PostMessageA(TSimpleTimerHandler::Window(), WM_TIMER, goneId, 0);
    gone.reset();
    // An id no timer ever had.
    ::PostMessageA(TSimpleTimerHandler::Window(), WM_TIMER, 0xFFFFFFF0u, 0);
    Pump(50);
    EXPECT_EQ(goneTicks, 0);
    EXPECT_EQ(liveTicks, 0);
    // A message with a live id reaches that timer only.
    ::PostMessageA(TSimpleTimerHandler::Window(), WM_TIMER, live.Id, 0);
    Pump(20);
    EXPECT_EQ(liveTicks, 1);
}

TEST(SimpleTimer, IdsAreUniqueAmongLiveTimers) {
    std::vector<std::unique_ptr<TSimpleTimer>> timers;
    std::set<std::uint32_t> ids;
    for (int i = 0; i < 50; ++i) {
        timers.push_back(std::make_unique<TSimpleTimer>(nullptr, nullptr));
        if (i % 3 == 0) timers.erase(timers.begin());
    }
    for (const auto& t : timers) ids.insert(t->Id);
    EXPECT_EQ(ids.size(), timers.size());
    EXPECT_EQ(ids.count(0u), 0u);
}

TEST(AppVersion, TranslationKeyFormatsEachWordWhole) {
    struct Case {
        std::uint16_t language, codePage;
        const char* key;
    };
    for (const Case& c : {Case{0x0400, 0x04E4, "040004E4"}, Case{0x0409, 1252, "040904E4"},
                          Case{0x0000, 0x0000, "00000000"}, Case{0xABCD, 0x00EF, "ABCD00EF"}}) {
        EXPECT_EQ(TranslationKey(c.language, c.codePage), c.key);
    }
}

// A version resource of this test program, copied into a zero-filled block
// with the room VerQueryValueA needs for its converted strings, as
// GetFileVersionInfoA leaves it.
std::vector<char> VersionBlock(int id) {
    HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(16)); // RT_VERSION
    if (!resource) return {};
    const DWORD size = ::SizeofResource(nullptr, resource);
    const void* data = ::LockResource(::LoadResource(nullptr, resource));
    std::vector<char> block(size * 3 + 16, 0);
    std::memcpy(block.data(), data, size);
    return block;
}

TEST(AppVersion, MissingAndEmptyValuesReadNotAvailable) {
    const std::vector<char> block = VersionBlock(2);
    ASSERT_FALSE(block.empty());
    TAppInfo info;
    ReadAppInfoFromBlock(block.data(), info);
    EXPECT_EQ(info.FileVersion, "2.5");
    EXPECT_EQ(info.ProductName, "n/a");
    EXPECT_EQ(info.LegalCopyright, "n/a");
}

TEST(AppVersion, MissingTranslationEntryLeavesTheRecord) {
    const std::vector<char> block = VersionBlock(3);
    ASSERT_FALSE(block.empty());
    TAppInfo info;
    info.ProductName = "kept";
    ReadAppInfoFromBlock(block.data(), info);
    EXPECT_EQ(info.FileVersion, "");
    EXPECT_EQ(info.ProductName, "kept");
    EXPECT_EQ(info.LegalCopyright, "");
}

TEST(AppVersion, FileWithoutVersionResourceLeavesAllEmpty) {
    char directory[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathA(MAX_PATH, directory), 0u);
    const std::string plain = std::string(directory) + "brackwater-no-version.txt";
    FILE* file = std::fopen(plain.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("no resources here", file);
    std::fclose(file);

    for (const std::string& name : {plain, std::string(directory) + "brackwater-missing.exe"}) {
        TAppInfo info;
        ReadAppInfo(name, info);
        EXPECT_EQ(info.FileVersion, "") << name;
        EXPECT_EQ(info.ProductName, "") << name;
        EXPECT_EQ(info.LegalCopyright, "") << name;
    }
    ::DeleteFileA(plain.c_str());
}

TEST(AppVersion, RunningProgramReadsItsOwnResource) {
    TAppInfo info;
    ReadAppInfo(info);
    EXPECT_EQ(info.ProductName, "Brackwater");
    EXPECT_EQ(info.FileVersion, "1.0.0.33");
    EXPECT_NE(info.LegalCopyright.find("Corvantis"), std::string::npos);
    EXPECT_NE(info.LegalCopyright.find("2026"), std::string::npos);
}

TEST(FilterStatus, EachStateHasItsLineTipAndReason) {
    using S = TFilterState;
    using M = TTrayMark;
    const std::string lan = "(2) LAN";
    const struct {
        TFilterSnapshot snapshot;
        const char* status;
        const char* tip;
        const char* reason;  // a balloon's: a wait resumes by itself
        M mark;
    } rows[] = {
        {{S::NotFiltering, "", 0, 0, ""}, "Not filtering", "Brackwater", "", M::Off},
        {{S::Filtering, lan, 18446744073709551615u, 4000000000u, ""},
         "Filtering (2) LAN: 18446744073709551615 packets, 4000000000 changed",
         "Brackwater: filtering (2) LAN, 4000000000 changed", "", M::Filtering},
        {{S::Filtering, "(1) Phone", 120, 4, "", true, 65, 37},
         "Filtering (1) Phone: 120 packets, 4 changed, 37 sent set to TTL 65",
         "Brackwater: filtering (1) Phone, 4 changed, 37 sent set to TTL 65", "", M::Filtering},
        {{S::Waiting, lan, 7, 1, ""}, "Waiting for (2) LAN to come back", "Brackwater: waiting for (2) LAN", "",
         M::Waiting},
        {{S::Appearing, "Intel(R) PRO/1000", 0, 0, ""}, "Waiting for Intel(R) PRO/1000 to appear",
         "Brackwater: waiting for Intel(R) PRO/1000", "", M::Waiting},
        {{S::Ended, lan, 0, 0, "Could not set adapter mode."}, "Not filtering: Could not set adapter mode.",
         "Brackwater", "Could not set adapter mode.", M::Error},
        {{S::Ended, lan, 0, 0, ""}, "Not filtering", "Brackwater", "The filter ended.", M::Error},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        EXPECT_EQ(StatusText(row.snapshot), row.status);
        EXPECT_EQ(TipText(row.snapshot), row.tip);
        EXPECT_EQ(StopReason(row.snapshot), row.reason);
        EXPECT_EQ(MarkFor(row.snapshot), row.mark);
    }
    // The shell shows 127 characters of a tip.
    const TFilterSnapshot longName{S::Waiting, std::string(200, 'n'), 0, 0, ""};
    EXPECT_EQ(TipText(longName), "Brackwater: waiting for " + std::string(127 - 24, 'n'));
    EXPECT_EQ(MissingAdapterReason("\\DEVICE\\{GONE}"), "The remembered adapter \\DEVICE\\{GONE} is not in the list.");
}

// The state the status shows follows the kinds of news, whatever their words.
TEST(FilterStatus, NewsKindsDecideTheState) {
    using K = TFilterNewsKind;
    using S = TFilterState;
    const struct {
        const char* name;
        std::vector<TFilterNews> news;
        S state;
        const char* reason;
    } rows[] = {
        {"goes on after a plain line or an unguarded lock",
         {{K::Line, "[error] Could not set adapter mode.", llError, "Could not set adapter mode."},
          {K::LockUnguarded, "[error] x", llError, "x"}},
         S::Filtering, ""},
        {"gone, then back", {{K::AdapterGone, "x"}, {K::Filtering, "y"}}, S::Filtering, ""},
        {"gone", {{K::Filtering, "y"}, {K::AdapterGone, "x"}}, S::Waiting, ""},
        {"waiting for the first listing", {{K::Waiting, "[info] x", llInfo, "x"}}, S::Appearing, ""},
        {"here at last", {{K::Waiting, "x"}, {K::Filtering, "y"}}, S::Filtering, ""},
        {"another holds the lock", {{K::LockBusy, "[error] Another one.", llError, "Another one."}}, S::Ended,
         "Another one."},
        // The ending wins over the waiting it ended.
        {"ends while it waits", {{K::Waiting, "x"}, {K::Ended, "[error] Gone for good.", llError, "Gone for good."}, {K::Filtering, "y"}},
         S::Ended, "Gone for good."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TFilterSnapshot s{S::Filtering, "c", 0, 0, ""};
        for (const TFilterNews& news : row.news) Follow(s, news);
        EXPECT_EQ(s.State, row.state);
        EXPECT_EQ(s.LastError, row.reason);
    }
}

// Every error, info lines once per kind a minute, no trace line; a worker's name its adapter.
std::vector<std::pair<WORD, std::string>> g_events;
ULONGLONG g_now = 0;
ULONGLONG WINAPI TestClock() { return g_now; }
BOOL WINAPI RecordEvent(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID) {
    if (category == 0 && id == 1 && count == 1) g_events.emplace_back(type, strings[0]);
    return FALSE;  // a refused write changes nothing
}

TEST(EventHistory, ErrorsAlwaysInfoOncePerKindAMinuteTraceNever) {
    const ScopedOverride record(HistoryReportEvent, &RecordEvent);
    TEventHistory history(TestClock);
    const TFilterNews gone{TFilterNewsKind::AdapterGone, "[info] gone", llInfo, "gone"};
    const TFilterNews back{TFilterNewsKind::Filtering, "[info] back", llInfo, "back"};
    const TFilterNews error{TFilterNewsKind::Line, "[error] e", llError, "e"};
    const TFilterNews packet{TFilterNewsKind::Line, "[trace] p", llTrace, "p"};
    for (const auto& [at, news] : {std::pair<ULONGLONG, TFilterNews>{1000, gone}, {1000, packet}, {2000, back},
                                   {3000, gone}, {4000, error}, {5000, error}, {62000, back}, {63000, back}}) {
        g_now = at;
        history.News(news, "(2) LAN (\\DEVICE\\{B2})");
    }
    history.Error("Failed to set data for 'FilteredAdapter'");
    const std::string lan = "\r\nAdapter: (2) LAN (\\DEVICE\\{B2})";
    const WORD e = EVENTLOG_ERROR_TYPE, i = EVENTLOG_INFORMATION_TYPE;
    const std::vector<std::pair<WORD, std::string>> expected = {
        {i, "[info] gone" + lan}, {i, "[info] back" + lan}, {e, "[error] e" + lan}, {e, "[error] e" + lan},
        {i, "[info] back" + lan}, {e, "Failed to set data for 'FilteredAdapter'"}};
    EXPECT_EQ(g_events, expected);
}

} // namespace
