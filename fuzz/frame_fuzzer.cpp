// Feeds arbitrary frames and settings to the frame logic. Settings come from
// the first two bytes; the rest is the frame, copied into a buffer of the
// driver's frame size so reads past the received length stay in bounds, as
// they do with the worker's single buffer.
#include "filter/FrameLogic.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t badTtl = data[0], newTtl = data[1];
    data += 2;
    size -= 2;
    constexpr std::size_t kMaxFrame = 1514;
    if (size > kMaxFrame) size = kMaxFrame;
    std::uint8_t* frame = new std::uint8_t[size ? size : 1];
    std::memcpy(frame, data, size);
    const frame::FrameVerdict v = frame::ProcessFrame(frame, size, badTtl, newTtl);
    if (v.kind == frame::FrameKind::Ipv4) {
        if (v.rewritten) {
            if (frame[14 + 8] != newTtl) __builtin_trap();
            if (frame::IpHeaderChecksum(frame + 14, 10) != 0) __builtin_trap();
        } else if (std::memcmp(frame, data, size) != 0 || v.ttl <= badTtl) {
            __builtin_trap();
        }
    } else if (std::memcmp(frame, data, size) != 0) {
        __builtin_trap();
    }
    delete[] frame;
    return 0;
}
