// A first-in first-out store of Ethernet frames whose slots are allocated as
// it first fills and reused afterwards, so a steady stream costs one copy per
// frame and no allocation.
#pragma once

#include "filter/DriverApi.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

struct TFrameSlot {
    ULONG length = 0;
    // PACKET_FLAG_ON_SEND or PACKET_FLAG_ON_RECEIVE: the way it was going.
    ULONG deviceFlags = 0;
    unsigned char bytes[MAX_ETHER_FRAME] = {};
};

class TFrameRing {
public:
    explicit TFrameRing(std::size_t limit) : limit_(limit) {}

    std::size_t Size() const noexcept { return count_; }
    bool Full() const noexcept { return count_ == limit_; }

    // Appends a frame of at most MAX_ETHER_FRAME bytes; nullptr when the ring
    // holds its limit already. Returns the stored copy.
    TFrameSlot* Push(const void* data, ULONG length) {
        if (Full()) return nullptr;
        if (count_ == slots_.size()) Grow();
        TFrameSlot& slot = slots_[(head_ + count_) % slots_.size()];
        ++count_;
        slot.length = length;
        std::memcpy(slot.bytes, data, length);
        return &slot;
    }

    // Appends a frame, giving up the oldest one when the ring is at its limit.
    void PushOverwrite(const void* data, ULONG length) {
        if (Full()) PopFront();
        Push(data, length);
    }

    const TFrameSlot* Front() const noexcept { return count_ ? &slots_[head_] : nullptr; }
    void PopFront() noexcept {
        if (!count_) return;
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }

    // Frame i, 0 being the oldest; nullptr beyond the last.
    const TFrameSlot* At(std::size_t i) const noexcept {
        return i < count_ ? &slots_[(head_ + i) % slots_.size()] : nullptr;
    }

    // Forgets the frames but keeps the slots for reuse.
    void Clear() noexcept {
        head_ = 0;
        count_ = 0;
    }

private:
    void Grow() {
        const std::size_t size = std::min(limit_, std::max<std::size_t>(64, 2 * slots_.size()));
        std::vector<TFrameSlot> grown(size);
        for (std::size_t i = 0; i < count_; ++i) grown[i] = slots_[(head_ + i) % slots_.size()];
        slots_.swap(grown);
        head_ = 0;
    }

    std::vector<TFrameSlot> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t limit_;
};
