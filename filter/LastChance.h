// The last act of a process that ends by an unhandled exception or by
// std::terminate: the adapter the worker diverts goes back to normal mode and
// loses its event, so that it does not stay cut off from the stack with
// nobody reading it.
#pragma once

#include <windows.h>

// Installs the top-level exception filter and the terminate handler, each
// chained to the one installed before it. Call once, early, on the main thread.
void InstallLastChance();

// The worker's driver handle and the handle of the adapter it diverts now
// (null when none). Lock-free: read by the handlers on whatever thread fails.
void PublishBinding(HANDLE Driver, HANDLE Adapter) noexcept;

// Puts the published adapter back to normal mode and detaches its event,
// at most once per process; takes no lock, allocates nothing and makes no
// window call. An attach under way on another thread gets up to 500 ms to
// finish or undo itself first (see TAttaching).
void RestorePublishedAdapter() noexcept;

// How often a reset the driver refuses is asked for before it is given up.
constexpr int kResetAttempts = 3;

// Asks the driver for normal mode on `Adapter` up to `Attempts` times,
// `PauseMs` apart; whether it accepted.
bool ResetAdapterMode(HANDLE Driver, HANDLE Adapter, int Attempts, DWORD PauseMs) noexcept;

// Held by the worker from before it attaches the event until after tunnel
// mode is set (or undone), so that the crash handler's reset comes after it.
// Both sides use sequentially consistent atomics: the worker raises
// "attaching" and then reads "crashing"; the handler raises "crashing" and
// then reads "attaching". In the single order of these four operations, one
// side's read comes after the other's raise: either the handler waits for the
// attach to end and then resets what it published, or the worker sees the
// crash and attaches nothing more or undoes what it set.
class TAttaching {
public:
    TAttaching() noexcept;
    ~TAttaching();
    TAttaching(const TAttaching&) = delete;
    TAttaching& operator=(const TAttaching&) = delete;

    // Whether the crash handler has begun: attach nothing, or undo.
    static bool Crashing() noexcept;
};
