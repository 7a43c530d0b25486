// The TTL filter worker: filters one adapter for as long as it runs.
#pragma once

#include "AdapterBinding.h"
#include "DriverApi.h"
#include "FrameLogic.h"
#include "toolkit/Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Receives each log line on the main thread.
using TMessageEvent = std::function<void(const std::string& Line)>;
// Told on the main thread, right after the line that says so, that the
// adapter went away or is back.
using TAdapterChangeEvent = std::function<void()>;

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
    // Starts filtering at once the adapter listed under AdapterName (the
    // position is what the user was shown); IPv6 says whether IPv6 hop limits
    // are rewritten like TTLs. The caller owns the worker, and destroying it
    // stops it first.
    static tk::ThreadPtr<TTTLFilter> Create(std::uint32_t AdapterIndex, std::string AdapterName, std::uint8_t BadTTL,
                                            std::uint8_t NewTTL, TMessageEvent OnMessage, bool Trace,
                                            TAdapterChangeEvent OnAdapterChange = nullptr,
                                            frame::Ipv6Rule IPv6 = frame::Ipv6Rule::Pass);
    // Made suspended (tk::MakeThread), so that a terminate request can come
    // before the body begins.
    TTTLFilter(std::uint32_t AdapterIndex, std::string AdapterName, std::uint8_t BadTTL, std::uint8_t NewTTL,
               TMessageEvent OnMessage, bool Trace, TAdapterChangeEvent OnAdapterChange = nullptr,
               frame::Ipv6Rule IPv6 = frame::Ipv6Rule::Pass);

    // Asks the worker to look for its adapter in the driver's list now rather
    // than at its next periodic check (after a resume or a device change).
    void CheckAdapterNow() noexcept;

    const std::uint32_t AdapterIndex;
    const std::string AdapterName;
    const std::uint8_t BadTTL;
    const std::uint8_t NewTTL;
    const bool Trace;
    const frame::Ipv6Rule IPv6;
    const TMessageEvent OnMessage;
    const TAdapterChangeEvent OnAdapterChange;
    TFilterCounts Counts;

protected:
    void Execute() override;

private:
    void FormatLogLine(const char* Text, TLogLevel Level, int Depth);
    // Hands Message to OnMessage and, when AdapterChanged, then tells
    // OnAdapterChange, in one delivery.
    void DeliverMessage(bool AdapterChanged = false);
    void Log(const char* Text, TLogLevel Level, int Depth);
    // Logs the line and tells OnAdapterChange, in one delivery.
    void LogAdapterChange(const char* Text, TLogLevel Level);
    // Looks the adapter up in a fresh list and follows it when its handle
    // went away or changed.
    void FollowAdapter(HANDLE Driver, TCP_AdapterList& Adapters, TAdapterBinding& Binding);
    void ProcessPacket(INTERMEDIATE_BUFFER& Packet);
    // Trace an IPv4 or IPv6 packet before its TTL or hop limit is decided on.
    void Ipv4Frame(std::uint8_t ttl) override;
    void Ipv6Frame(std::uint8_t hopLimit) override;

    std::string Message;
    tk::UniqueEvent checkNow_;
    // The handle a rebind was last refused on: a refusal is logged once per handle.
    HANDLE refusedAdapter_ = nullptr;
};
