// A lock per adapter for the whole machine: Brackwater in another session
// (fast user switching, a remote session) must not divert an adapter this one
// filters, and the first of the two to stop would set it back to normal under
// the other.
#pragma once

#include "toolkit/Handles.h"

#include <string>

class TAdapterLock {
public:
    enum TState {
        Taken,      // ours until destruction; also when a crashed holder abandoned it
        Busy,       // another holder kept it through the whole wait
        Unguarded,  // made or held by what cannot be a Brackwater: owned by neither
                    // Administrators nor SYSTEM, or not to be opened or made here
        Stopped,    // the stop event came first
    };

    // Named Global\Corvantis.Brackwater.Adapter. and the internal name with
    // each \ as _, or, where that is longer than an object name may be, # and
    // the 16 hex digits of the internal name's 64-bit FNV-1a hash.
    // Waits at most 5 s for another holder to let go (it may still be putting
    // the adapter back), and no longer than until `Stop` is signalled.
    TAdapterLock(const std::string& InternalName, HANDLE Stop);
    // Releases the lock if taken.
    ~TAdapterLock();
    TAdapterLock(const TAdapterLock&) = delete;
    TAdapterLock& operator=(const TAdapterLock&) = delete;

    TState State() const noexcept { return state_; }

private:
    tk::UniqueKernelHandle mutex_;
    TState state_ = Unguarded;
};
