// Frame logic of the TTL filter over plain bytes. Includes no Windows header,
// so the same source builds natively for fuzzing and sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace frame {

constexpr std::size_t kEtherTypeOffset = 12;
constexpr std::size_t kIpHeaderOffset = 14;
constexpr std::size_t kTtlOffset = 8;         // within the IP header
constexpr std::size_t kChecksumOffset = 10;   // within the IP header
constexpr std::size_t kMinIpHeaderLength = 20;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
// An Ethernet header and a 20-byte IPv4 header.
constexpr std::size_t kMinIpv4FrameLength = kIpHeaderOffset + kMinIpHeaderLength;
constexpr std::uint16_t kEtherTypeIpv6 = 0x86DD;
constexpr std::size_t kHopLimitOffset = 7;    // within the IPv6 header
constexpr std::size_t kIpv6HeaderLength = 40;
constexpr std::size_t kMinIpv6FrameLength = kIpHeaderOffset + kIpv6HeaderLength;
constexpr std::size_t kIpv4DestinationOffset = 16;  // within the IPv4 header
constexpr std::size_t kIpv6DestinationOffset = 24;  // within the IPv6 header
// Neighbour discovery and router advertisements must arrive with this hop
// limit, or their receivers drop them.
constexpr std::uint8_t kLinkLocalHopLimit = 255;

// RFC 1071 Internet checksum of `words` 16-bit words read in network byte
// order; the caller stores the result in network byte order.
std::uint16_t IpHeaderChecksum(const std::uint8_t* start, std::size_t words) noexcept;

std::uint16_t ReadBigEndian16(const std::uint8_t* p) noexcept;
void WriteBigEndian16(std::uint8_t* p, std::uint16_t value) noexcept;

// Bytes of the IPv4 header of a frame of `length` bytes (at least
// kMinIpv4FrameLength) that its checksum covers: the header length field
// times four when that exceeds 20 bytes and the header lies within the frame,
// otherwise 20. Summing only 20 bytes of a header with options would give a
// checksum the receiving stack rejects.
std::size_t ChecksummedHeaderLength(const std::uint8_t* frame, std::size_t length) noexcept;

// Ipv6 only where IPv6 hop limits are rewritten too; otherwise an IPv6 frame
// is NotIpv4 like any other.
enum class FrameKind { TooShort, NotIpv4, Ipv4, Ipv6 };

// Whether an IPv6 hop limit is treated like an IPv4 TTL. No checksum covers
// it (IPv6 has no header checksum, and the upper layers' pseudo-header leaves
// it out), so only the hop limit byte changes.
enum class Ipv6Rule { Pass, Rewrite };

struct FrameVerdict {
    FrameKind kind = FrameKind::TooShort;
    std::uint8_t ttl = 0;      // as received: the TTL of Ipv4, the hop limit of Ipv6
    bool rewritten = false;
};

// Tells what a received frame of `length` valid bytes is, without changing it.
// An IPv6 frame counts as Ipv6 only under Ipv6Rule::Rewrite, and only when it
// holds a whole fixed header of version 6.
FrameVerdict InspectFrame(const std::uint8_t* frame, std::size_t length, Ipv6Rule ipv6 = Ipv6Rule::Pass) noexcept;

// Writes newTtl into an IPv4 frame of `length` bytes (one InspectFrame found
// to be Ipv4) and stores the header checksum recomputed from scratch.
void RewriteTtl(std::uint8_t* frame, std::size_t length, std::uint8_t newTtl) noexcept;

// Hears of an IPv4 or IPv6 frame before ProcessFrame decides on it. It may
// throw; the frame is then left as received.
class FrameObserver {
public:
    virtual void Ipv4Frame(std::uint8_t ttl) = 0;
    virtual void Ipv6Frame(std::uint8_t hopLimit) = 0;

protected:
    ~FrameObserver() = default;
};

// Looks at one received frame of `length` valid bytes and, when it is IPv4
// with a TTL at or below badTtl, writes newTtl and a fresh header checksum in
// place; under Ipv6Rule::Rewrite an IPv6 hop limit at or below badTtl becomes
// newTtl. Frames too short to hold both headers are left alone: their TTL and
// checksum bytes would lie beyond what was received.
FrameVerdict ProcessFrame(std::uint8_t* frame, std::size_t length, std::uint8_t badTtl, std::uint8_t newTtl,
                          FrameObserver* observer = nullptr, Ipv6Rule ipv6 = Ipv6Rule::Pass);

// Looks at one frame the host sends and, when it is IPv4 to a unicast address
// with a TTL other than sentTtl, writes sentTtl and a fresh header checksum;
// an IPv6 frame (whatever the received rule does with IPv6) to a unicast
// address with a hop limit neither sentTtl nor 255 gets sentTtl. Multicast,
// whose TTL is its scope, the limited broadcast and everything that is not
// IPv4 or IPv6 pass unchanged.
FrameVerdict ProcessSentFrame(std::uint8_t* frame, std::size_t length, std::uint8_t sentTtl,
                              FrameObserver* observer = nullptr);

} // namespace frame
