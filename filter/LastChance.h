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
// window call.
void RestorePublishedAdapter() noexcept;
