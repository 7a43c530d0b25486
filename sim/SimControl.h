// Control interface of the stand-in ndisapi.dll, for tests, the benchmark and
// the demonstration run. It lies apart from the driver interface: nothing in
// the program itself calls it.
//
// Adapters are addressed by their 1-based position in the list the driver
// reports, as the program numbers them (while one is removed, by the position
// it had).
#pragma once

#include "sim/SimCounts.h"

#include <windows.h>

#ifdef NDISAPI_BUILDING_DLL
#define SIM_API extern "C" __declspec(dllexport)
#else
#define SIM_API extern "C" __declspec(dllimport)
#endif

// Return to an empty driver: loaded, no adapters, no refusals, no trickle,
// counters and records cleared. Handles still open stay usable.
SIM_API void __stdcall SimReset(void);

// Install the demonstration state the DLL starts with (see sim/README.md).
SIM_API void __stdcall SimLoadDefaults(void);

// Whether IsDriverLoaded answers TRUE.
SIM_API void __stdcall SimSetDriverLoaded(BOOL loaded);
// While set, OpenFilterDriver records the call and returns NULL, as a driver
// whose device cannot be opened may.
SIM_API void __stdcall SimOpenReturnsNull(BOOL null);

// Appends an adapter; returns its 1-based position, or 0 when all 32 slots are taken.
// displayName is what every name conversion returns for internalName.
SIM_API ULONG __stdcall SimAddAdapter(const char* internalName, const char* displayName,
                                      const unsigned char mac[6], ULONG medium, USHORT mtu);

// Inserts an adapter before the one at `position` (1 puts it first); those
// after it move one position on. Returns its position, or 0 when all 32 slots are taken.
SIM_API ULONG __stdcall SimInsertAdapter(ULONG position, const char* internalName, const char* displayName,
                                         const unsigned char mac[6], ULONG medium, USHORT mtu);

// Unplugs an adapter: the list leaves it out (those after it are listed one
// position lower) and its handle matches nothing, so every operation on it
// fails, though each call is still recorded. Its mode, event and queue go
// with it. It keeps its place here: the control functions still address it,
// and the others, by the position it had.
SIM_API void __stdcall SimRemoveAdapter(ULONG position);
// Plugs a removed adapter back in, at its position under its name, with a
// new handle, in normal mode and without an event.
SIM_API void __stdcall SimRestoreAdapter(ULONG position);

// Makes GetTcpipBoundAdaptersInfo report this count instead of the number of
// adapters defined (slots beyond the defined ones stay zero). Pass 0xFFFFFFFF
// to go back to the true count.
SIM_API void __stdcall SimOverrideAdapterCount(ULONG count);

// Refusals on demand: while set, the operation fails (returns FALSE).
SIM_API void __stdcall SimRefuseSetPacketEvent(BOOL refuse);
// Refuses only requests for tunnel mode (flags != 0); resets are refused by SimRefuseResets alone.
SIM_API void __stdcall SimRefuseSetAdapterMode(BOOL refuse);
// Fails the list read with the list zeroed, as a read around sleep can.
SIM_API void __stdcall SimRefuseGetTcpipBoundAdaptersInfo(BOOL refuse);

// Refuses about one in `oneIn` of the SetPacketEvent, SetAdapterMode and
// GetTcpipBoundAdaptersInfo calls made through one driver handle (NULL: the
// one opened last), as a driver under stress might. Each decision is a hash
// of `seed`, the operation and that handle's own call number, so a run can be
// repeated. 0 stops it. Returns the refusals made since the previous call.
SIM_API ULONG __stdcall SimRefuseAtRandom(HANDLE driver, ULONG oneIn, ULONG seed);
// Refuses the next `count` resets (SetAdapterMode with flags 0) through any
// handle; SIM_EVERY refuses every one, 0 none.
SIM_API void __stdcall SimRefuseResets(ULONG count);
// Per adapter handle, also one that is gone: the ReadPacket calls that
// returned a frame, every SendPacketToMstcp call, how many calls of those
// or of SendPacketToAdapter came while the handle's event was detached (by a
// SetPacketEvent with NULL, accepted or not, until an event is attached
// again), and every SendPacketToAdapter call. Any pointer may be NULL.
SIM_API void __stdcall SimHandleCounts(HANDLE adapter, ULONG* reads, ULONG* sends, ULONG* afterRelease,
                                       ULONG* wire);
// The next SetAdapterMode call waits, before it does anything, until
// SimReleaseSetAdapterMode; SimSetAdapterModeHeld tells that it waits now.
SIM_API void __stdcall SimHoldNextSetAdapterMode(void);
SIM_API BOOL __stdcall SimSetAdapterModeHeld(void);
SIM_API void __stdcall SimReleaseSetAdapterMode(void);

// Queues a frame received on an adapter. Frames are queued only while the
// adapter is in tunnel mode; otherwise they go straight to the stack, as they
// would without the filter. Queuing signals the adapter's attached event
// when the queue was empty: a reader that resets the event and then reads
// until the queue is empty misses nothing.
// Returns TRUE when the frame was queued for the program.
SIM_API BOOL __stdcall SimReceiveFrame(ULONG position, const void* frame, ULONG length);
// Queues a frame the host sends on an adapter, as SimReceiveFrame does one it
// receives: queued with device flags PACKET_FLAG_ON_SEND while the adapter's
// mode has MSTCP_FLAG_SENT_TUNNEL, otherwise straight to the wire.
SIM_API BOOL __stdcall SimSendFrame(ULONG position, const void* frame, ULONG length);

// While held, an adapter's queue fills but the program reads nothing from it
// and its event is not signalled; releasing signals the event if frames wait.
// Lets a benchmark time a reader over a queue filled beforehand.
SIM_API void __stdcall SimHoldDelivery(ULONG position, BOOL hold);

// Frames waiting in an adapter's queue.
SIM_API ULONG __stdcall SimQueueLength(ULONG position);
// Frames lost because the adapter's queue was full (it holds 8192).
SIM_API ULONG __stdcall SimDroppedFrames(ULONG position);

// Frames that reached the stack on an adapter, in order. The record keeps the
// newest 4096 frames; SimStackTotal counts all of them.
SIM_API ULONG __stdcall SimStackTotal(ULONG position);
// Copies record i (0 = oldest still kept) into buffer; returns its length or 0 if there is none.
SIM_API ULONG __stdcall SimStackFrame(ULONG position, ULONG index, void* buffer, ULONG capacity);
SIM_API void __stdcall SimClearStack(ULONG position);
// The same for the frames that left through the adapter onto the wire.
SIM_API ULONG __stdcall SimWireTotal(ULONG position);
SIM_API ULONG __stdcall SimWireFrame(ULONG position, ULONG index, void* buffer, ULONG capacity);

// Current adapter mode flags and attached event (NULL when detached).
SIM_API ULONG __stdcall SimAdapterMode(ULONG position);
SIM_API HANDLE __stdcall SimAdapterEvent(ULONG position);

// The driver handle that adapter operations are matched against.
SIM_API HANDLE __stdcall SimAdapterHandle(ULONG position);

// Number of calls of a driver operation by its export name since the last reset.
SIM_API ULONG __stdcall SimCallCount(const char* operation);

// The driver operations called since the last reset, in order, separated by
// single spaces, e.g. "OpenFilterDriver IsDriverLoaded CloseFilterDriver".
// ReadPacket calls that found the queue empty are left out, so the log stays
// short while a worker idles. Returns the full length; copies at most capacity-1 characters.
SIM_API ULONG __stdcall SimCallLog(char* buffer, ULONG capacity);

// Driver handles open now.
SIM_API ULONG __stdcall SimOpenHandles(void);

// Frames per second of mixed traffic fed to every adapter in tunnel mode
// (0 stops it).
SIM_API void __stdcall SimSetTrickle(ULONG framesPerSecond);
