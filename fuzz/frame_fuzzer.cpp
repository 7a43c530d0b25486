// Feeds arbitrary frames and settings to the worker's frame function. The
// thresholds come from the first two bytes, the rest is the frame, which goes
// through with IPv6 hop limits passed and again with them rewritten, then
// through the sent rule with the second byte as "SentTTL". Each time
// the frame is processed twice: in a heap buffer of exactly its length, so that the
// sanitizer reports any read or write past what was received, and in a buffer
// of the driver's full frame size whose bytes past the length are filled with
// junk, as a stale single buffer would hold; both results must agree.
#include "filter/FrameLogic.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kMaxFrame = 1514;

// The Internet checksum over `bytes` bytes, written apart from the code under test.
std::uint16_t ReferenceSum(const std::uint8_t* p, std::size_t bytes) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) sum += std::uint32_t(p[i]) << 8 | p[i + 1];
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Checks one rule on one input: only the TTL or hop limit byte (and an IPv4
// header's checksum) may change, and only when it was at or below badTtl;
// for a `sent` frame, when it was not newTtl (nor an IPv6 hop limit of 255)
// and the frame goes to a unicast address.
void CheckRule(const std::uint8_t* data, std::size_t size, std::uint8_t badTtl, std::uint8_t newTtl,
               frame::Ipv6Rule rule, bool sent = false) {
    const auto process = [&](std::uint8_t* f) {
        return sent ? frame::ProcessSentFrame(f, size, newTtl)
                    : frame::ProcessFrame(f, size, badTtl, newTtl, nullptr, rule);
    };
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size ? size : 1]);
    std::memcpy(exact.get(), data, size);
    const frame::FrameVerdict v = process(exact.get());

    std::uint8_t padded[kMaxFrame];
    std::memset(padded, badTtl ^ 0xA5, sizeof padded);
    std::memcpy(padded, data, size);
    const frame::FrameVerdict w = process(padded);
    Check(v.kind == w.kind && v.ttl == w.ttl && v.rewritten == w.rewritten);
    Check(std::memcmp(exact.get(), padded, size) == 0);

    const bool ipv4 = size >= 34 && data[12] == 0x08 && data[13] == 0x00;
    const bool ipv6 = rule == frame::Ipv6Rule::Rewrite && size >= 54 && data[12] == 0x86 && data[13] == 0xDD &&
                      (data[14] & 0xF0) == 0x60;
    const std::size_t ttlAt = ipv6 ? 21 : 22;
    const bool unicast = ipv6 ? data[38] != 0xFF
                              : ipv4 && (data[30] & 0xF0) != 0xE0 && (data[30] & data[31] & data[32] & data[33]) != 0xFF;
    const bool due = (ipv4 || ipv6) && (sent ? unicast && data[ttlAt] != newTtl && !(ipv6 && data[ttlAt] == 255)
                                             : data[ttlAt] <= badTtl);
    Check(v.rewritten == due);
    if (!due) {
        Check(std::memcmp(exact.get(), data, size) == 0);
        return;
    }
    const std::uint8_t* out = exact.get();
    Check(out[ttlAt] == newTtl);
    for (std::size_t i = 0; i < size; ++i) {
        if (i != ttlAt && (ipv6 || (i != 24 && i != 25))) Check(out[i] == data[i]);
    }
    if (ipv6) return;
    const std::size_t declared = std::size_t(data[14] & 0x0F) * 4;
    const std::size_t span = declared > 20 && 14 + declared <= size ? declared : 20;
    Check(ReferenceSum(out + 14, span) == 0xFFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t badTtl = data[0], newTtl = data[1];
    data += 2;
    size -= 2;
    if (size > kMaxFrame) size = kMaxFrame;
    CheckRule(data, size, badTtl, newTtl, frame::Ipv6Rule::Pass);
    CheckRule(data, size, badTtl, newTtl, frame::Ipv6Rule::Rewrite);
    CheckRule(data, size, badTtl, newTtl, frame::Ipv6Rule::Rewrite, true);
    return 0;
}
