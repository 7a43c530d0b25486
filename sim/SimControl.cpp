// The control interface, each call handed to the process's one driver. As in
// the driver operations, no exception leaves through the C interface.
#include "sim/SimControl.h"

#include "sim/Guarded.h"
#include "sim/SimDriver.h"

namespace {

TSimDriver& Driver() { return TSimDriver::Instance(); }

} // namespace

extern "C" {

void __stdcall SimReset(void) { Guarded([] { Driver().Reset(); }); }

void __stdcall SimLoadDefaults(void) { Guarded([] { Driver().LoadDefaults(); }); }

void __stdcall SimSetDriverLoaded(BOOL loaded) { Guarded([&] { Driver().SetDriverLoaded(loaded != FALSE); }); }

void __stdcall SimOpenReturnsNull(BOOL null) { Guarded([&] { Driver().OpenReturnsNull(null != FALSE); }); }

void __stdcall SimHoldDelivery(ULONG position, BOOL hold) {
    Guarded([&] { Driver().HoldDelivery(position, hold != FALSE); });
}

ULONG __stdcall SimAddAdapter(const char* internalName, const char* displayName, const unsigned char mac[6],
                              ULONG medium, USHORT mtu) {
    return Guarded(ULONG(0), [&] { return Driver().AddAdapter(internalName, displayName, mac, medium, mtu); });
}

ULONG __stdcall SimInsertAdapter(ULONG position, const char* internalName, const char* displayName,
                                 const unsigned char mac[6], ULONG medium, USHORT mtu) {
    return Guarded(ULONG(0),
                   [&] { return Driver().InsertAdapter(position, internalName, displayName, mac, medium, mtu); });
}

void __stdcall SimRemoveAdapter(ULONG position) { Guarded([&] { Driver().RemoveAdapter(position); }); }

void __stdcall SimRestoreAdapter(ULONG position) { Guarded([&] { Driver().RestoreAdapter(position); }); }

void __stdcall SimOverrideAdapterCount(ULONG count) { Guarded([&] { Driver().OverrideAdapterCount(count); }); }

void __stdcall SimRefuseSetPacketEvent(BOOL refuse) {
    Guarded([&] { Driver().RefuseSetPacketEvent(refuse != FALSE); });
}

void __stdcall SimRefuseSetAdapterMode(BOOL refuse) {
    Guarded([&] { Driver().RefuseSetAdapterMode(refuse != FALSE); });
}

void __stdcall SimRefuseGetTcpipBoundAdaptersInfo(BOOL refuse) {
    Guarded([&] { Driver().RefuseAdapterList(refuse != FALSE); });
}

ULONG __stdcall SimRefuseAtRandom(HANDLE driver, ULONG oneIn, ULONG seed) {
    return Guarded(ULONG(0), [&] { return Driver().RefuseAtRandom(driver, oneIn, seed); });
}

void __stdcall SimRefuseResets(ULONG count) { Guarded([&] { Driver().RefuseResets(count); }); }

void __stdcall SimHandleCounts(HANDLE adapter, ULONG* reads, ULONG* sends, ULONG* afterRelease, ULONG* wire) {
    Guarded([&] { Driver().HandleCounts(adapter, reads, sends, afterRelease, wire); });
}

void __stdcall SimHoldNextSetAdapterMode(void) { Guarded([] { Driver().HoldNextSetAdapterMode(); }); }

BOOL __stdcall SimSetAdapterModeHeld(void) {
    return Guarded(BOOL(FALSE), [] { return Driver().SetAdapterModeHeld(); });
}

void __stdcall SimReleaseSetAdapterMode(void) { Guarded([] { Driver().ReleaseSetAdapterMode(); }); }

BOOL __stdcall SimReceiveFrame(ULONG position, const void* frame, ULONG length) {
    return Guarded(BOOL(FALSE), [&] { return Driver().ReceiveFrame(position, frame, length); });
}

BOOL __stdcall SimSendFrame(ULONG position, const void* frame, ULONG length) {
    return Guarded(BOOL(FALSE), [&] { return Driver().HostSendFrame(position, frame, length); });
}

ULONG __stdcall SimQueueLength(ULONG position) {
    return Guarded(ULONG(0), [&] { return Driver().QueueLength(position); });
}

ULONG __stdcall SimDroppedFrames(ULONG position) {
    return Guarded(ULONG(0), [&] { return Driver().DroppedFrames(position); });
}

ULONG __stdcall SimStackTotal(ULONG position) {
    return Guarded(ULONG(0), [&] { return Driver().StackTotal(position); });
}

ULONG __stdcall SimStackFrame(ULONG position, ULONG index, void* buffer, ULONG capacity) {
    return Guarded(ULONG(0), [&] { return Driver().StackFrame(position, index, buffer, capacity); });
}

void __stdcall SimClearStack(ULONG position) { Guarded([&] { Driver().ClearStack(position); }); }

ULONG __stdcall SimWireTotal(ULONG position) {
    return Guarded(ULONG(0), [&] { return Driver().WireTotal(position); });
}

ULONG __stdcall SimWireFrame(ULONG position, ULONG index, void* buffer, ULONG capacity) {
    return Guarded(ULONG(0), [&] { return Driver().WireFrame(position, index, buffer, capacity); });
}

ULONG __stdcall SimAdapterMode(ULONG position) {
    return Guarded(ULONG(0), [&] { return Driver().AdapterMode(position); });
}

HANDLE __stdcall SimAdapterEvent(ULONG position) {
    return Guarded(HANDLE(nullptr), [&] { return Driver().AdapterEvent(position); });
}

HANDLE __stdcall SimAdapterHandle(ULONG position) {
    return Guarded(HANDLE(nullptr), [&] { return Driver().AdapterHandle(position); });
}

ULONG __stdcall SimCallCount(const char* operation) {
    return Guarded(ULONG(0), [&] { return Driver().CallCount(operation); });
}

ULONG __stdcall SimCallLog(char* buffer, ULONG capacity) {
    return Guarded(ULONG(0), [&] { return Driver().CallLog(buffer, capacity); });
}

ULONG __stdcall SimOpenHandles(void) {
    return Guarded(ULONG(0), [] { return Driver().OpenHandles(); });
}

void __stdcall SimSetTrickle(ULONG framesPerSecond) { Guarded([&] { Driver().SetTrickle(framesPerSecond); }); }

} // extern "C"
