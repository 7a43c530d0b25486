// The TTL filter worker: filters one adapter for as long as it runs.
#pragma once

#include "DriverApi.h"
#include "FrameLogic.h"
#include "toolkit/Thread.h"

#include <cstdint>
#include <functional>
#include <string>

// Receives each log line on the main thread.
using TMessageEvent = std::function<void(const std::string& Line)>;

enum TLogLevel : int { llError = 0, llTrace = 1 };

extern const char* const LevelNames[2];

class TTTLFilter final : public tk::TThread, private frame::FrameObserver {
public:
    // Starts filtering at once. IPv6 says whether IPv6 hop limits are
    // rewritten like TTLs. CreateSuspended leaves the thread waiting for
    // Resume, so that a terminate request can come before the body begins.
    TTTLFilter(std::uint32_t AdapterIndex, std::uint8_t BadTTL, std::uint8_t NewTTL, TMessageEvent OnMessage,
               bool Trace, frame::Ipv6Rule IPv6 = frame::Ipv6Rule::Pass, bool CreateSuspended = false);
    ~TTTLFilter() override;

    const std::uint32_t AdapterIndex;
    const std::uint8_t BadTTL;
    const std::uint8_t NewTTL;
    const bool Trace;
    const frame::Ipv6Rule IPv6;
    const TMessageEvent OnMessage;

protected:
    void Execute() override;

private:
    void FormatLogLine(const char* Text, TLogLevel Level, int Depth);
    void DeliverMessage();
    void Log(const char* Text, TLogLevel Level, int Depth);
    void ProcessPacket(INTERMEDIATE_BUFFER& Packet);
    // Trace an IPv4 or IPv6 packet before its TTL or hop limit is decided on.
    void Ipv4Frame(std::uint8_t ttl) override;
    void Ipv6Frame(std::uint8_t hopLimit) override;

    std::string Message;
};
