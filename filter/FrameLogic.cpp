#include "FrameLogic.h"

#include <bit>
#include <cstring>

namespace frame {

std::uint16_t ReadBigEndian16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void WriteBigEndian16(std::uint8_t* p, std::uint16_t value) noexcept {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint16_t IpHeaderChecksum(const std::uint8_t* start, std::size_t words) noexcept {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < words; ++i) sum += ReadBigEndian16(start + 2 * i);
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::size_t ChecksummedHeaderLength(const std::uint8_t* frame, std::size_t length) noexcept {
    const std::size_t declared = static_cast<std::size_t>(frame[kIpHeaderOffset] & 0x0F) * 4;
    if (declared > kMinIpHeaderLength && kIpHeaderOffset + declared <= length) return declared;
    return kMinIpHeaderLength;
}

FrameVerdict InspectFrame(const std::uint8_t* frame, std::size_t length, Ipv6Rule ipv6) noexcept {
    FrameVerdict verdict;
    if (length < kMinIpv4FrameLength) return verdict;
    const std::uint16_t etherType = ReadBigEndian16(frame + kEtherTypeOffset);
    if (etherType == kEtherTypeIpv4) {
        verdict.kind = FrameKind::Ipv4;
        verdict.ttl = frame[kIpHeaderOffset + kTtlOffset];
    } else if (ipv6 == Ipv6Rule::Rewrite && etherType == kEtherTypeIpv6 && length >= kMinIpv6FrameLength &&
               frame[kIpHeaderOffset] >> 4 == 6) {
        verdict.kind = FrameKind::Ipv6;
        verdict.ttl = frame[kIpHeaderOffset + kHopLimitOffset];
    } else {
        verdict.kind = FrameKind::NotIpv4;
    }
    return verdict;
}

namespace {

std::uint32_t OwnOrderLoad16(const std::uint8_t* p) noexcept {
    std::uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The 16-bit word of the bytes `first`, `second` as the machine loads it.
std::uint32_t OwnOrderWord(std::uint8_t first, std::uint8_t second) noexcept {
    if constexpr (std::endian::native == std::endian::little) return first | std::uint32_t{second} << 8;
    return std::uint32_t{first} << 8 | second;
}

// The checksum of the IPv4 header at `ip`, `bytes` long (even, at most 60),
// as it reads with `ttl` in place and a zero checksum field: from scratch,
// the old checksum and TTL taking no part. Summed in the machine's own byte
// order and turned to network order once at the end, which gives the same
// ones' complement sum (RFC 1071, 2(B)). Read from the header before anything
// is written to it, so that no load waits on the stores of the new TTL and
// checksum.
std::uint16_t ChecksumWithTtl(const std::uint8_t* ip, std::size_t bytes, std::uint8_t ttl) noexcept {
    std::uint32_t sum = OwnOrderWord(ttl, ip[kTtlOffset + 1]);
    for (std::size_t at = 0; at < kTtlOffset; at += 2) sum += OwnOrderLoad16(ip + at);
    for (std::size_t at = kChecksumOffset + 2; at < bytes; at += 2) sum += OwnOrderLoad16(ip + at);
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    const std::uint16_t own = static_cast<std::uint16_t>(~sum);
    return ReadBigEndian16(reinterpret_cast<const std::uint8_t*>(&own));
}

} // namespace

void RewriteTtl(std::uint8_t* frame, std::size_t length, std::uint8_t newTtl) noexcept {
    std::uint8_t* ip = frame + kIpHeaderOffset;
    const std::size_t bytes = ChecksummedHeaderLength(frame, length);
    // Nearly every header has no options: its sum then needs no loop.
    const std::uint16_t checksum = bytes == kMinIpHeaderLength ? ChecksumWithTtl(ip, kMinIpHeaderLength, newTtl)
                                                               : ChecksumWithTtl(ip, bytes, newTtl);
    ip[kTtlOffset] = newTtl;
    WriteBigEndian16(ip + kChecksumOffset, checksum);
}

namespace {

bool Ipv4Unicast(const std::uint8_t* ip) noexcept {
    const std::uint8_t* to = ip + kIpv4DestinationOffset;
    const bool multicast = (to[0] & 0xF0) == 0xE0;
    const bool broadcast = to[0] == 0xFF && to[1] == 0xFF && to[2] == 0xFF && to[3] == 0xFF;
    return !multicast && !broadcast;
}

bool Ipv6Unicast(const std::uint8_t* ip) noexcept {
    return ip[kIpv6DestinationOffset] != 0xFF;
}

} // namespace

FrameVerdict ProcessFrame(std::uint8_t* frame, std::size_t length, std::uint8_t badTtl, std::uint8_t newTtl,
                          FrameObserver* observer, Ipv6Rule ipv6) {
    FrameVerdict verdict = InspectFrame(frame, length, ipv6);
    switch (verdict.kind) {
        case FrameKind::Ipv4:
            if (observer) observer->Ipv4Frame(verdict.ttl);
            if (verdict.ttl > badTtl) break;
            RewriteTtl(frame, length, newTtl);
            verdict.rewritten = true;
            break;
        case FrameKind::Ipv6:
            if (observer) observer->Ipv6Frame(verdict.ttl);
            if (verdict.ttl > badTtl) break;
            frame[kIpHeaderOffset + kHopLimitOffset] = newTtl;
            verdict.rewritten = true;
            break;
        default: break;
    }
    return verdict;
}

FrameVerdict ProcessSentFrame(std::uint8_t* frame, std::size_t length, std::uint8_t sentTtl,
                              FrameObserver* observer) {
    FrameVerdict verdict = InspectFrame(frame, length, Ipv6Rule::Rewrite);
    std::uint8_t* ip = frame + kIpHeaderOffset;
    switch (verdict.kind) {
        case FrameKind::Ipv4:
            if (observer) observer->Ipv4Frame(verdict.ttl);
            if (verdict.ttl == sentTtl || !Ipv4Unicast(ip)) break;
            RewriteTtl(frame, length, sentTtl);
            verdict.rewritten = true;
            break;
        case FrameKind::Ipv6:
            if (observer) observer->Ipv6Frame(verdict.ttl);
            if (verdict.ttl == sentTtl || verdict.ttl == kLinkLocalHopLimit || !Ipv6Unicast(ip)) break;
            ip[kHopLimitOffset] = sentTtl;
            verdict.rewritten = true;
            break;
        default: break;
    }
    return verdict;
}

} // namespace frame
