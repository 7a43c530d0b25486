#include "TTLFilterUnit.h"

#include "toolkit/Handles.h"

#include <algorithm>
#include <cstdio>

const char* const LevelNames[2] = {"error", "trace"};

namespace {

constexpr DWORD kWaitPeriodMs = 1000;

} // namespace

tk::ThreadPtr<TTTLFilter> TTTLFilter::Create(std::uint32_t AdapterIndex, std::uint8_t BadTTL, std::uint8_t NewTTL,
                                              TMessageEvent OnMessage, bool Trace) {
    return tk::StartThread<TTTLFilter>(AdapterIndex, BadTTL, NewTTL, std::move(OnMessage), Trace);
}

TTTLFilter::TTTLFilter(std::uint32_t AdapterIndex_, std::uint8_t BadTTL_, std::uint8_t NewTTL_,
                       TMessageEvent OnMessage_, bool Trace_)
    : AdapterIndex(AdapterIndex_),
      BadTTL(BadTTL_),
      NewTTL(NewTTL_),
      Trace(Trace_),
      OnMessage(std::move(OnMessage_)) {
    FreeOnTerminate = false;
}

void TTTLFilter::FormatLogLine(const char* Text, TLogLevel Level, int Depth) {
    char line[512];
    // "[%s] %s%s" with the indentation of two blanks per depth as the middle field.
    std::snprintf(line, sizeof line, "[%s] %*s%s", LevelNames[Level], 2 * Depth, "", Text);
    Message = line;
}

void TTTLFilter::DeliverMessage() {
    auto call = [this] {
        if (OnMessage) OnMessage(Message);
    };
    Synchronize(call);
}

void TTTLFilter::Log(const char* Text, TLogLevel Level, int Depth) {
    FormatLogLine(Text, Level, Depth);
    DeliverMessage();
}

void TTTLFilter::Execute() {
    const UniqueDriver driverOwner = OpenLoadedDriver();
    if (!driverOwner) {
        Message = "[error] Driver not loaded.";
        DeliverMessage();
        return;
    }
    HANDLE driver = driverOwner.get();

    TCP_AdapterList adapters{};
    ::GetTcpipBoundAdaptersInfo(driver, &adapters);
    // Slot AdapterIndex - 1 is read below: index 0, or one past the record's
    // 32 fixed slots (whatever count the driver claims), has no slot.
    if (AdapterIndex == 0 || AdapterIndex > adapters.m_nAdapterCount || AdapterIndex > ADAPTER_LIST_SIZE) {
        Log("There is no network interface with such index on this system.", llError, 0);
        return;
    }

    tk::UniqueEvent event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        Log("Could not create event.", llError, 0);
        return;
    }

    HANDLE adapter = adapters.m_nAdapterHandle[AdapterIndex - 1];
    if (!::SetPacketEvent(driver, adapter, event.get())) {
        Log("Could not set receive event.", llError, 0);
        return;
    }
    tk::ScopeGuard detachEvent([&] { ::SetPacketEvent(driver, adapter, nullptr); });

    INTERMEDIATE_BUFFER buffer{};
    ETH_REQUEST request{adapter, &buffer};
    ADAPTER_MODE mode{adapter, MSTCP_FLAG_RECV_TUNNEL};
    if (!::SetAdapterMode(driver, &mode)) {
        Log("Could not set adapter mode.", llError, 0);
        return;
    }
    tk::ScopeGuard normalMode([&] {
        ADAPTER_MODE normal{adapter, 0};
        ::SetAdapterMode(driver, &normal);
    });

    // The terminate request's event wakes the wait at once; the packet event
    // stays the worker's own.
    const HANDLE waits[2] = {event.get(), TerminateEvent()};
    while (!Terminated()) {
        ::WaitForMultipleObjects(2, waits, FALSE, kWaitPeriodMs);
        ::ResetEvent(event.get());
        while (!Terminated() && ::ReadPacket(driver, &request)) {
            // Every packet read goes on to the stack exactly once, even when
            // a log delivery threw while it was processed.
            tk::ScopeGuard passOn([&] { ::SendPacketToMstcp(driver, &request); });
            ProcessPacket(buffer);
        }
    }
}

void TTTLFilter::ProcessPacket(INTERMEDIATE_BUFFER& Packet) {
    if (Trace) Log("Packet received.", llTrace, 0);
    const std::size_t length = std::min<std::size_t>(Packet.m_Length, MAX_ETHER_FRAME);
    const frame::FrameVerdict verdict =
        frame::ProcessFrame(Packet.m_IBuffer, length, BadTTL, NewTTL, Trace ? this : nullptr);
    if (Trace && verdict.rewritten) Log("TTL changed.", llTrace, 2);
}

void TTTLFilter::Ipv4Frame(std::uint8_t ttl) {
    Log("Packet protocol: IP", llTrace, 1);
    char text[16];
    std::snprintf(text, sizeof text, "TTL=%d", ttl);
    Log(text, llTrace, 1);
}
