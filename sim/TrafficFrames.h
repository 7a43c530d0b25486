// The frames of the stand-in's background traffic.
#pragma once

#include <cstdint>
#include <vector>

using Frame = std::vector<std::uint8_t>;

// One round of mixed traffic addressed to the adapter: IPv4 at low and
// usual TTLs, ARP, IPv6 and a VLAN-tagged frame.
std::vector<Frame> MixedTraffic();
