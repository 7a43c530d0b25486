#include "sim/SimDriver.h"

#include "sim/SimCounts.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const char* const OperationNames[] = {
    "OpenFilterDriver",   "CloseFilterDriver", "IsDriverLoaded",
    "GetTcpipBoundAdaptersInfo", "SetPacketEvent", "SetAdapterMode",
    "ReadPacket",         "SendPacketToMstcp", "SendPacketToAdapter", "ConvertWindowsNTAdapterName",
    "ConvertWindows2000AdapterName", "ConvertWindows9xAdapterName",
};
static_assert(std::size(OperationNames) == static_cast<std::size_t>(TDriverOperation::Count));

// Handle values far from the small multiples of four that real kernel
// handles have, so a mix-up with one shows at once. On 64 bits they lie above
// 4 GiB, so a handle cut to 32 bits somewhere matches nothing. Serials never
// repeat in a run: a handle kept across a reset matches nothing new.
#ifdef _WIN64
constexpr std::uintptr_t kHighHandleBits = std::uintptr_t{0x5A} << 32;
#else
constexpr std::uintptr_t kHighHandleBits = 0;
#endif
HANDLE DriverHandleValue(ULONG serial) {
    return reinterpret_cast<HANDLE>(kHighHandleBits | (0x0D700000u + 4u * serial));
}
constexpr std::uintptr_t kAdapterHandleBase = 0x0AD00000u;
constexpr std::uintptr_t kAdapterHandleStep = 16;
HANDLE AdapterHandleValue(ULONG serial) {
    return reinterpret_cast<HANDLE>(kHighHandleBits | (kAdapterHandleBase + kAdapterHandleStep * serial));
}

// splitmix64's finaliser: every input bit reaches every output bit, so
// neighbouring call numbers give unrelated decisions.
std::uint64_t Mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Copies text NUL-terminated into at most size bytes.
void CopyTruncated(const std::string& text, char* out, std::size_t size) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// The mode flag that diverts frames going the way `deviceFlags` says.
ULONG TunnelFlagOf(ULONG deviceFlags) {
    return deviceFlags & PACKET_FLAG_ON_SEND ? MSTCP_FLAG_SENT_TUNNEL : MSTCP_FLAG_RECV_TUNNEL;
}

bool EnvironmentIs(const char* name, const char* value) {
    const char* set = std::getenv(name);
    return set && _stricmp(set, value) == 0;
}

} // namespace

TSimDriver& TSimDriver::Instance() {
    static TSimDriver driver;
    return driver;
}

TSimDriver::TSimDriver()
    : trickle_([this](const unsigned char* frame, ULONG length) { FeedTunnelAdapters(frame, length); }, kQueueLimit) {
    defaultAdapters_ = !EnvironmentIs("BRACKWATER_SIM_ADAPTERS", "none");
    defaultDriverLoaded_ = !EnvironmentIs("BRACKWATER_SIM_DRIVER", "missing");
    if (const char* trickle = std::getenv("BRACKWATER_SIM_TRICKLE")) {
        defaultTrickle_ = std::strtoul(trickle, nullptr, 10);
    }
    if (const char* late = std::getenv("BRACKWATER_SIM_LATE_ADAPTER")) {
        defaultLateMs_ = std::strtoul(late, nullptr, 10) * 1000;
    }
    adapters_.reserve(ADAPTER_LIST_SIZE);
    LoadDefaults();
}

void TSimDriver::Record(TDriverOperation operation) {
    const char* name = OperationNames[static_cast<std::size_t>(operation)];
    ++callCounts_[static_cast<std::size_t>(operation)];
    // Past the cap the log keeps its beginning and calls are only counted, so
    // a long run cannot make it grow without bound.
    const std::size_t needed = std::strlen(name) + (callLog_.empty() ? 0 : 1);
    if (callLog_.size() + needed > kCallLogLimit) return;
    if (!callLog_.empty()) callLog_ += ' ';
    callLog_ += name;
}

bool TSimDriver::IsOpen(HANDLE driver) const {
    return std::find(openHandles_.begin(), openHandles_.end(), driver) != openHandles_.end();
}

TSimDriver::TAdapter* TSimDriver::FindByHandle(HANDLE adapter) {
    if (!adapter) return nullptr;
    for (TAdapter& a : adapters_) {
        if (a.handle == adapter && !a.removed) return &a;
    }
    return nullptr;
}

TSimDriver::TAdapter* TSimDriver::FindByPosition(ULONG position) {
    return position >= 1 && position <= adapters_.size() ? &adapters_[position - 1] : nullptr;
}

HANDLE TSimDriver::NewAdapterHandle() {
    handleCounts_.resize(++adapterSerial_ + std::size_t{1});
    return AdapterHandleValue(adapterSerial_);
}

TSimDriver::THandleCounts* TSimDriver::CountsOf(HANDLE adapter) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(adapter);
    const std::uintptr_t first = kHighHandleBits | kAdapterHandleBase;
    if (value < first || (value - first) % kAdapterHandleStep != 0) return nullptr;
    const std::uintptr_t serial = (value - first) / kAdapterHandleStep;
    return serial >= 1 && serial < handleCounts_.size() ? &handleCounts_[serial] : nullptr;
}

bool TSimDriver::RefusedAtRandom(HANDLE driver, TDriverOperation operation) {
    if (randomOneIn_ == 0 || driver != randomDriver_) return false;
    const std::uint64_t key = (std::uint64_t{randomSeed_} << 32) ^
                              (std::uint64_t(operation) << 24) ^ ++randomCalls_;
    if (Mix(key) % randomOneIn_ != 0) return false;
    ++randomRefusals_;
    return true;
}

// Signals the event only when the queue stops being empty: a reader that
// resets the event and then reads until the queue is empty misses nothing,
// and a steady stream costs no kernel call per frame (under Wine each
// SetEvent is a round trip to the server, far dearer than the frame itself).
void TSimDriver::SignalFirst(TAdapter& adapter) {
    if (adapter.event && !adapter.held && adapter.queue.Size() == 1) ::SetEvent(adapter.event);
}

bool TSimDriver::Enqueue(TAdapter& adapter, const void* frame, ULONG length, ULONG deviceFlags,
                         bool addressToAdapter) {
    TFrameSlot* slot = adapter.queue.Push(frame, length);
    if (!slot) {
        ++adapter.dropped;
        return false;
    }
    slot->deviceFlags = deviceFlags;
    if (addressToAdapter) std::memcpy(slot->bytes, adapter.mac.data(), ETHER_ADDR_LENGTH);
    SignalFirst(adapter);
    return true;
}

void TSimDriver::PassOn(TAdapter& adapter, const void* frame, ULONG length, ULONG deviceFlags) {
    TRecord& record = deviceFlags & PACKET_FLAG_ON_SEND ? adapter.wire : adapter.stack;
    record.frames.PushOverwrite(frame, length);
    ++record.total;
}

BOOL TSimDriver::Arrive(TAdapter* adapter, const void* frame, ULONG length, ULONG deviceFlags) {
    // No adapter carries what does not fit an Ethernet frame.
    if (!adapter || adapter->removed || !frame || length == 0 || length > MAX_ETHER_FRAME) return FALSE;
    if (adapter->mode & TunnelFlagOf(deviceFlags)) return Enqueue(*adapter, frame, length, deviceFlags);
    PassOn(*adapter, frame, length, deviceFlags);
    return FALSE;
}

BOOL TSimDriver::HandOn(TDriverOperation operation, HANDLE driver, const ETH_REQUEST* request, ULONG deviceFlags) {
    std::lock_guard lock(mutex_);
    Record(operation);
    if (THandleCounts* counts = request ? CountsOf(request->hAdapterHandle) : nullptr) {
        ++(deviceFlags & PACKET_FLAG_ON_SEND ? counts->wire : counts->sends);
        if (counts->released) ++counts->afterRelease;
    }
    TAdapter* a = request && request->EthPacket ? FindByHandle(request->hAdapterHandle) : nullptr;
    if (!Usable(driver) || !a) return FALSE;
    // A length beyond the buffer cannot be honoured; only the buffer goes on.
    const ULONG length = std::min<ULONG>(request->EthPacket->m_Length, MAX_ETHER_FRAME);
    PassOn(*a, request->EthPacket->m_IBuffer, length, deviceFlags);
    return TRUE;
}

// ---- driver operations ----

HANDLE TSimDriver::OpenFilterDriver() {
    std::lock_guard lock(mutex_);
    Record(TDriverOperation::OpenFilterDriver);
    if (openNull_) return nullptr;
    // A handle is returned even without the driver: IsDriverLoaded tells.
    HANDLE handle = DriverHandleValue(++handleSerial_);
    openHandles_.push_back(handle);
    return handle;
}

void TSimDriver::CloseFilterDriver(HANDLE driver) {
    std::lock_guard lock(mutex_);
    Record(TDriverOperation::CloseFilterDriver);
    // Adapter modes and events stay as they are: a user that forgets to
    // restore them before closing is then visible in the state.
    const auto it = std::find(openHandles_.begin(), openHandles_.end(), driver);
    if (it != openHandles_.end()) openHandles_.erase(it);
}

BOOL TSimDriver::IsDriverLoaded(HANDLE driver) {
    std::lock_guard lock(mutex_);
    Record(TDriverOperation::IsDriverLoaded);
    return Usable(driver);
}

BOOL TSimDriver::GetTcpipBoundAdaptersInfo(HANDLE driver, TCP_AdapterList* adapters) {
    std::lock_guard lock(mutex_);
    Record(TDriverOperation::GetTcpipBoundAdaptersInfo);
    if (!adapters) return FALSE;
    // Zeroed first, so a caller that ignores a failure sees no adapters.
    std::memset(adapters, 0, sizeof *adapters);
    const bool refused = RefusedAtRandom(driver, TDriverOperation::GetTcpipBoundAdaptersInfo);
    if (!Usable(driver) || refuseList_ || refused) return FALSE;
    ArriveLateLocked();
    std::size_t n = 0;
    for (const TAdapter& a : adapters_) {
        if (a.removed || n == ADAPTER_LIST_SIZE) continue;
        const std::size_t i = n++;
        // A name of all 256 bytes fills its slot without a NUL, as the record allows.
        std::memcpy(adapters->m_szAdapterNameList[i], a.internalName.data(), a.internalName.size());
        adapters->m_nAdapterHandle[i] = a.handle;
        adapters->m_nAdapterMediumList[i] = a.medium;
        std::memcpy(adapters->m_czCurrentAddress[i], a.mac.data(), ETHER_ADDR_LENGTH);
        adapters->m_usMTU[i] = a.mtu;
    }
    adapters->m_nAdapterCount = countOverride_ == kTrueCount ? static_cast<ULONG>(n) : countOverride_;
    return TRUE;
}

BOOL TSimDriver::SetPacketEvent(HANDLE driver, HANDLE adapter, HANDLE event) {
    std::lock_guard lock(mutex_);
    Record(TDriverOperation::SetPacketEvent);
    const bool refused = RefusedAtRandom(driver, TDriverOperation::SetPacketEvent);
    THandleCounts* counts = CountsOf(adapter);
    // A detach releases the handle whatever the driver answers: its user
    // reads through it no more.
    if (counts && !event) counts->released = true;
    TAdapter* a = FindByHandle(adapter);
    if (!Usable(driver) || !a || refuseEvent_ || refused) return FALSE;
    a->event = event;
    if (counts && event) counts->released = false;
    return TRUE;
}

BOOL TSimDriver::SetAdapterMode(HANDLE driver, const ADAPTER_MODE* mode) {
    std::unique_lock lock(mutex_);
    if (holdArmed_) {
        holdArmed_ = false;
        holding_ = true;
        holdReleased_.wait(lock, [this] { return !holding_; });
    }
    Record(TDriverOperation::SetAdapterMode);
    const bool refused = RefusedAtRandom(driver, TDriverOperation::SetAdapterMode);
    TAdapter* a = mode ? FindByHandle(mode->hAdapterHandle) : nullptr;
    if (!Usable(driver) || !a || refused) return FALSE;
    if (refuseMode_ && mode->dwFlags != 0) return FALSE;
    if (mode->dwFlags == 0 && refuseResets_ != 0) {
        if (refuseResets_ != SIM_EVERY) --refuseResets_;
        return FALSE;
    }
    const ULONG ended = a->mode & ~mode->dwFlags;
    a->mode = mode->dwFlags;
    // Frames still queued in a direction whose tunnelling ends go on their
    // way, as the real driver lets them go on rather than losing them; the
    // others stay queued, in order.
    for (std::size_t n = ended ? a->queue.Size() : 0; n > 0; --n) {
        const TFrameSlot slot = *a->queue.Front();
        a->queue.PopFront();
        if (ended & TunnelFlagOf(slot.deviceFlags))
            PassOn(*a, slot.bytes, slot.length, slot.deviceFlags);
        else
            a->queue.Push(slot.bytes, slot.length)->deviceFlags = slot.deviceFlags;
    }
    return TRUE;
}

BOOL TSimDriver::ReadPacket(HANDLE driver, ETH_REQUEST* request) {
    std::lock_guard lock(mutex_);
    THandleCounts* counts = request ? CountsOf(request->hAdapterHandle) : nullptr;
    if (counts && counts->released) ++counts->afterRelease;
    TAdapter* a = request && request->EthPacket ? FindByHandle(request->hAdapterHandle) : nullptr;
    const TFrameSlot* slot = a && !a->held && Usable(driver) ? a->queue.Front() : nullptr;
    if (!slot) {
        // Counted but kept out of the log, which an idle worker would flood.
        ++callCounts_[static_cast<std::size_t>(TDriverOperation::ReadPacket)];
        return FALSE;
    }
    Record(TDriverOperation::ReadPacket);
    if (counts) ++counts->reads;
    std::memcpy(request->EthPacket->m_IBuffer, slot->bytes, slot->length);
    request->EthPacket->m_Length = slot->length;
    request->EthPacket->m_dwDeviceFlags = slot->deviceFlags;
    a->queue.PopFront();
    return TRUE;
}

BOOL TSimDriver::SendPacketToMstcp(HANDLE driver, const ETH_REQUEST* request) {
    return HandOn(TDriverOperation::SendPacketToMstcp, driver, request, PACKET_FLAG_ON_RECEIVE);
}

BOOL TSimDriver::SendPacketToAdapter(HANDLE driver, const ETH_REQUEST* request) {
    return HandOn(TDriverOperation::SendPacketToAdapter, driver, request, PACKET_FLAG_ON_SEND);
}

BOOL TSimDriver::ConvertAdapterName(TDriverOperation operation, const char* internalName, char* displayName,
                                    DWORD size) {
    std::lock_guard lock(mutex_);
    Record(operation);
    if (!displayName || size == 0) return FALSE;
    displayName[0] = '\0';
    if (!internalName) return FALSE;
    for (const TAdapter& a : adapters_) {
        // As on Windows, where the name comes from the system's records of
        // the adapter: one unplugged or not plugged in yet is converted too.
        if (a.internalName == internalName) {
            CopyTruncated(a.displayName, displayName, size);
            return TRUE;
        }
    }
    return FALSE;
}

// ---- control ----

void TSimDriver::ClearLocked() {
    driverLoaded_ = true;
    openNull_ = false;
    adapters_.clear();
    countOverride_ = kTrueCount;
    refuseEvent_ = false;
    refuseMode_ = false;
    refuseList_ = false;
    refuseResets_ = 0;
    randomOneIn_ = 0;
    randomDriver_ = nullptr;
    std::fill(handleCounts_.begin(), handleCounts_.end(), THandleCounts{});
    holdArmed_ = false;
    holding_ = false;
    holdReleased_.notify_all();
    callCounts_.fill(0);
    callLog_.clear();
    lateDue_ = 0;
}

void TSimDriver::ArriveLateLocked() {
    if (lateDue_ == 0 || static_cast<LONG>(::GetTickCount() - lateDue_) < 0) return;
    lateDue_ = 0;
    if (adapters_.empty() || !adapters_.front().removed) return;
    adapters_.front().removed = false;
    adapters_.front().handle = NewAdapterHandle();
}

void TSimDriver::Reset() {
    {
        std::lock_guard lock(mutex_);
        ClearLocked();
    }
    trickle_.SetRate(0);
}

void TSimDriver::AddDefaultAdaptersLocked() {
    struct Default {
        const char* internalName;
        const char* displayName;
        unsigned char mac[ETHER_ADDR_LENGTH];
        ULONG medium;
        USHORT mtu;
    };
    static const Default defaults[] = {
        {"\\DEVICE\\{3F2A6C1E-8B4D-4E7A-9C21-5D0B7A1E4F10}", "Intel(R) PRO/1000 MT Network Connection",
         {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF}, 0, 1500},
        {"\\DEVICE\\{7C91D0B2-2E5F-4A83-B6D4-19E0C3F58A27}", "Atheros AR9285 Wireless Network Adapter",
         {0x00, 0x1F, 0x3C, 0x5E, 0x92, 0x14}, 0, 1500},
        {"\\DEVICE\\{B4E8273A-51C9-4F06-8D3E-A6720F19C5D8}", "Corvantis Virtual Broadcast Adapter",
         {0x02, 0x00, 0x4C, 0x4F, 0x4F, 0x50}, 11, 1400},
    };
    for (const Default& d : defaults) {
        TAdapter a;
        a.internalName = d.internalName;
        a.displayName = d.displayName;
        std::copy(std::begin(d.mac), std::end(d.mac), a.mac.begin());
        a.medium = d.medium;
        a.mtu = d.mtu;
        a.handle = NewAdapterHandle();
        adapters_.push_back(std::move(a));
    }
}

void TSimDriver::LoadDefaults() {
    {
        std::lock_guard lock(mutex_);
        ClearLocked();
        driverLoaded_ = defaultDriverLoaded_;
        if (defaultAdapters_) AddDefaultAdaptersLocked();
        // A phone plugged in after logon: unplugged until it is due.
        if (defaultAdapters_ && defaultLateMs_ > 0 && !adapters_.empty()) {
            adapters_.front().removed = true;
            lateDue_ = (::GetTickCount() + defaultLateMs_) | 1;
        }
    }
    trickle_.SetRate(defaultTrickle_);
}

void TSimDriver::SetDriverLoaded(bool loaded) {
    std::lock_guard lock(mutex_);
    driverLoaded_ = loaded;
}

void TSimDriver::OpenReturnsNull(bool null) {
    std::lock_guard lock(mutex_);
    openNull_ = null;
}

void TSimDriver::HoldDelivery(ULONG position, bool hold) {
    std::lock_guard lock(mutex_);
    TAdapter* a = FindByPosition(position);
    if (!a) return;
    a->held = hold;
    if (!hold && a->event && a->queue.Size() > 0) ::SetEvent(a->event);
}

ULONG TSimDriver::AddAdapter(const char* internalName, const char* displayName, const unsigned char mac[6],
                             ULONG medium, USHORT mtu) {
    return InsertAdapter(kTrueCount, internalName, displayName, mac, medium, mtu);
}

ULONG TSimDriver::InsertAdapter(ULONG position, const char* internalName, const char* displayName,
                                const unsigned char mac[6], ULONG medium, USHORT mtu) {
    std::lock_guard lock(mutex_);
    if (adapters_.size() >= ADAPTER_LIST_SIZE) return 0;
    const std::size_t at = position >= 1 && position <= adapters_.size() ? position - 1 : adapters_.size();
    TAdapter a;
    // The list gives the internal name 256 bytes, NUL included.
    a.internalName = std::string(internalName ? internalName : "").substr(0, ADAPTER_NAME_SIZE);
    a.displayName = displayName ? displayName : "";
    if (mac) std::copy(mac, mac + ETHER_ADDR_LENGTH, a.mac.begin());
    a.medium = medium;
    a.mtu = mtu;
    a.handle = NewAdapterHandle();
    adapters_.insert(adapters_.begin() + static_cast<std::ptrdiff_t>(at), std::move(a));
    return static_cast<ULONG>(at + 1);
}

void TSimDriver::RemoveAdapter(ULONG position) {
    std::lock_guard lock(mutex_);
    TAdapter* a = FindByPosition(position);
    if (!a || a->removed) return;
    // The binding goes with the device: what was queued for it is lost.
    a->removed = true;
    a->mode = 0;
    a->event = nullptr;
    a->queue.Clear();
}

void TSimDriver::RestoreAdapter(ULONG position) {
    std::lock_guard lock(mutex_);
    TAdapter* a = FindByPosition(position);
    if (!a || !a->removed) return;
    a->removed = false;
    a->handle = NewAdapterHandle();
}

void TSimDriver::OverrideAdapterCount(ULONG count) {
    std::lock_guard lock(mutex_);
    countOverride_ = count;
}

void TSimDriver::RefuseSetPacketEvent(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseEvent_ = refuse;
}

void TSimDriver::RefuseSetAdapterMode(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseMode_ = refuse;
}

void TSimDriver::RefuseAdapterList(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseList_ = refuse;
}

ULONG TSimDriver::RefuseAtRandom(HANDLE driver, ULONG oneIn, ULONG seed) {
    std::lock_guard lock(mutex_);
    randomDriver_ = driver ? driver : (openHandles_.empty() ? nullptr : openHandles_.back());
    randomOneIn_ = oneIn;
    randomSeed_ = seed;
    randomCalls_ = 0;
    return std::exchange(randomRefusals_, 0);
}

void TSimDriver::RefuseResets(ULONG count) {
    std::lock_guard lock(mutex_);
    refuseResets_ = count;
}

void TSimDriver::HandleCounts(HANDLE adapter, ULONG* reads, ULONG* sends, ULONG* afterRelease, ULONG* wire) {
    std::lock_guard lock(mutex_);
    const THandleCounts* found = CountsOf(adapter);
    const THandleCounts counts = found ? *found : THandleCounts{};
    if (reads) *reads = counts.reads;
    if (sends) *sends = counts.sends;
    if (afterRelease) *afterRelease = counts.afterRelease;
    if (wire) *wire = counts.wire;
}

void TSimDriver::HoldNextSetAdapterMode() {
    std::lock_guard lock(mutex_);
    holdArmed_ = true;
}

BOOL TSimDriver::SetAdapterModeHeld() {
    std::lock_guard lock(mutex_);
    return holding_;
}

void TSimDriver::ReleaseSetAdapterMode() {
    std::lock_guard lock(mutex_);
    holdArmed_ = false;
    holding_ = false;
    holdReleased_.notify_all();
}

BOOL TSimDriver::ReceiveFrame(ULONG position, const void* frame, ULONG length) {
    std::lock_guard lock(mutex_);
    return Arrive(FindByPosition(position), frame, length, PACKET_FLAG_ON_RECEIVE);
}

BOOL TSimDriver::HostSendFrame(ULONG position, const void* frame, ULONG length) {
    std::lock_guard lock(mutex_);
    return Arrive(FindByPosition(position), frame, length, PACKET_FLAG_ON_SEND);
}

ULONG TSimDriver::QueueLength(ULONG position) {
    return ReadAdapter<ULONG>(position, 0, [](const TAdapter& a) { return a.queue.Size(); });
}

ULONG TSimDriver::DroppedFrames(ULONG position) {
    return ReadAdapter<ULONG>(position, 0, [](const TAdapter& a) { return a.dropped; });
}

ULONG TSimDriver::StackTotal(ULONG position) {
    return ReadAdapter<ULONG>(position, 0, [](const TAdapter& a) { return a.stack.total; });
}

ULONG TSimDriver::WireTotal(ULONG position) {
    return ReadAdapter<ULONG>(position, 0, [](const TAdapter& a) { return a.wire.total; });
}

ULONG TSimDriver::RecordedFrame(ULONG position, TRecord TAdapter::*record, ULONG index, void* buffer,
                                ULONG capacity) {
    std::lock_guard lock(mutex_);
    const TAdapter* a = FindByPosition(position);
    const TFrameSlot* slot = a ? (a->*record).frames.At(index) : nullptr;
    if (!slot) return 0;
    if (buffer) std::memcpy(buffer, slot->bytes, std::min(slot->length, capacity));
    return slot->length;
}

ULONG TSimDriver::StackFrame(ULONG position, ULONG index, void* buffer, ULONG capacity) {
    return RecordedFrame(position, &TAdapter::stack, index, buffer, capacity);
}

ULONG TSimDriver::WireFrame(ULONG position, ULONG index, void* buffer, ULONG capacity) {
    return RecordedFrame(position, &TAdapter::wire, index, buffer, capacity);
}

void TSimDriver::ClearStack(ULONG position) {
    std::lock_guard lock(mutex_);
    if (TAdapter* a = FindByPosition(position)) {
        a->stack.frames.Clear();
        a->stack.total = 0;
    }
}

ULONG TSimDriver::AdapterMode(ULONG position) {
    return ReadAdapter<ULONG>(position, 0, [](const TAdapter& a) { return a.mode; });
}

HANDLE TSimDriver::AdapterEvent(ULONG position) {
    return ReadAdapter<HANDLE>(position, nullptr, [](const TAdapter& a) { return a.event; });
}

HANDLE TSimDriver::AdapterHandle(ULONG position) {
    return ReadAdapter<HANDLE>(position, nullptr, [](const TAdapter& a) { return a.removed ? nullptr : a.handle; });
}

ULONG TSimDriver::CallCount(const char* operation) {
    std::lock_guard lock(mutex_);
    if (!operation) return 0;
    for (std::size_t i = 0; i < std::size(OperationNames); ++i) {
        if (std::strcmp(OperationNames[i], operation) == 0) return callCounts_[i];
    }
    return 0;
}

ULONG TSimDriver::CallLog(char* buffer, ULONG capacity) {
    std::lock_guard lock(mutex_);
    if (buffer && capacity > 0) CopyTruncated(callLog_, buffer, capacity);
    return static_cast<ULONG>(callLog_.size());
}

ULONG TSimDriver::OpenHandles() {
    std::lock_guard lock(mutex_);
    return static_cast<ULONG>(openHandles_.size());
}

void TSimDriver::SetTrickle(ULONG framesPerSecond) {
    trickle_.SetRate(framesPerSecond);
}

void TSimDriver::FeedTunnelAdapters(const unsigned char* frame, ULONG length) {
    static const unsigned char broadcast[ETHER_ADDR_LENGTH] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const bool toAdapter = std::memcmp(frame, broadcast, ETHER_ADDR_LENGTH) != 0;
    std::lock_guard lock(mutex_);
    for (TAdapter& a : adapters_)
        if (a.mode & MSTCP_FLAG_RECV_TUNNEL) Enqueue(a, frame, length, PACKET_FLAG_ON_RECEIVE, toAdapter);
}
