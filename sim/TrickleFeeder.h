// The background source of mixed traffic for adapters in tunnel mode, so a
// demonstration run shows packets without anyone sending them.
#pragma once

#include "toolkit/Handles.h"

#include <atomic>
#include <mutex>

class TSimDriver;

class TTrickleFeeder {
public:
    explicit TTrickleFeeder(TSimDriver& driver) noexcept : driver_(driver) {}
    TTrickleFeeder(const TTrickleFeeder&) = delete;
    TTrickleFeeder& operator=(const TTrickleFeeder&) = delete;
    ~TTrickleFeeder();

    // Starts the feeding thread for a rate above 0; at 0 stops it and waits
    // for its end. Must not be called with the driver's lock held: the thread
    // takes that lock for every frame.
    void SetRate(unsigned long framesPerSecond);

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Run();

    TSimDriver& driver_;
    std::mutex mutex_;  // orders starts and stops
    std::atomic<unsigned long> rate_{0};
    tk::UniqueEvent stop_;
    tk::UniqueKernelHandle thread_;
};
