#include "sim/TrickleFeeder.h"

#include "filter/FrameLogic.h"
#include "sim/SimDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace {

constexpr DWORD kTickMs = 50;

using Frame = std::vector<std::uint8_t>;

// Ethernet header to the adapter (the feeder writes its MAC) from a fixed host.
Frame Ethernet(std::uint16_t etherType, bool broadcast = false) {
    Frame f(14, 0);
    if (broadcast) std::fill(f.begin(), f.begin() + 6, 0xFF);
    const std::uint8_t source[6] = {0x00, 0x50, 0x56, 0xC0, 0x00, 0x08};
    std::copy(std::begin(source), std::end(source), f.begin() + 6);
    frame::WriteBigEndian16(&f[12], etherType);
    return f;
}

// Pads to the 60 bytes of the shortest Ethernet frame.
Frame Padded(Frame f) {
    if (f.size() < 60) f.resize(60, 0);
    return f;
}

// A UDP datagram in IPv4 with a valid header checksum.
Frame Ipv4(std::uint8_t ttl, std::uint16_t id) {
    Frame f = Ethernet(frame::kEtherTypeIpv4);
    const std::uint8_t header[20] = {0x45, 0x00, 0x00, 0x2E, static_cast<std::uint8_t>(id >> 8),
                                     static_cast<std::uint8_t>(id), 0x00, 0x00, ttl, 0x11, 0x00, 0x00,
                                     192, 168, 7, 1, 192, 168, 7, 20};
    f.insert(f.end(), std::begin(header), std::end(header));
    frame::WriteBigEndian16(&f[frame::kIpHeaderOffset + frame::kChecksumOffset],
                            frame::IpHeaderChecksum(&f[frame::kIpHeaderOffset], frame::kMinIpHeaderLength / 2));
    const std::uint8_t udp[8] = {0x00, 0x35, 0xC3, 0x50, 0x00, 0x1A, 0x00, 0x00};
    f.insert(f.end(), std::begin(udp), std::end(udp));
    return Padded(f);
}

Frame Arp() {
    Frame f = Ethernet(0x0806, true);
    const std::uint8_t request[28] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, 0x00, 0x50,
                                      0x56, 0xC0, 0x00, 0x08, 192,  168,  7,    1,    0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x00, 192,  168,  7,    20};
    f.insert(f.end(), std::begin(request), std::end(request));
    return Padded(f);
}

Frame Ipv6() {
    Frame f = Ethernet(0x86DD);
    Frame header(40, 0);
    header[0] = 0x60;
    header[5] = 8;      // payload length
    header[6] = 0x11;   // UDP
    header[7] = 1;      // hop limit: low, yet not IPv4's business
    header[8] = 0xFE;
    header[9] = 0x80;
    header[24] = 0xFE;
    header[25] = 0x80;
    f.insert(f.end(), header.begin(), header.end());
    f.insert(f.end(), 8, 0);
    return f;
}

// An 802.1Q-tagged IPv4 frame whose inner TTL is 1.
Frame Vlan() {
    Frame inner = Ipv4(1, 0x7001);
    Frame f = Ethernet(0x8100);
    const std::uint8_t tag[2] = {0x00, 0x0A};
    f.insert(f.end(), std::begin(tag), std::end(tag));
    f.insert(f.end(), inner.begin() + 12, inner.end());
    return f;
}

std::vector<Frame> MixedTraffic() {
    return {Ipv4(64, 1), Ipv4(1, 2), Arp(), Ipv4(128, 3), Ipv6(), Ipv4(0, 4), Vlan(), Ipv4(64, 5), Ipv4(1, 6)};
}

} // namespace

TTrickleFeeder::~TTrickleFeeder() {
    // Runs only at process exit, when the thread is already gone (it holds a
    // reference to this DLL, so the DLL is never unloaded under it). Waiting
    // for a thread here, inside the DLL's detach, could never end.
    if (stop_) ::SetEvent(stop_.get());
}

void TTrickleFeeder::SetRate(unsigned long framesPerSecond) {
    std::lock_guard lock(mutex_);
    rate_ = framesPerSecond;
    if (framesPerSecond > 0 && !thread_) {
        tk::UniqueEvent stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!stop) return;
        // The thread keeps the DLL loaded while it runs and lets go of it
        // only as it ends.
        HMODULE self = nullptr;
        if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCSTR>(&TTrickleFeeder::ThreadProc), &self)) {
            return;
        }
        stop_ = std::move(stop);
        thread_.reset(::CreateThread(nullptr, 0, &TTrickleFeeder::ThreadProc, this, 0, nullptr));
        if (!thread_) {
            ::FreeLibrary(self);
            stop_.reset();
        }
    } else if (framesPerSecond == 0 && thread_) {
        ::SetEvent(stop_.get());
        ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
        stop_.reset();
    }
}

DWORD WINAPI TTrickleFeeder::ThreadProc(void* self) {
    try {
        static_cast<TTrickleFeeder*>(self)->Run();
    } catch (...) {
        // Out of memory for the frames: the trickle just stops.
    }
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&TTrickleFeeder::ThreadProc), &module);
    ::FreeLibraryAndExitThread(module, 0);
}

void TTrickleFeeder::Run() {
    const std::vector<Frame> frames = MixedTraffic();
    std::size_t next = 0;
    double due = 0;
    auto last = std::chrono::steady_clock::now();
    while (::WaitForSingleObject(stop_.get(), kTickMs) == WAIT_TIMEOUT) {
        const auto now = std::chrono::steady_clock::now();
        due += rate_.load() * std::chrono::duration<double>(now - last).count();
        last = now;
        // A stalled thread catches up by at most one queue's worth.
        due = std::min(due, static_cast<double>(TSimDriver::kQueueLimit));
        for (; due >= 1; due -= 1) {
            const Frame& f = frames[next++ % frames.size()];
            driver_.FeedTunnelAdapters(f.data(), static_cast<ULONG>(f.size()));
        }
    }
}
