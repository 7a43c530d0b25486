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
    // Starts filtering at once; the caller owns the worker, and destroying it
    // stops it first.
    static tk::ThreadPtr<TTTLFilter> Create(std::uint32_t AdapterIndex, std::uint8_t BadTTL, std::uint8_t NewTTL,
                                            TMessageEvent OnMessage, bool Trace);
    // Made suspended (tk::MakeThread), so that a terminate request can come
    // before the body begins.
    TTTLFilter(std::uint32_t AdapterIndex, std::uint8_t BadTTL, std::uint8_t NewTTL, TMessageEvent OnMessage,
               bool Trace);

    const std::uint32_t AdapterIndex;
    const std::uint8_t BadTTL;
    const std::uint8_t NewTTL;
    const bool Trace;
    const TMessageEvent OnMessage;

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
