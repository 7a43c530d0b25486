// The counts that the control interface (SimControl.h) takes and the
// simulated driver (SimDriver) reads, apart from both so that neither
// includes the other.
#pragma once

#include <windows.h>

// A count of refusals that never runs out: SimRefuseResets(SIM_EVERY)
// refuses every reset.
constexpr ULONG SIM_EVERY = 0xFFFFFFFF;
