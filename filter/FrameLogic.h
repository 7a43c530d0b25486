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

enum class FrameKind { TooShort, NotIpv4, Ipv4 };

struct FrameVerdict {
    FrameKind kind = FrameKind::TooShort;
    std::uint8_t ttl = 0;      // as received; meaningful for Ipv4
    bool rewritten = false;
};

// Tells what a received frame of `length` valid bytes is, without changing it.
FrameVerdict InspectFrame(const std::uint8_t* frame, std::size_t length) noexcept;

// Writes newTtl into an IPv4 frame of `length` bytes (one InspectFrame found
// to be Ipv4) and stores the header checksum recomputed from scratch.
void RewriteTtl(std::uint8_t* frame, std::size_t length, std::uint8_t newTtl) noexcept;

// Hears of an IPv4 frame before ProcessFrame decides on it. It may throw; the
// frame is then left as received.
class FrameObserver {
public:
    virtual void Ipv4Frame(std::uint8_t ttl) = 0;

protected:
    ~FrameObserver() = default;
};

// Looks at one received frame of `length` valid bytes and, when it is IPv4
// with a TTL at or below badTtl, writes newTtl and a fresh header checksum in
// place. Frames too short to hold both headers are left alone: their TTL and
// checksum bytes would lie beyond what was received.
FrameVerdict ProcessFrame(std::uint8_t* frame, std::size_t length, std::uint8_t badTtl, std::uint8_t newTtl,
                          FrameObserver* observer = nullptr);

} // namespace frame
