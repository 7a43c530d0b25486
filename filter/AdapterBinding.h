// The worker's hold on its adapter, found by internal name in the driver's
// list: the event attached and tunnel mode set on the handle the adapter is
// listed under now, and given back when that handle goes.
#pragma once

#include "DriverApi.h"

#include <string>

// The handle `Name` is listed under among the adapters the list counts;
// null when it is not listed.
HANDLE FindAdapterHandle(const TCP_AdapterList& Adapters, const std::string& Name);

enum class TAttachResult { Attached, EventRefused, ModeRefused };

class TAdapterBinding {
public:
    TAdapterBinding(HANDLE Driver, HANDLE Event) noexcept : driver_(Driver), event_(Event) {}
    ~TAdapterBinding() { Release(); }
    TAdapterBinding(const TAdapterBinding&) = delete;
    TAdapterBinding& operator=(const TAdapterBinding&) = delete;

    // Attaches the event to `Adapter`, then sets tunnel mode; a refused mode
    // detaches the event again. Expects nothing attached.
    TAttachResult Attach(HANDLE Adapter);
    // Normal mode, then the event detached, whatever each answers (a handle
    // that is gone refuses both). Nothing when nothing is attached.
    void Release() noexcept;

    // The handle attached now; null when none.
    HANDLE Adapter() const noexcept { return adapter_; }

private:
    HANDLE driver_;
    HANDLE event_;
    HANDLE adapter_ = nullptr;
};
