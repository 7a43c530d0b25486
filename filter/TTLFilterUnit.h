// The TTL filter worker: filters one adapter for as long as it runs.
#pragma once

#include "AdapterBinding.h"
#include "DriverApi.h"
#include "FrameLogic.h"
#include "toolkit/Thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What a worker is made with, fixed for its life.
struct TFilterOptions {
    // The adapter it follows, by the driver's internal name.
    std::string AdapterName;
    // The 1-based position the user was shown, and the row's caption (the
    // internal name where the window has no row for it).
    std::uint32_t AdapterIndex = 0;
    std::string Caption;
    std::uint8_t BadTTL = 1;
    std::uint8_t NewTTL = 5;
    frame::Ipv6Rule IPv6 = frame::Ipv6Rule::Pass;
    // Whether the packets the host sends on the adapter are diverted too, and
    // the TTL or hop limit the sent rule gives them.
    bool RewriteSent = false;
    std::uint8_t SentTTL = 65;
    bool Trace = false;
    // Started by the program's start-up for the remembered adapter: it waits
    // for that adapter to be listed instead of giving up.
    bool StartUp = false;
};

// What a line from the worker means for whoever shows its state; the words
// are for the user alone.
enum class TFilterNewsKind {
    Line,           // the worker goes on as it was
    Filtering,      // its adapter is diverted (again)
    AdapterGone,    // its adapter went away; it waits for it to come back
    Waiting,        // its adapter has not been listed yet; it waits for it
    LockBusy,       // another Brackwater holds the adapter's lock; it ends
    LockUnguarded,  // a program without administrator rights holds it; it goes on
    Ended,          // it ends on this error
};
constexpr std::size_t kFilterNewsKinds = static_cast<std::size_t>(TFilterNewsKind::Ended) + 1;

enum TLogLevel : int { llError = 0, llTrace = 1, llInfo = 2 };

extern const char* const LevelNames[3];

struct TFilterNews {
    TFilterNewsKind Kind = TFilterNewsKind::Line;
    // The log line, "[level] " and all.
    std::string Line;
    TLogLevel Level = llError;
    // The line without its level and indentation, as a reason reads.
    std::string Text;
};

// Receives each piece of news on the main thread.
using TNewsEvent = std::function<void(const TFilterNews& News)>;

// What a worker has seen since it started. Written by the worker alone and
// read by the main thread at any time, without a lock: each counter is
// atomic, and the set is not a consistent snapshot (rewritten may run ahead of
// read between two loads). 64 bits, since the program runs for weeks. The
// first three count received frames; SentRewritten the sent ones rewritten.
struct TFilterCounts {
    std::atomic<std::uint64_t> FramesRead{0};
    std::atomic<std::uint64_t> Ipv4Seen{0};
    std::atomic<std::uint64_t> Rewritten{0};
    std::atomic<std::uint64_t> SentRewritten{0};

    // Counts one frame read by its direction and verdict, in the worker's own tally.
    // Sums, not branches: direction and verdict change from packet to packet.
    void Count(const frame::FrameVerdict& Verdict, bool Sent) noexcept {
        const unsigned sent = Sent, received = !Sent, rewritten = Verdict.rewritten;
        tally_.framesRead += received;
        tally_.ipv4Seen += received & unsigned{Verdict.kind == frame::FrameKind::Ipv4};
        tally_.rewritten += received & rewritten;
        tally_.sentRewritten += sent & rewritten;
    }
    // Makes the tally visible to readers. A 64-bit atomic store is costly on
    // i686 (it goes through the x87 unit), so the packet path publishes once
    // per burst, not once per frame. Frames read last: a reader that has seen
    // it reach a number sees the others at least as far.
    void Publish() noexcept {
        SentRewritten.store(tally_.sentRewritten, std::memory_order_relaxed);
        Rewritten.store(tally_.rewritten, std::memory_order_relaxed);
        Ipv4Seen.store(tally_.ipv4Seen, std::memory_order_relaxed);
        FramesRead.store(tally_.framesRead, std::memory_order_release);
    }

private:
    struct {
        std::uint64_t framesRead = 0, ipv4Seen = 0, rewritten = 0, sentRewritten = 0;
    } tally_;
};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "64-bit counters read without a lock");

class TTTLFilter final : public tk::TThread, private frame::FrameObserver {
public:
    // Starts filtering at once the adapter listed under Options.AdapterName.
    // The caller owns the worker, and destroying it stops it first.
    static tk::ThreadPtr<TTTLFilter> Create(TFilterOptions Options, TNewsEvent OnNews);
    // Made suspended (tk::MakeThread), so that a terminate request can come
    // before the body begins.
    TTTLFilter(TFilterOptions Options, TNewsEvent OnNews);

    // Asks the worker to look for its adapter in the driver's list now rather
    // than at its next periodic check (after a resume or a device change).
    void CheckAdapterNow() noexcept;

    const TFilterOptions Options;
    const TNewsEvent OnNews;
    TFilterCounts Counts;

protected:
    void Execute() override;

private:
    void FormatLogLine(const char* Text, TLogLevel Level, int Depth);
    // Hands Message to OnNews as news of this kind.
    void DeliverMessage(TFilterNewsKind Kind, TLogLevel Level, const char* Text);
    void Tell(TFilterNewsKind Kind, const char* Text, TLogLevel Level, int Depth = 0);
    void Log(const char* Text, TLogLevel Level, int Depth) { Tell(TFilterNewsKind::Line, Text, Level, Depth); }
    // Looks the adapter up in a fresh list and follows it when its handle
    // went away or changed.
    void FollowAdapter(HANDLE Driver, TCP_AdapterList& Adapters, TAdapterBinding& Binding);
    // The same, for the handle a fresh list names (null when it does not).
    void Follow(HANDLE listed, TAdapterBinding& Binding);
    // Reads the driver's list until it names the adapter, once a period and
    // at once when asked; false when a terminate request came first.
    bool WaitForListing(HANDLE Driver, TCP_AdapterList& Adapters);
    // Applies the rule of the packet's direction, Sent or received, and counts it.
    void ProcessPacket(INTERMEDIATE_BUFFER& Packet, bool Sent);
    frame::FrameVerdict ApplyRule(INTERMEDIATE_BUFFER& Packet, bool Sent, frame::FrameObserver* Observer);
    // The same with its trace lines. Kept apart, and out of line, so that the
    // path of every packet without trace stays small enough to be inlined
    // into the read loop.
    [[gnu::noinline]] void ProcessTracedPacket(INTERMEDIATE_BUFFER& Packet, bool Sent);
    // Trace an IPv4 or IPv6 packet before its TTL or hop limit is decided on.
    void Ipv4Frame(std::uint8_t ttl) override;
    void Ipv6Frame(std::uint8_t hopLimit) override;

    std::string Message;
    tk::UniqueEvent checkNow_;
    // The handle a rebind was last refused on: a refusal is logged once per handle.
    HANDLE refusedAdapter_ = nullptr;
    // The adapter as the waiting line names it: the caption the window gave,
    // with the internal name beside it when the two differ.
    std::string WaitedName() const;
    // Whether the start-up waited for the adapter to be listed, and whether
    // it has been diverted since: its first attach is told as its arrival.
    bool waited_ = false;
    bool diverted_ = false;
};
