// The TTL filter worker: filters one adapter for as long as it runs.
#pragma once

#include "DriverApi.h"
#include "FrameLogic.h"
#include "toolkit/Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Receives each log line on the main thread.
using TMessageEvent = std::function<void(const std::string& Line)>;

enum TLogLevel : int { llError = 0, llTrace = 1 };

extern const char* const LevelNames[2];

// What a worker has seen since it started. Written by the worker alone and
// read by the main thread at any time, without a lock: each counter is
// atomic, and the set is not a consistent snapshot (rewritten may run ahead of
// read between two loads). 64 bits, since the program runs for weeks.
struct TFilterCounts {
    std::atomic<std::uint64_t> FramesRead{0};
    std::atomic<std::uint64_t> Ipv4Seen{0};
    std::atomic<std::uint64_t> Rewritten{0};
    // Set while the worker waits for its adapter to come back.
    std::atomic<bool> WaitingForAdapter{false};

    // Counts one frame read by its verdict. A single writer needs no
    // read-modify-write: a relaxed load and store keep the packet path free
    // of locked instructions.
    void Count(const frame::FrameVerdict& Verdict) noexcept {
        Bump(FramesRead);
        if (Verdict.kind == frame::FrameKind::Ipv4) Bump(Ipv4Seen);
        if (Verdict.rewritten) Bump(Rewritten);
    }

private:
    static void Bump(std::atomic<std::uint64_t>& Counter) noexcept {
        Counter.store(Counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "64-bit counters read without a lock");

class TTTLFilter final : public tk::TThread, private frame::FrameObserver {
public:
    // Starts filtering at once. CreateSuspended leaves the thread waiting for
    // Resume, so that a terminate request can come before the body begins.
    TTTLFilter(std::uint32_t AdapterIndex, std::uint8_t BadTTL, std::uint8_t NewTTL, TMessageEvent OnMessage,
               bool Trace, bool CreateSuspended = false);
    ~TTTLFilter() override;

    const std::uint32_t AdapterIndex;
    const std::uint8_t BadTTL;
    const std::uint8_t NewTTL;
    const bool Trace;
    const TMessageEvent OnMessage;
    TFilterCounts Counts;

protected:
    void Execute() override;

private:
    void FormatLogLine(const char* Text, TLogLevel Level, int Depth);
    void DeliverMessage();
    void Log(const char* Text, TLogLevel Level, int Depth);
    void ProcessPacket(INTERMEDIATE_BUFFER& Packet);
    // Traces an IPv4 packet before its TTL is decided on.
    void Ipv4Frame(std::uint8_t ttl) override;

    std::string Message;
};
