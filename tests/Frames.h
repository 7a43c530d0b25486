// Frames that the frame tests and the worker's tests both send.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

// `payload` after an Ethernet header of type `etherType`.
inline std::vector<std::uint8_t> Ethernet(std::uint16_t etherType, const std::vector<std::uint8_t>& payload) {
    const std::uint8_t header[] = {0x00, 0x0c, 0x29, 0xab, 0x01, 0xff, 0x00, 0x50, 0x56, 0xc0, 0x00, 0x08,
                                   static_cast<std::uint8_t>(etherType >> 8), static_cast<std::uint8_t>(etherType)};
    std::vector<std::uint8_t> f(sizeof header + payload.size());
    std::copy(std::begin(header), std::end(header), f.begin());
    std::copy(payload.begin(), payload.end(), f.begin() + sizeof header);
    return f;
}

// A fixed IPv6 header with no payload (next header 59), from fe80::1 to
// ff02::1, with hop limit `hopLimit` and version `version`.
inline std::vector<std::uint8_t> Ipv6Header(std::uint8_t hopLimit, std::uint8_t version = 6) {
    std::vector<std::uint8_t> h(40, 0);
    h[0] = static_cast<std::uint8_t>(version << 4);
    h[6] = 59;
    h[7] = hopLimit;
    h[8] = 0xfe, h[9] = 0x80, h[23] = 0x01;
    h[24] = 0xff, h[25] = 0x02, h[39] = 0x01;
    return h;
}

// A 20-byte IPv4 header from 10.0.0.1 to 10.0.0.2 in a frame; its checksum
// holds for TTL 1 with the default high byte.
inline std::vector<std::uint8_t> Ipv4(std::uint8_t ttl, std::uint8_t checksumHigh = 0xba) {
    return Ethernet(0x0800, {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, ttl, 0x06, checksumHigh, 0x00, 0x0a,
                             0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02});
}

inline std::vector<std::uint8_t> Ipv6(std::uint8_t hopLimit, std::uint8_t version = 6) {
    return Ethernet(0x86DD, Ipv6Header(hopLimit, version));
}
