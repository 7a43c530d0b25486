// The TTL filter worker: filters one adapter for as long as it runs.
#pragma once

#include "AdapterBinding.h"
#include "DriverApi.h"
#include "FrameLogic.h"
#include "toolkit/Thread.h"

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

protected:
    void Execute() override;

private:
    void FormatLogLine(const char* Text, TLogLevel Level, int Depth);
    void DeliverMessage();
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
