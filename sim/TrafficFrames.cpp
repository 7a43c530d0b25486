#include "sim/TrafficFrames.h"

#include "filter/FrameLogic.h"

#include <algorithm>
#include <iterator>

namespace {

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

} // namespace

std::vector<Frame> MixedTraffic() {
    return {Ipv4(64, 1), Ipv4(1, 2), Arp(), Ipv4(128, 3), Ipv6(), Ipv4(0, 4), Vlan(), Ipv4(64, 5), Ipv4(1, 6)};
}
