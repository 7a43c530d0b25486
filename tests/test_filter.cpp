// The worker over the stand-in driver: setup failures and their clean-up,
// trace lines, the hand-on of every packet and the ways a run ends.
#include "filter/AdapterLock.h"
#include "filter/FrameLogic.h"
#include "filter/TTLFilterUnit.h"
#include "sim/SimControl.h"
#include "tests/Frames.h"
#include "tests/HandleCount.h"
#include "tests/Processes.h"
#include "tests/Pump.h"
#include "tests/SimRecords.h"
#include "toolkit/Handles.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <iterator>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

const unsigned char kMac1[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};
const unsigned char kMac2[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const char* const kNames[] = {"\\DEVICE\\{A1}", "\\DEVICE\\{B2}"};
const char* const kWentAway = "[info] The adapter went away; filtering resumes when it is back.";
const char* const kBack = "[info] The adapter is back; filtering again.";

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimReset();
        SimAddAdapter(kNames[0], "LAN", kMac1, 0, 1500);
        SimAddAdapter(kNames[1], "WAN", kMac2, 3, 1400);
        openHandles = SimOpenHandles();
        lines.clear();
        kinds.clear();
        changes = 0;
    }
    void TearDown() override { ExpectReleased(); }
    // What every run must give back, checked where each test and each row of
    // a table ends; `leftOpen` driver handles are the run's on purpose.
    void ExpectReleased(ULONG leftOpen = 0) {
        Stop();
        EXPECT_EQ(SimAdapterMode(1), 0u);
        EXPECT_EQ(SimAdapterMode(2), 0u);
        EXPECT_EQ(SimOpenHandles(), openHandles + leftOpen);
    }

    void Start(std::uint32_t index, std::uint8_t bad, std::uint8_t newTtl, bool trace,
               const std::string& name = "", frame::Ipv6Rule ipv6 = frame::Ipv6Rule::Pass) {
        filter = TTTLFilter::Create(Options(index, bad, newTtl, trace, name, ipv6),
                                    [this](const TFilterNews& news) { OnNews(news); });
    }
    // Diverting what the adapter sends too, with "SentTTL" 65.
    void StartWithSentRule(TFilterOptions o) {
        o.RewriteSent = true;
        filter = TTTLFilter::Create(o, [this](const TFilterNews& news) { OnNews(news); });
    }
    void StartTunnel(std::uint32_t index, std::uint8_t bad, std::uint8_t newTtl, bool trace,
                     frame::Ipv6Rule ipv6 = frame::Ipv6Rule::Pass) {
        Start(index, bad, newTtl, trace, "", ipv6);
        ASSERT_TRUE(PumpUntil([&] { return SimAdapterMode(index) == 2; }));
    }
    void Stop() {
        if (!filter) return;
        filter->Terminate();
        filter->WaitFor();
        filter.reset();
    }
    // Lets a worker that ends by itself finish.
    void WaitEnd() {
        ASSERT_TRUE(PumpUntil([&] { return filter->Finished(); }));
        filter->WaitFor();
    }
    static TFilterOptions Options(std::uint32_t index, std::uint8_t bad, std::uint8_t newTtl, bool trace,
                                  const std::string& name = "", frame::Ipv6Rule ipv6 = frame::Ipv6Rule::Pass) {
        TFilterOptions o;
        o.AdapterName = name.empty() ? kNames[index - 1] : name;
        o.AdapterIndex = index;
        o.BadTTL = bad;
        o.NewTTL = newTtl;
        o.Trace = trace;
        o.IPv6 = ipv6;
        return o;
    }
    void OnNews(const TFilterNews& news) {
        ASSERT_TRUE(tk::TThread::IsMainThread());
        lines.push_back(news.Line);
        kinds.push_back(news.Kind);
        if (news.Kind == TFilterNewsKind::AdapterGone || news.Kind == TFilterNewsKind::Filtering) ++changes;
        if (onLine) onLine(news.Line);
    }

    tk::ThreadPtr<TTTLFilter> filter;
    Lines lines;
    std::vector<TFilterNewsKind> kinds;
    std::function<void(const std::string&)> onLine;
    ULONG openHandles = 0;
    int changes = 0;
};

struct SetupFailure {
    const char* name;
    std::function<void()> arrange;
    const char* adapterName;
    Lines expectedLines;
    std::string expectedCalls;
};

TEST_F(FilterTest, SetupFailuresReportAndReleaseInReverseOrder) {
    const std::string opened = "OpenFilterDriver IsDriverLoaded GetTcpipBoundAdaptersInfo";
    const SetupFailure rows[] = {
        {"driver not loaded", [] { SimSetDriverLoaded(FALSE); }, kNames[0], {"[error] Driver not loaded."},
         "OpenFilterDriver IsDriverLoaded"},
        {"name not listed", [] {}, "\\DEVICE\\{C3}",
         {"[error] There is no network interface with such index on this system."}, opened + " CloseFilterDriver"},
        {"null driver handle", [] { SimOpenReturnsNull(TRUE); }, kNames[0], {"[error] Driver not loaded."},
         "OpenFilterDriver"},
        {"name beyond the count", [] { SimOverrideAdapterCount(1); }, kNames[1],
         {"[error] There is no network interface with such index on this system."}, opened + " CloseFilterDriver"},
        {"event refused", [] { SimRefuseSetPacketEvent(TRUE); }, kNames[1], {"[error] Could not set receive event."},
         opened + " SetPacketEvent CloseFilterDriver"},
        {"mode refused", [] { SimRefuseSetAdapterMode(TRUE); }, kNames[1], {"[error] Could not set adapter mode."},
         opened + " SetPacketEvent SetAdapterMode SetPacketEvent CloseFilterDriver"},
    };
    for (const SetupFailure& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        row.arrange();
        Start(1, 1, 5, true, row.adapterName);
        WaitEnd();
        EXPECT_EQ(lines, row.expectedLines);
        EXPECT_EQ(CallLog(), row.expectedCalls);
        EXPECT_EQ(SimAdapterEvent(1), nullptr);
        EXPECT_EQ(SimAdapterEvent(2), nullptr);
        // A driver that was never known to be loaded is not closed: nothing else is called.
        ExpectReleased(std::string(row.name) == "driver not loaded" ? 1 : 0);
        SimReset();
    }
}

// A mutex as another Brackwater or another program would make it; `access`
// null makes it without a descriptor, which under Wine leaves it without owner.
std::shared_ptr<void> MakeMutex(const std::string& name, const std::string* access, BOOL owned) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (access)
        ::ConvertStringSecurityDescriptorToSecurityDescriptorA(access->c_str(), SDDL_REVISION_1, &descriptor, nullptr);
    tk::ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    auto mutex = std::make_shared<tk::UniqueKernelHandle>(::CreateMutexA(access ? &attributes : nullptr, owned, name.c_str()));
    return *mutex ? mutex : nullptr;
}

std::string UserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    const tk::UniqueKernelHandle owner(token);
    char user[256], *sid = nullptr;
    DWORD size = sizeof user;
    ::GetTokenInformation(token, TokenUser, user, size, &size);
    ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    const tk::ScopeGuard freeSid([sid] { ::LocalFree(sid); });
    return sid ? sid : "";
}

// An internal name of `length` characters, backslashes included.
std::string NameOfLength(std::size_t length) { return "\\DEVICE\\{" + std::string(length - 10, 'L') + "}"; }

TEST_F(FilterTest, AdapterLockWaitsOnlyForAnotherBrackwaterAndNeverForAnythingElse) {
    const char* const busy = "[error] Another Brackwater is filtering this adapter.";
    const char* const unguarded =
        "[error] A program without administrator rights holds this adapter's lock; filtering anyway.";
    const std::string prefix = "Global\\Corvantis.Brackwater.Adapter.";
    const std::string brackwater = "O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)", system = "O:SYD:P(A;;GA;;;BA)(A;;GA;;;SY)", user = "O:" + UserSid() + "D:(A;;GA;;;WD)",
                      deniesAll = "D:";
    enum Outcome { Refuses, Filters, FiltersAtOnce };
    const auto own = [] { return std::make_shared<TAdapterLock>(kNames[1], nullptr); };
    const auto squat = [&](const std::string& suffix, const std::string* access, BOOL owned = TRUE) {
        return [=] { return MakeMutex(prefix + suffix, access, owned); };
    };
    const struct {
        const char* name;
        std::size_t nameLength;  // 0: adapter 2's name
        std::function<std::shared_ptr<void>()> hold;
        DWORD releaseAfterMs;  // 0: held throughout
        Outcome outcome;
    } rows[] = {
        // Held for more than the 5 s an exiting instance gets to put the adapter back.
        {"another Brackwater's, held", 0, own, 0, Refuses},
        {"another Brackwater's, let go 2 s later", 0, own, 2000, Filters},
        {"owned by SYSTEM, held", 0, squat("_DEVICE_{B2}", &system), 0, Refuses},
        {"abandoned by a crashed Brackwater", 0,
         [&] {
             std::shared_ptr<void> lock;
             std::thread([&] { lock = squat("_DEVICE_{B2}", &brackwater)(); }).join();
             return lock;
         },
         0, Filters},
        {"owned by the user, open to everyone", 0, squat("_DEVICE_{B2}", &user), 0, FiltersAtOnce},
        {"no owner", 0, squat("_DEVICE_{B2}", nullptr), 0, FiltersAtOnce},
        {"access denied", 0, squat("_DEVICE_{B2}", &deniesAll, FALSE), 0, FiltersAtOnce},
        // Squatted under the name each length gives, which the warning proves was the one opened.
        {"223 characters: the name itself", 223, squat("_DEVICE_{" + std::string(213, 'L') + "}", &user), 0,
         FiltersAtOnce},
        {"224 characters: its hash", 224, squat("#51c3142a7604e523", &user), 0, FiltersAtOnce},
        {"255 characters: its hash", 255, squat("#d33c9ac367f9c7af", &user), 0, FiltersAtOnce},
        // Listed without its NUL, the name is still the adapter's.
        {"256 characters: its hash", 256, squat("#e9f5c809ad99dca3", &user), 0, FiltersAtOnce},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        const std::string adapter = row.nameLength ? NameOfLength(row.nameLength) : kNames[1];
        const ULONG position = row.nameLength ? SimAddAdapter(adapter.c_str(), "Long", kMac2, 0, 1500) : 2;
        std::shared_ptr<void> held = row.hold();
        ASSERT_TRUE(held);
        const DWORD start = ::GetTickCount();
        Start(position, 1, 5, false, adapter);
        if (row.releaseAfterMs) {
            Pump(row.releaseAfterMs);
            EXPECT_EQ(SimAdapterMode(position), 0u) << "still waiting";
            held.reset();
        }
        if (row.outcome == Refuses) {
            WaitEnd();
            EXPECT_GE(::GetTickCount() - start, 4500u) << "the grace is 5 s";
            EXPECT_EQ(CallLog(), "OpenFilterDriver IsDriverLoaded CloseFilterDriver");
        } else {
            ASSERT_TRUE(PumpUntil([&] { return SimAdapterMode(position) == 2; }));
            EXPECT_TRUE(row.outcome == Filters || ::GetTickCount() - start < 2500) << "no wait";
            Stop();
            EXPECT_EQ(SimAdapterMode(position), 0u);
        }
        EXPECT_EQ(lines, row.outcome == Refuses ? Lines{busy} : row.outcome == Filters ? Lines{} : Lines{unguarded});
        ExpectReleased();
    }
}

// A refused reset at the end is tried three times, then told, unless the
// handle went away meanwhile; the lock is released either way.
TEST_F(FilterTest, RefusedResetAtTheEndIsTriedThreeTimesThenTold) {
    const struct {
        const char* name;
        ULONG refusals;
        bool unplugged;
        Lines expectedLines;
    } rows[] = {
        {"refused once", 1, false, {}},
        {"refused twice", 2, false, {}},
        {"refused three times", 3, false, {"[error] Could not return the adapter to normal mode."}},
        {"refused three times, unplugged meanwhile", 3, true, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        StartTunnel(2, 1, 5, false);
        SimRefuseResets(row.refusals);
        if (row.unplugged) {
            SimHoldNextSetAdapterMode();
            filter->Terminate();
            ASSERT_TRUE(PumpUntil([] { return SimSetAdapterModeHeld() != FALSE; }));
            SimRemoveAdapter(2);
            SimReleaseSetAdapterMode();
        }
        Stop();
        EXPECT_EQ(lines, row.expectedLines);
        if (!row.expectedLines.empty()) {
            EXPECT_EQ(kinds.back(), TFilterNewsKind::Ended);
        }
        EXPECT_EQ(SimCallCount("SetAdapterMode"), 1 + std::min(row.refusals + 1, 3ul));
        EXPECT_EQ(SimAdapterMode(2), row.expectedLines.empty() ? 0u : 2u);
        EXPECT_EQ(SimAdapterEvent(2), nullptr);
        const tk::UniqueKernelHandle lock(
            ::CreateMutexA(nullptr, FALSE, "Global\\Corvantis.Brackwater.Adapter._DEVICE_{B2}"));
        EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "the lock was released";
        SimRemoveAdapter(2);
        SimRestoreAdapter(2);
        ExpectReleased();
    }
}

TEST_F(FilterTest, TerminateEndsTheWaitForAnotherHoldersLockAtOnce) {
    const TAdapterLock lock(kNames[1], nullptr);
    Start(2, 1, 5, false);
    ASSERT_TRUE(PumpUntil([] { return SimCallCount("IsDriverLoaded") == 1; }));
    const DWORD start = ::GetTickCount();
    Stop();
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_EQ(SimCallCount("SetPacketEvent"), 0u);
    EXPECT_TRUE(lines.empty());
}

// The adapter may be listed under a new handle by the time the lock is free.
TEST_F(FilterTest, AdapterReListedDuringTheWaitForTheLockIsFilteredOnItsNewHandle) {
    std::optional<TAdapterLock> lock(std::in_place, kNames[1], nullptr);
    Start(2, 1, 5, false);
    ASSERT_TRUE(PumpUntil([] { return SimCallCount("IsDriverLoaded") == 1; }));
    SimRemoveAdapter(2);
    SimRestoreAdapter(2);
    lock.reset();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(2) == 2; }));
    EXPECT_TRUE(lines.empty());
}

TEST_F(FilterTest, RewrittenPacketGivesFourTraceLinesAndGoldenBytes) {
    // The IGMP report carries a Router Alert option: its whole 24-byte header is summed.
    const Bytes igmpTtl1 = Ethernet(0x0800, {0x46, 0xc0, 0x00, 0x20, 0x00, 0x00, 0x40, 0x00, 0x01, 0x02, 0x41, 0x6f,
                                             0xc0, 0xa8, 0x01, 0x05, 0xe0, 0x00, 0x00, 0xfb, 0x94, 0x04, 0x00, 0x00,
                                             0x16, 0x00, 0xfa, 0x04, 0xe0, 0x00, 0x00, 0xfb});
    Bytes igmpTtl5 = igmpTtl1;
    igmpTtl5[14 + 8] = 0x05;
    igmpTtl5[14 + 10] = 0x3d;
    const Lines ipv4Lines = {"[trace] Packet received.", "[trace]   Packet protocol: IP", "[trace]   TTL=1",
                             "[trace]     TTL changed."};
    const struct {
        const char* name;
        Bytes in, out;
        Lines lines;
    } rows[] = {
        {"20-byte header", Ipv4(1), Ipv4(5, 0xb6), ipv4Lines},
        {"igmp with router alert", igmpTtl1, igmpTtl5, ipv4Lines},
        {"ipv6 hop limit", Ipv6(1), Ipv6(5),
         {"[trace] Packet received.", "[trace]   Packet protocol: IPv6", "[trace]   Hop limit=1",
          "[trace]     Hop limit changed."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        StartTunnel(2, 1, 5, true, frame::Ipv6Rule::Rewrite);
        EXPECT_TRUE(SimReceiveFrame(2, row.in.data(), static_cast<ULONG>(row.in.size())));
        ASSERT_TRUE(PumpUntil([] { return SimStackTotal(2) == 1; }));
        EXPECT_EQ(StackFrame(2, 0), row.out);
        EXPECT_EQ(lines, row.lines);
        EXPECT_TRUE(PumpUntil([&] { return filter->Counts.Rewritten.load() == 1; }));
        Stop();
        EXPECT_EQ(CallLog(),
                  "OpenFilterDriver IsDriverLoaded GetTcpipBoundAdaptersInfo SetPacketEvent SetAdapterMode "
                  "ReadPacket SendPacketToMstcp SetAdapterMode SetPacketEvent CloseFilterDriver");
        ExpectReleased();
    }
}

TEST_F(FilterTest, OtherFramesPassUnchangedWithOnlyTheReceivedLine) {
    Bytes shortIpv6 = Ipv6(1);
    shortIpv6.pop_back();
    const struct {
        frame::Ipv6Rule ipv6;
        std::vector<Bytes> frames;
    } rows[] = {
        {frame::Ipv6Rule::Pass,
         {Ethernet(0x0806, Bytes(28, 0x01)), Ipv6(1),
          Ethernet(0x8100, {0x00, 0x05, 0x08, 0x00, 0x45, 0, 0, 20, 0, 0, 0, 0, 1, 6, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
          // Too short for an IPv4 header: its TTL byte would be a stale byte of the buffer.
          Ethernet(0x0800, {0x45, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x01})}},
        {frame::Ipv6Rule::Rewrite, {shortIpv6, Ipv6(1, 4)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ipv6 == frame::Ipv6Rule::Pass ? "ipv6 passed" : "ipv6 rewritten");
        SetUp();
        StartTunnel(1, 255, 5, true, row.ipv6);
        // A long frame first leaves low TTL bytes behind in the worker's buffer.
        SimReceiveFrame(1, Ipv4(0).data(), static_cast<ULONG>(Ipv4(0).size()));
        ASSERT_TRUE(PumpUntil([] { return SimStackTotal(1) == 1; }));
        lines.clear();
        for (const Bytes& f : row.frames) SimReceiveFrame(1, f.data(), static_cast<ULONG>(f.size()));
        const ULONG count = static_cast<ULONG>(row.frames.size());
        ASSERT_TRUE(PumpUntil([&] { return SimStackTotal(1) == count + 1; }));
        for (ULONG i = 0; i < count; ++i) EXPECT_EQ(StackFrame(1, i + 1), row.frames[i]) << "frame " << i;
        EXPECT_EQ(lines, Lines(count, "[trace] Packet received."));
        // Counted as read only; the first, rewritten IPv4 frame as all three.
        ASSERT_TRUE(PumpUntil([&] { return filter->Counts.FramesRead.load() == count + 1; }));
        EXPECT_EQ(filter->Counts.Ipv4Seen.load(), 1u);
        EXPECT_EQ(filter->Counts.Rewritten.load(), 1u);
        ExpectReleased();
    }
}

// With "RewriteSent", every frame read goes on once in its own direction,
// also when its trace throws.
TEST_F(FilterTest, SentFramesReachTheWireOnceAndReceivedOnesTheStack) {
    const struct {
        const char* throwOn;
        Bytes wire, stack;
    } rows[] = {{nullptr, Ipv4(65, 0x7a), Ipv4(5, 0xb6)}, {"[trace] Packet sent.", Ipv4(128, 0x3b), Ipv4(1)}};
    for (const auto& row : rows) {
        SetUp();
        onLine = [&](const std::string& line) {
            if (row.throwOn && line == row.throwOn) throw std::runtime_error("log failed");
        };
        StartWithSentRule(Options(1, 1, 5, row.throwOn != nullptr));
        ASSERT_TRUE(PumpUntil([&] { return SimAdapterMode(1) == 3; }));
        SimSendFrame(1, Ipv4(128, 0x3b).data(), 34);
        SimReceiveFrame(1, Ipv4(1).data(), 34);
        ASSERT_TRUE(PumpUntil([&] {
            return SimWireTotal(1) == 1 && SimStackTotal(1) == 1 &&
                   (row.throwOn ? filter->Finished() : filter->Counts.FramesRead.load() == 1);
        }));
        Stop();
        Bytes wire(34);
        SimWireFrame(1, 0, wire.data(), 34);
        EXPECT_EQ(wire, row.wire);
        EXPECT_EQ(StackFrame(1, 0), row.stack);
        EXPECT_EQ(lines, row.throwOn ? Lines{row.throwOn} : Lines{});
        EXPECT_EQ(SimWireTotal(1) + SimStackTotal(1), 2u);
        ExpectReleased();
    }
}

TEST_F(FilterTest, TerminateBeforeTheBodyOpensNothing) {
    filter = tk::MakeThread<TTTLFilter>(Options(1, 1, 5, true), [this](const TFilterNews& n) { OnNews(n); });
    filter->Terminate();
    filter->Resume();
    filter->WaitFor();
    EXPECT_EQ(SimCallCount("OpenFilterDriver"), 0u);
    EXPECT_TRUE(lines.empty());
}

TEST_F(FilterTest, DestroyingAnUnstartedWorkerDoesNotHang) {
    filter = tk::MakeThread<TTTLFilter>(Options(1, 1, 5, false), nullptr);
    filter.reset();
    EXPECT_EQ(SimCallCount("OpenFilterDriver"), 0u);
}

TEST_F(FilterTest, ExceptionInOnMessagePassesThePacketAndCleansUp) {
    onLine = [](const std::string& line) {
        if (line == "[trace]   Packet protocol: IP") throw std::runtime_error("log failed");
    };
    StartTunnel(1, 1, 5, true);
    SimReceiveFrame(1, Ipv4(1).data(), static_cast<ULONG>(Ipv4(1).size()));
    SimReceiveFrame(1, Ipv4(1).data(), static_cast<ULONG>(Ipv4(1).size()));
    WaitEnd();
    // The packet in hand went on, not yet rewritten; the second was never read
    // (the driver lets it go on when the adapter leaves tunnel mode).
    EXPECT_EQ(SimCallCount("SendPacketToMstcp"), 1u);
    EXPECT_EQ(StackFrame(1, 0), Ipv4(1));
    EXPECT_EQ(lines, (Lines{"[trace] Packet received.", "[trace]   Packet protocol: IP"}));
    // Nothing reaches the user; the run's end keeps the error for its owner.
    EXPECT_TRUE(filter->FatalException());
    EXPECT_EQ(SimAdapterMode(1), 0u);
    EXPECT_EQ(SimAdapterEvent(1), nullptr);
    EXPECT_EQ(SimOpenHandles(), openHandles);
}

TEST_F(FilterTest, TerminateDuringBurstStopsAfterThePacketInHand) {
    onLine = [this](const std::string& line) {
        if (line == "[trace] Packet received.") filter->Terminate();
    };
    StartTunnel(1, 1, 5, true);
    for (int i = 0; i < 10; ++i) SimReceiveFrame(1, Ipv4(1).data(), static_cast<ULONG>(Ipv4(1).size()));
    WaitEnd();
    EXPECT_EQ(SimCallCount("SendPacketToMstcp"), 1u);
    EXPECT_EQ(StackFrame(1, 0), Ipv4(5, 0xb6));
    // The other nine reached the stack untouched when the adapter left tunnel mode.
    EXPECT_EQ(SimStackTotal(1), 10u);
    EXPECT_EQ(StackFrame(1, 9), Ipv4(1));
}

TEST_F(FilterTest, LongMixedRunPassesEveryFrameOnceInOrder) {
    StartTunnel(1, 1, 5, false);
    std::vector<Bytes> sent;
    std::uint64_t rewritten = 0;
    for (int i = 0; i < 4000; ++i) {
        Bytes f;
        switch (i % 4) {
            case 0:
                f = Ipv4(static_cast<std::uint8_t>(i % 3));
                rewritten += i % 3 <= 1;
                break;
            case 1: f = Ipv4(64); break;
            case 2: f = Ethernet(0x0806, Bytes(28, static_cast<std::uint8_t>(i))); break;
            default: f = Ethernet(0x86DD, Bytes(40 + i % 600, static_cast<std::uint8_t>(i))); break;
        }
        f.push_back(static_cast<std::uint8_t>(i));  // tells the frames apart
        f.push_back(static_cast<std::uint8_t>(i >> 8));
        sent.push_back(f);
        ASSERT_TRUE(SimReceiveFrame(1, f.data(), static_cast<ULONG>(f.size())));
        // The worker reads while frames arrive: every 500, it catches up with the 500 before.
        if (i % 500 == 499) {
            ASSERT_TRUE(PumpUntil([&] { return filter->Counts.FramesRead.load() + 500 >= std::uint64_t(i) + 1; }));
        }
    }
    ASSERT_TRUE(PumpUntil([] { return SimStackTotal(1) == 4000; }));
    ASSERT_TRUE(PumpUntil([&] { return filter->Counts.FramesRead.load() == 4000; }));
    EXPECT_EQ(filter->Counts.Ipv4Seen.load(), 2000u);
    EXPECT_EQ(filter->Counts.Rewritten.load(), rewritten);
    Stop();
    EXPECT_EQ(SimStackTotal(1), 4000u);
    for (ULONG i = 0; i < 4000; ++i) {
        Bytes expected = sent[i];
        if (i % 4 == 0 && expected[14 + 8] <= 1) {
            frame::ProcessFrame(expected.data(), expected.size(), 1, 5);
        }
        ASSERT_EQ(StackFrame(1, i), expected) << "frame " << i;
    }
    EXPECT_EQ(SimCallCount("SendPacketToMstcp"), 4000u);
    EXPECT_TRUE(lines.empty());
}

// Unplugged and plugged back, or listed under a new handle at once (as after
// a resume): the old handle is given back, and every frame on the new one is
// read once and handed on, rewritten.
TEST_F(FilterTest, AdapterThatComesBackIsFilteredOnItsNewHandle) {
    for (const bool gap : {true, false}) {
        SCOPED_TRACE(gap ? "unplugged, then back" : "re-listed under a new handle");
        SetUp();
        StartTunnel(1, 1, 5, false);
        const HANDLE old = SimAdapterHandle(1);
        SimRemoveAdapter(1);
        if (gap) {
            filter->CheckAdapterNow();
            ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
            EXPECT_EQ(lines, Lines{kWentAway});
        }
        SimRestoreAdapter(1);
        filter->CheckAdapterNow();
        ASSERT_TRUE(PumpUntil([&] { return changes == 2 && SimAdapterMode(1) == 2; }));
        EXPECT_NE(SimAdapterHandle(1), old);
        EXPECT_EQ(lines, (Lines{kWentAway, kBack}));
        EXPECT_NE(CallLog().find("GetTcpipBoundAdaptersInfo SetAdapterMode SetPacketEvent"), std::string::npos)
            << "the old handle was given back";
        const Bytes sent[] = {Ipv4(1), Ipv4(64), Ethernet(0x0806, Bytes(28, 1))};
        for (const Bytes& f : sent) ASSERT_TRUE(SimReceiveFrame(1, f.data(), static_cast<ULONG>(f.size())));
        ASSERT_TRUE(PumpUntil([] { return SimStackTotal(1) == 3; }));
        Stop();
        EXPECT_EQ(StackFrame(1, 0), Ipv4(5, 0xb6));
        EXPECT_EQ(StackFrame(1, 1), sent[1]);
        EXPECT_EQ(StackFrame(1, 2), sent[2]);
        EXPECT_EQ(SimStackTotal(1), 3u);
        EXPECT_EQ(SimAdapterEvent(1), nullptr);
        ExpectReleased();
    }
}

// Checked without traffic and without being asked; nothing else is diverted.
TEST_F(FilterTest, AdapterGoneForGoodIsStillCheckedAndSaidOnce) {
    StartTunnel(1, 1, 5, false);
    SimRemoveAdapter(1);
    ASSERT_TRUE(PumpUntil([&] { return changes == 1; }, 3000));
    const ULONG checks = SimCallCount("GetTcpipBoundAdaptersInfo");
    ASSERT_TRUE(PumpUntil([&] { return SimCallCount("GetTcpipBoundAdaptersInfo") >= checks + 2; }, 5000));
    EXPECT_EQ(lines, Lines{kWentAway});
    EXPECT_EQ(SimAdapterMode(2), 0u);
    // Tunnel mode at the start, then the attempt to give the old handle back.
    EXPECT_EQ(SimCallCount("SetAdapterMode"), 2u);
}

// The start's worker waits, without touching any adapter, for its adapter to
// be listed, however the list first failed to name it; a user's Enable does not.
TEST_F(FilterTest, StartUpWaitsForItsAdapterToBeListed) {
    const std::string waiting =
        std::string("[info] The remembered adapter ") + kNames[0] + " is not in the list; filtering starts when it appears.";
    const char* const here = "[info] The adapter is here; filtering.";
    const struct {
        const char* name;
        bool startUp, refuseRead;
        bool afterLock;  // listed at first; the read after the lock's wait is refused
        Lines lines;
    } rows[] = {
        {"not listed yet", true, false, false, {waiting, here}},
        {"first read refused", true, true, false, {waiting, here}},
        {"read after the lock refused", true, true, true, {waiting, here}},
        {"a user's Enable with a refused read", false, true, false,
         {"[error] There is no network interface with such index on this system."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        std::optional<TAdapterLock> held;
        if (row.afterLock)
            held.emplace(kNames[0], nullptr);
        else if (row.refuseRead)
            SimRefuseGetTcpipBoundAdaptersInfo(TRUE);
        else
            SimRemoveAdapter(1);
        TFilterOptions options = Options(1, 1, 5, false);
        options.StartUp = row.startUp;
        filter = TTTLFilter::Create(options, [this](const TFilterNews& news) { OnNews(news); });
        if (!row.startUp) {
            WaitEnd();
            EXPECT_EQ(lines, row.lines);
            ExpectReleased();
            continue;
        }
        if (row.afterLock) {
            ASSERT_TRUE(PumpUntil([] { return SimCallCount("GetTcpipBoundAdaptersInfo") == 1; }));
            SimRefuseGetTcpipBoundAdaptersInfo(TRUE);
            held.reset();
        }
        ASSERT_TRUE(PumpUntil([&] { return lines.size() == 1; }));
        // It waits without the lock.
        EXPECT_EQ(TAdapterLock(kNames[0], nullptr).State(), TAdapterLock::Taken);
        // Asked to look again, it still touches no adapter.
        const ULONG reads = SimCallCount("GetTcpipBoundAdaptersInfo");
        filter->CheckAdapterNow();
        ASSERT_TRUE(PumpUntil([&] { return SimCallCount("GetTcpipBoundAdaptersInfo") > reads; }));
        EXPECT_EQ(SimCallCount("SetPacketEvent"), 0u);
        if (row.refuseRead)
            SimRefuseGetTcpipBoundAdaptersInfo(FALSE);
        else
            SimRestoreAdapter(1);
        ASSERT_TRUE(PumpUntil([&] { return SimAdapterMode(1) == 2 && lines.size() == 2; }));
        EXPECT_EQ(lines, row.lines);
        EXPECT_EQ(kinds.front(), TFilterNewsKind::Waiting);
        EXPECT_EQ(kinds.back(), TFilterNewsKind::Filtering);
        ExpectReleased();
    }
}

// A list read that fails says nothing of the adapter: the binding stays.
TEST_F(FilterTest, FailedListReadKeepsTheBinding) {
    StartTunnel(1, 1, 5, false);
    SimRefuseGetTcpipBoundAdaptersInfo(TRUE);
    const ULONG checks = SimCallCount("GetTcpipBoundAdaptersInfo");
    filter->CheckAdapterNow();
    ASSERT_TRUE(PumpUntil([&] { return SimCallCount("GetTcpipBoundAdaptersInfo") >= checks + 2; }, 5000));
    const Bytes f = Ipv4(1);
    ASSERT_TRUE(SimReceiveFrame(1, f.data(), static_cast<ULONG>(f.size())));
    ASSERT_TRUE(PumpUntil([] { return SimStackTotal(1) == 1; }));
    EXPECT_EQ(StackFrame(1, 0), Ipv4(5, 0xb6));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(changes, 0);
}

// Weeks of a driver under stress in seconds: one in 20 of the worker's
// calls refused while its adapter goes and comes back every 300 ms.
TEST_F(FilterTest, RandomRefusalsAndRebindsLoseNoFrameAndLeakNothing) {
    const ULONG handlesBefore = OwnHandleCount();
    StartWithSentRule(Options(1, 1, 5, false));
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(1) == 3; }));
    std::vector<HANDLE> adapterHandles{SimAdapterHandle(1)};
    SimRefuseAtRandom(nullptr, 20, 2212);
    const Bytes frame = Ipv4(1);
    ULONG frames = 0;
    auto feed = [&](DWORD ms) {
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < ms) {
            SimReceiveFrame(1, frame.data(), static_cast<ULONG>(frame.size()));
            SimSendFrame(1, frame.data(), static_cast<ULONG>(frame.size()));
            ++frames;
            Pump(1);
        }
    };
    constexpr int kRebinds = 20;
    // Each change told at once, as the window's device-change message does.
    for (int i = 0; i < kRebinds; ++i) {
        feed(150);
        SimRemoveAdapter(1);
        filter->CheckAdapterNow();
        feed(150);
        SimRestoreAdapter(1);
        filter->CheckAdapterNow();
        adapterHandles.push_back(SimAdapterHandle(1));
    }
    const ULONG refusals = SimRefuseAtRandom(nullptr, 0, 0);
    const DWORD calm = ::GetTickCount();
    ASSERT_TRUE(PumpUntil([] { return SimAdapterMode(1) == 3 && SimAdapterEvent(1); }, 2500));
    const DWORD recoveredMs = ::GetTickCount() - calm;
    Stop();
    EXPECT_EQ(SimAdapterMode(1), 0u);
    EXPECT_EQ(SimAdapterEvent(1), nullptr);
    EXPECT_EQ(SimOpenHandles(), openHandles);
    for (HANDLE adapter : adapterHandles) {
        ULONG reads = 0, sends = 0, afterRelease = 0, wire = 0;
        SimHandleCounts(adapter, &reads, &sends, &afterRelease, &wire);
        EXPECT_EQ(reads, sends + wire) << adapter;
        EXPECT_EQ(afterRelease, 0u) << adapter;
    }
    const ULONG handlesAfter = OwnHandleCount();
    EXPECT_LE(handlesAfter, handlesBefore + 5);
    EXPECT_GE(handlesAfter + 5, handlesBefore);
    std::printf("frames=%lu refusals=%lu rebinds=%d recovered_ms=%lu handles_before=%lu handles_after=%lu\n", frames,
                refusals, kRebinds, recoveredMs, handlesBefore, handlesAfter);
}

// A process that fails while filtering gives its adapter back before it ends.
TEST(LastChanceTest, FailureOnAnotherThreadLeavesTheAdapterInNormalMode) {
    // "mid-attach": the crash comes while tunnel mode is being set.
    for (const char* how : {"access-violation", "terminate", "mid-attach", "mid-attach-released"}) {
        SCOPED_TRACE(how);
        EXPECT_EQ(RunProcess(BinFolder() + "crash_child.exe", how), 0x100u)
            << "0x100 | mode | 0x10 while an event is attached | 0x20 while held";
    }
}

} // namespace
