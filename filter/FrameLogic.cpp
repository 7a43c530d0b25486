#include "FrameLogic.h"

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

void RewriteTtl(std::uint8_t* frame, std::size_t length, std::uint8_t newTtl) noexcept {
    std::uint8_t* ip = frame + kIpHeaderOffset;
    ip[kTtlOffset] = newTtl;
    WriteBigEndian16(ip + kChecksumOffset, 0);
    const std::size_t words = ChecksummedHeaderLength(frame, length) / 2;
    WriteBigEndian16(ip + kChecksumOffset, IpHeaderChecksum(ip, words));
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
