// Frames that the frame tests and the worker's tests both send.
#pragma once

#include <cstdint>
#include <vector>

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
