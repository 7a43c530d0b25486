// The worker's hold on its adapter, found by internal name in the driver's
// list: the event attached and tunnel mode set on the handle the adapter is
// listed under now, and given back when that handle goes.
#pragma once

#include "DriverApi.h"

#include <string>
#include <string_view>

// How many of the record's slots the driver's count names: none when it is
// zero or negative as a signed value, never more than the 32 slots there are.
// The list, the worker and the lock read the record only through these two,
// so that every name the list shows can be filtered and remembered.
ULONG ListedCount(const TCP_AdapterList& Adapters) noexcept;
// The internal name in a slot: up to its first NUL, at most the slot's 256
// bytes. A view into the record, so that the worker's periodic look for its
// adapter allocates nothing.
std::string_view ListedName(const TCP_AdapterList& Adapters, ULONG Slot);

// The handle `Name` is listed under among the adapters the list counts;
// null when it is not listed.
HANDLE FindAdapterHandle(const TCP_AdapterList& Adapters, const std::string& Name);

// After a worker's end that left the adapter listed under `Name` perhaps
// diverted: with the driver opened and the adapter's lock taken as a worker
// takes it, normal mode asked up to three times, 100 ms apart. False only
// when the driver refused them (or could not be opened or read): true also
// when there was nothing to do, another Brackwater holding the lock (it
// filters the adapter now) or the name no longer listed.
bool ResetListedAdapter(const std::string& Name);

enum class TAttachResult { Attached, EventRefused, ModeRefused };

class TAdapterBinding {
public:
    // `TunnelMode`: the mode flags every attach sets.
    TAdapterBinding(HANDLE Driver, HANDLE Event, ULONG TunnelMode = MSTCP_FLAG_RECV_TUNNEL) noexcept
        : driver_(Driver), event_(Event), tunnelMode_(TunnelMode) {}
    // Left by an error passing through, which ends the run unreported: given
    // back as at the end, a refusal told to a debugger only.
    ~TAdapterBinding();
    TAdapterBinding(const TAdapterBinding&) = delete;
    TAdapterBinding& operator=(const TAdapterBinding&) = delete;

    // Attaches the event to `Adapter`, then sets tunnel mode; a refused mode
    // detaches the event again, and so does a crash of the process meanwhile
    // (taken for a refused mode). Expects nothing attached.
    TAttachResult Attach(HANDLE Adapter);
    // For a handle that went away: normal mode once, then the event
    // detached, whatever each answers (a handle that is gone refuses both).
    // Nothing when nothing is attached.
    void Release() noexcept;
    // At the worker's end: normal mode asked up to three times, 100 ms apart,
    // then the event detached. False when the driver refused all three and
    // still lists the handle (or its list cannot be read): the adapter may
    // still be diverted.
    bool ReleaseAtEnd() noexcept;

    // The handle attached now; null when none.
    HANDLE Adapter() const noexcept { return adapter_; }

private:
    // Normal mode asked `Attempts` times, the event detached, the binding
    // forgotten; whether the driver accepted normal mode.
    bool Reset(int Attempts) noexcept;

    HANDLE driver_;
    HANDLE event_;
    ULONG tunnelMode_;
    HANDLE adapter_ = nullptr;
};
