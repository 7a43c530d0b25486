#include "TTLFilterUnit.h"

#include "AdapterLock.h"
#include "toolkit/Handles.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

const char* const LevelNames[3] = {"error", "trace", "info"};

namespace {

constexpr DWORD kWaitPeriodMs = 1000;
// How often the driver's list is read again, traffic or not: an adapter
// that went away and came back is listed under a new handle, and the old one
// only fails to read, as an empty queue does.
constexpr DWORD kCheckPeriodMs = 1000;
// Frames read in a row between looks at the clock, so that a stream that
// never lets the queue run dry still gets its list checked.
constexpr unsigned kFramesPerClockLook = 64;

const char* AttachFailureText(TAttachResult Result) {
    return Result == TAttachResult::EventRefused ? "Could not set receive event." : "Could not set adapter mode.";
}

} // namespace

tk::ThreadPtr<TTTLFilter> TTTLFilter::Create(TFilterOptions Options, TNewsEvent OnNews) {
    return tk::StartThread<TTTLFilter>(std::move(Options), std::move(OnNews));
}

TTTLFilter::TTTLFilter(TFilterOptions Options_, TNewsEvent OnNews_)
    : Options(std::move(Options_)),
      OnNews(std::move(OnNews_)),
      checkNow_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (!checkNow_) throw std::runtime_error("Could not create thread event");
    FreeOnTerminate = false;
}

void TTTLFilter::CheckAdapterNow() noexcept {
    ::SetEvent(checkNow_.get());
}

void TTTLFilter::FormatLogLine(const char* Text, TLogLevel Level, int Depth) {
    char line[512];
    // "[%s] %s%s" with the indentation of two blanks per depth as the middle field.
    std::snprintf(line, sizeof line, "[%s] %*s%s", LevelNames[Level], 2 * Depth, "", Text);
    Message = line;
}

void TTTLFilter::DeliverMessage(TFilterNewsKind Kind, TLogLevel Level, const char* Text) {
    auto call = [this, Kind, Level, Text] {
        if (OnNews) OnNews(TFilterNews{Kind, Message, Level, Text});
    };
    Synchronize(call);
}

void TTTLFilter::Tell(TFilterNewsKind Kind, const char* Text, TLogLevel Level, int Depth) {
    FormatLogLine(Text, Level, Depth);
    DeliverMessage(Kind, Level, Text);
}

void TTTLFilter::FollowAdapter(HANDLE Driver, TCP_AdapterList& Adapters, TAdapterBinding& Binding) {
    // A failed read (it happens briefly around sleep) tells nothing about the
    // adapter: the binding stays, and the next period reads again.
    if (!NdisApi.GetTcpipBoundAdaptersInfo(Driver, &Adapters)) return;
    Follow(FindAdapterHandle(Adapters, Options.AdapterName), Binding);
}

void TTTLFilter::Follow(HANDLE listed, TAdapterBinding& Binding) {
    if (listed && listed == Binding.Adapter()) return;
    if (Binding.Adapter()) {
        Binding.Release();
        Tell(TFilterNewsKind::AdapterGone, "The adapter went away; filtering resumes when it is back.", llInfo);
    }
    if (!listed) return;
    const TAttachResult result = Binding.Attach(listed);
    if (result == TAttachResult::Attached) {
        refusedAdapter_ = nullptr;
        Tell(TFilterNewsKind::Filtering,
             diverted_ ? "The adapter is back; filtering again." : "The adapter is here; filtering.", llInfo);
        diverted_ = true;
    } else if (listed != refusedAdapter_) {
        // Tried again at every check; said once.
        refusedAdapter_ = listed;
        Log(AttachFailureText(result), llError, 0);
    }
}

std::string TTTLFilter::WaitedName() const {
    // A phone in another port may come back under a new internal name: the
    // old one is told too, so that the user can tell the two apart.
    if (Options.Caption.empty() || Options.Caption == Options.AdapterName) return Options.AdapterName;
    return Options.Caption + " (" + Options.AdapterName + ")";
}

bool TTTLFilter::WaitForListing(HANDLE Driver, TCP_AdapterList& Adapters) {
    const HANDLE waits[2] = {TerminateEvent(), checkNow_.get()};
    for (;;) {
        // A refused read (the system may still be coming up) is waited out
        // like an adapter that is not there yet.
        if (NdisApi.GetTcpipBoundAdaptersInfo(Driver, &Adapters) && FindAdapterHandle(Adapters, Options.AdapterName))
            return true;
        if (!waited_) {
            waited_ = true;
            const std::string text =
                "The remembered adapter " + WaitedName() + " is not in the list; filtering starts when it appears.";
            Tell(TFilterNewsKind::Waiting, text.c_str(), llInfo);
        }
        if (::WaitForMultipleObjects(2, waits, FALSE, kCheckPeriodMs) == WAIT_OBJECT_0 || Terminated()) return false;
    }
}

void TTTLFilter::Execute() {
    const UniqueDriver driverOwner = OpenLoadedDriver();
    if (!driverOwner) {
        Tell(TFilterNewsKind::Ended, "Driver not loaded.", llError);
        return;
    }
    HANDLE driver = driverOwner.get();
    TCP_AdapterList adapters{};
    // Held until the adapter is back in normal mode: released after every clean-up below.
    std::optional<TAdapterLock> lock;
    HANDLE adapter = nullptr;
    for (;;) {
        // The remembered adapter may be plugged in after logon: waited for
        // without the lock, which is for diverting, not for looking.
        if (Options.StartUp && !WaitForListing(driver, adapters)) return;
        lock.emplace(Options.AdapterName, TerminateEvent());
        if (lock->State() == TAdapterLock::Busy)
            Tell(TFilterNewsKind::LockBusy, "Another Brackwater is filtering this adapter.", llError);
        if (lock->State() == TAdapterLock::Unguarded)
            Tell(TFilterNewsKind::LockUnguarded,
                 "A program without administrator rights holds this adapter's lock; filtering anyway.", llError);
        if (lock->State() == TAdapterLock::Busy || lock->State() == TAdapterLock::Stopped) return;

        // Found by name, and only once the lock is held: positions shift when
        // adapters come or go, and the wait may outlast the adapter's handle.
        if (NdisApi.GetTcpipBoundAdaptersInfo(driver, &adapters))
            adapter = FindAdapterHandle(adapters, Options.AdapterName);
        if (adapter) break;
        if (!Options.StartUp) {
            Tell(TFilterNewsKind::Ended, "There is no network interface with such index on this system.", llError);
            return;
        }
        // Unplugged during the lock's wait, or a refused read: a start that
        // was meant to wait waits again, and holds no lock meanwhile.
        lock.reset();
    }

    tk::UniqueEvent event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        Tell(TFilterNewsKind::Ended, "Could not create event.", llError);
        return;
    }

    // Released before the event and the driver close: normal mode, then the
    // event detached; at the end of the loop below, or by an error passing through.
    TAdapterBinding binding(driver, event.get(),
                            Options.RewriteSent ? MSTCP_FLAG_RECV_TUNNEL | MSTCP_FLAG_SENT_TUNNEL : MSTCP_FLAG_RECV_TUNNEL);
    if (waited_) {
        // Arrived after the start: attached, or refused and tried again at
        // every check, as at a rebind.
        Follow(adapter, binding);
        adapter = binding.Adapter();
    } else {
        const TAttachResult attached = binding.Attach(adapter);
        if (attached != TAttachResult::Attached) {
            Tell(TFilterNewsKind::Ended, AttachFailureText(attached), llError);
            return;
        }
        diverted_ = true;
    }

    INTERMEDIATE_BUFFER buffer{};
    ETH_REQUEST request{adapter, &buffer};
    // The terminate request's event wakes the wait at once; the packet event
    // stays the worker's own.
    const HANDLE waits[3] = {event.get(), TerminateEvent(), checkNow_.get()};
    DWORD lastCheck = ::GetTickCount();
    while (!Terminated()) {
        const DWORD sinceCheck = ::GetTickCount() - lastCheck;
        const DWORD wait = sinceCheck >= kCheckPeriodMs ? 0 : std::min(kWaitPeriodMs, kCheckPeriodMs - sinceCheck);
        const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, wait);
        ::ResetEvent(event.get());
        if (Terminated()) break;
        if (woke == WAIT_OBJECT_0 + 2 || ::GetTickCount() - lastCheck >= kCheckPeriodMs) {
            lastCheck = ::GetTickCount();
            FollowAdapter(driver, adapters, binding);
            request.hAdapterHandle = binding.Adapter();
        }
        unsigned frames = 0;
        while (binding.Adapter() && !Terminated() && NdisApi.ReadPacket(driver, &request)) {
            // Every packet read goes on exactly once in its own direction,
            // even when a log delivery threw while it was processed. Without
            // "RewriteSent" the adapter's mode queues no sent packet.
            const bool sent = (buffer.m_dwDeviceFlags & PACKET_FLAG_ON_SEND) != 0;
            tk::ScopeGuard passOn([&] {
                if (sent)
                    NdisApi.SendPacketToAdapter(driver, &request);
                else
                    NdisApi.SendPacketToMstcp(driver, &request);
            });
            ProcessPacket(buffer, sent);
            if (++frames % kFramesPerClockLook == 0) {
                Counts.Publish();
                if (::GetTickCount() - lastCheck >= kCheckPeriodMs) break;
            }
        }
        Counts.Publish();
    }
    // Told whatever "Trace" says: the adapter may stay cut off from the stack,
    // and only the user can put it back.
    if (!binding.ReleaseAtEnd())
        Tell(TFilterNewsKind::Ended, "Could not return the adapter to normal mode.", llError);
}

void TTTLFilter::ProcessPacket(INTERMEDIATE_BUFFER& Packet, bool Sent) {
    if (Options.Trace) {
        ProcessTracedPacket(Packet, Sent);
        return;
    }
    Counts.Count(ApplyRule(Packet, Sent, nullptr), Sent);
}

frame::FrameVerdict TTTLFilter::ApplyRule(INTERMEDIATE_BUFFER& Packet, bool Sent, frame::FrameObserver* Observer) {
    const std::size_t length = std::min<std::size_t>(Packet.m_Length, MAX_ETHER_FRAME);
    return Sent ? frame::ProcessSentFrame(Packet.m_IBuffer, length, Options.SentTTL, Observer)
                : frame::ProcessFrame(Packet.m_IBuffer, length, Options.BadTTL, Options.NewTTL, Observer, Options.IPv6);
}

void TTTLFilter::ProcessTracedPacket(INTERMEDIATE_BUFFER& Packet, bool Sent) {
    Log(Sent ? "Packet sent." : "Packet received.", llTrace, 0);
    const frame::FrameVerdict verdict = ApplyRule(Packet, Sent, this);
    Counts.Count(verdict, Sent);
    if (verdict.rewritten) Log(verdict.kind == frame::FrameKind::Ipv6 ? "Hop limit changed." : "TTL changed.", llTrace, 2);
}

void TTTLFilter::Ipv4Frame(std::uint8_t ttl) {
    Log("Packet protocol: IP", llTrace, 1);
    char text[16];
    std::snprintf(text, sizeof text, "TTL=%d", ttl);
    Log(text, llTrace, 1);
}

void TTTLFilter::Ipv6Frame(std::uint8_t hopLimit) {
    Log("Packet protocol: IPv6", llTrace, 1);
    char text[24];
    std::snprintf(text, sizeof text, "Hop limit=%d", hopLimit);
    Log(text, llTrace, 1);
}
