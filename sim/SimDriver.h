// The stand-in driver's state: one per process, shared by every driver handle
// as the kernel driver is, and guarded by one lock because the worker thread
// and the thread controlling the simulation use it at the same time.
#pragma once

#include "filter/DriverApi.h"
#include "sim/FrameRing.h"
#include "sim/TrickleFeeder.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

enum class TDriverOperation {
    OpenFilterDriver,
    CloseFilterDriver,
    IsDriverLoaded,
    GetTcpipBoundAdaptersInfo,
    SetPacketEvent,
    SetAdapterMode,
    ReadPacket,
    SendPacketToMstcp,
    SendPacketToAdapter,
    ConvertWindowsNTAdapterName,
    ConvertWindows2000AdapterName,
    ConvertWindows9xAdapterName,
    Count
};

class TSimDriver {
public:
    static constexpr std::size_t kQueueLimit = 8192;
    static constexpr std::size_t kStackRecordLimit = 4096;
    static constexpr std::size_t kCallLogLimit = 1024 * 1024;
    static constexpr ULONG kTrueCount = 0xFFFFFFFF;

    // The process's driver, in its default state on first use.
    static TSimDriver& Instance();

    TSimDriver(const TSimDriver&) = delete;
    TSimDriver& operator=(const TSimDriver&) = delete;

    // Driver operations.
    HANDLE OpenFilterDriver();
    void CloseFilterDriver(HANDLE driver);
    BOOL IsDriverLoaded(HANDLE driver);
    BOOL GetTcpipBoundAdaptersInfo(HANDLE driver, TCP_AdapterList* adapters);
    BOOL SetPacketEvent(HANDLE driver, HANDLE adapter, HANDLE event);
    BOOL SetAdapterMode(HANDLE driver, const ADAPTER_MODE* mode);
    BOOL ReadPacket(HANDLE driver, ETH_REQUEST* request);
    BOOL SendPacketToMstcp(HANDLE driver, const ETH_REQUEST* request);
    BOOL SendPacketToAdapter(HANDLE driver, const ETH_REQUEST* request);
    BOOL ConvertAdapterName(TDriverOperation operation, const char* internalName, char* displayName,
                            DWORD size);

    // Control.
    void Reset();
    void LoadDefaults();
    void SetDriverLoaded(bool loaded);
    void OpenReturnsNull(bool null);
    void HoldDelivery(ULONG position, bool hold);
    ULONG AddAdapter(const char* internalName, const char* displayName, const unsigned char mac[6], ULONG medium,
                     USHORT mtu);
    ULONG InsertAdapter(ULONG position, const char* internalName, const char* displayName,
                        const unsigned char mac[6], ULONG medium, USHORT mtu);
    void RemoveAdapter(ULONG position);
    void RestoreAdapter(ULONG position);
    void OverrideAdapterCount(ULONG count);
    void RefuseSetPacketEvent(bool refuse);
    void RefuseSetAdapterMode(bool refuse);
    void RefuseAdapterList(bool refuse);
    ULONG RefuseAtRandom(HANDLE driver, ULONG oneIn, ULONG seed);
    void RefuseResets(ULONG count);
    void HandleCounts(HANDLE adapter, ULONG* reads, ULONG* sends, ULONG* afterRelease, ULONG* wire);
    void HoldNextSetAdapterMode();
    BOOL SetAdapterModeHeld();
    void ReleaseSetAdapterMode();
    BOOL ReceiveFrame(ULONG position, const void* frame, ULONG length);
    BOOL HostSendFrame(ULONG position, const void* frame, ULONG length);
    ULONG QueueLength(ULONG position);
    ULONG DroppedFrames(ULONG position);
    ULONG StackTotal(ULONG position);
    ULONG StackFrame(ULONG position, ULONG index, void* buffer, ULONG capacity);
    ULONG WireTotal(ULONG position);
    ULONG WireFrame(ULONG position, ULONG index, void* buffer, ULONG capacity);
    void ClearStack(ULONG position);
    ULONG AdapterMode(ULONG position);
    HANDLE AdapterEvent(ULONG position);
    HANDLE AdapterHandle(ULONG position);
    ULONG CallCount(const char* operation);
    ULONG CallLog(char* buffer, ULONG capacity);
    ULONG OpenHandles();
    void SetTrickle(ULONG framesPerSecond);

    // Gives a copy of the frame to every adapter in tunnel mode, addressed to
    // the adapter unless the frame is a broadcast.
    void FeedTunnelAdapters(const unsigned char* frame, ULONG length);

private:
    // The frames that went one way: the newest kept, all counted.
    struct TRecord {
        TFrameRing frames{kStackRecordLimit};
        ULONG total = 0;
    };

    struct TAdapter {
        std::string internalName;
        std::string displayName;
        std::array<unsigned char, ETHER_ADDR_LENGTH> mac{};
        ULONG medium = 0;
        USHORT mtu = 0;
        HANDLE handle = nullptr;
        ULONG mode = 0;
        HANDLE event = nullptr;
        TFrameRing queue{kQueueLimit};
        TRecord stack;  // up to the host's stack
        TRecord wire;   // out of the adapter
        ULONG dropped = 0;
        bool held = false;
        // Unplugged: left out of the list, its handle matches nothing.
        bool removed = false;
    };

    // What each adapter handle saw, kept after the handle is gone.
    struct THandleCounts {
        ULONG reads = 0;
        ULONG sends = 0;
        ULONG wire = 0;
        ULONG afterRelease = 0;
        bool released = false;
    };

    TSimDriver();

    // What `get` reads of the adapter at `position`, under the lock; `absent`
    // where there is none.
    template <typename T, typename Get>
    T ReadAdapter(ULONG position, T absent, Get get) {
        std::lock_guard lock(mutex_);
        const TAdapter* a = FindByPosition(position);
        return a ? static_cast<T>(get(*a)) : absent;
    }

    // All of these expect the lock to be held.
    void Record(TDriverOperation operation);
    bool IsOpen(HANDLE driver) const;
    bool Usable(HANDLE driver) const { return driverLoaded_ && IsOpen(driver); }
    TAdapter* FindByHandle(HANDLE adapter);
    TAdapter* FindByPosition(ULONG position);
    // A fresh adapter handle, with its counts.
    HANDLE NewAdapterHandle();
    THandleCounts* CountsOf(HANDLE adapter);
    // Whether the random refusals refuse this call through `driver`.
    bool RefusedAtRandom(HANDLE driver, TDriverOperation operation);
    static void SignalFirst(TAdapter& adapter);
    // Queues a frame going the way `deviceFlags` says for the worker;
    // `addressToAdapter` makes the adapter's MAC its destination.
    static bool Enqueue(TAdapter& adapter, const void* frame, ULONG length, ULONG deviceFlags,
                        bool addressToAdapter = false);
    // Lets a frame go on its way: a received one to the stack, a sent one to the wire.
    static void PassOn(TAdapter& adapter, const void* frame, ULONG length, ULONG deviceFlags);
    // A frame going the way `deviceFlags` says: queued while the adapter's
    // mode diverts that way, else passed on.
    static BOOL Arrive(TAdapter* adapter, const void* frame, ULONG length, ULONG deviceFlags);
    // Hands the buffer of a request on the way `deviceFlags` says.
    BOOL HandOn(TDriverOperation operation, HANDLE driver, const ETH_REQUEST* request, ULONG deviceFlags);
    // Frame `index` of one of the adapter's records, copied as StackFrame says.
    ULONG RecordedFrame(ULONG position, TRecord TAdapter::*record, ULONG index, void* buffer, ULONG capacity);
    void ClearLocked();
    void AddDefaultAdaptersLocked();
    // Plugs the late default adapter in once it is due.
    void ArriveLateLocked();

    std::mutex mutex_;
    bool driverLoaded_ = true;
    bool openNull_ = false;
    std::vector<TAdapter> adapters_;
    ULONG countOverride_ = kTrueCount;
    bool refuseEvent_ = false;
    bool refuseMode_ = false;
    bool refuseList_ = false;
    ULONG refuseResets_ = 0;
    HANDLE randomDriver_ = nullptr;
    ULONG randomOneIn_ = 0;
    ULONG randomSeed_ = 0;
    ULONG randomCalls_ = 0;
    ULONG randomRefusals_ = 0;
    // Indexed by the handle's serial.
    std::vector<THandleCounts> handleCounts_;
    bool holdArmed_ = false;
    bool holding_ = false;
    std::condition_variable holdReleased_;
    std::vector<HANDLE> openHandles_;
    ULONG handleSerial_ = 0;
    ULONG adapterSerial_ = 0;
    std::array<ULONG, static_cast<std::size_t>(TDriverOperation::Count)> callCounts_{};
    std::string callLog_;

    // The defaults as the environment set them when the DLL was first used.
    bool defaultAdapters_ = true;
    bool defaultDriverLoaded_ = true;
    ULONG defaultTrickle_ = 20;
    // Milliseconds after the default state is loaded until its first adapter
    // is plugged in (0: listed from the start), and the tick it is due at
    // (0 once it is in).
    ULONG defaultLateMs_ = 0;
    DWORD lateDue_ = 0;

    TTrickleFeeder trickle_;
};
