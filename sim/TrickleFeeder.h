// The background source of mixed traffic for adapters in tunnel mode, so a
// demonstration run shows packets without anyone sending them.
#pragma once

#include "toolkit/Handles.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>

class TTrickleFeeder {
public:
    // Takes each frame; called on the feeder's thread.
    using Sink = std::function<void(const unsigned char* frame, ULONG length)>;

    // A thread that stalled catches up by at most `catchUpLimit` frames.
    TTrickleFeeder(Sink sink, std::size_t catchUpLimit) : sink_(std::move(sink)), catchUpLimit_(catchUpLimit) {}
    TTrickleFeeder(const TTrickleFeeder&) = delete;
    TTrickleFeeder& operator=(const TTrickleFeeder&) = delete;
    ~TTrickleFeeder();

    // Starts the feeding thread for a rate above 0; at 0 stops it and waits
    // for its end. Must not be called with a lock the sink takes held.
    void SetRate(unsigned long framesPerSecond);

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Run();

    const Sink sink_;
    const std::size_t catchUpLimit_;
    std::mutex mutex_;  // orders starts and stops
    std::atomic<unsigned long> rate_{0};
    tk::UniqueEvent stop_;
    tk::UniqueKernelHandle thread_;
};
