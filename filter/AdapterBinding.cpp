#include "AdapterBinding.h"

#include "AdapterLock.h"
#include "LastChance.h"

#include <algorithm>

ULONG ListedCount(const TCP_AdapterList& Adapters) noexcept {
    const LONG reported = static_cast<LONG>(Adapters.m_nAdapterCount);
    return reported <= 0 ? 0 : std::min<ULONG>(static_cast<ULONG>(reported), ADAPTER_LIST_SIZE);
}

std::string_view ListedName(const TCP_AdapterList& Adapters, ULONG Slot) {
    const auto* name = reinterpret_cast<const char*>(Adapters.m_szAdapterNameList[Slot]);
    return std::string_view(name, static_cast<std::size_t>(std::find(name, name + ADAPTER_NAME_SIZE, '\0') - name));
}

HANDLE FindAdapterHandle(const TCP_AdapterList& Adapters, const std::string& Name) {
    if (Name.empty()) return nullptr;
    for (ULONG i = 0, count = ListedCount(Adapters); i < count; ++i) {
        if (ListedName(Adapters, i) == Name) return Adapters.m_nAdapterHandle[i];
    }
    return nullptr;
}

namespace {

constexpr DWORD kEndResetPauseMs = 100;

bool HandleListed(const TCP_AdapterList& Adapters, HANDLE Adapter) {
    const ULONG count = ListedCount(Adapters);
    return std::find(Adapters.m_nAdapterHandle, Adapters.m_nAdapterHandle + count, Adapter) !=
           Adapters.m_nAdapterHandle + count;
}

} // namespace

bool ResetListedAdapter(const std::string& Name) {
    const UniqueDriver driver = OpenLoadedDriver();
    if (!driver) return false;
    const TAdapterLock lock(Name, nullptr);
    if (lock.State() == TAdapterLock::Busy) return true;
    TCP_AdapterList adapters{};
    if (!NdisApi.GetTcpipBoundAdaptersInfo(driver.get(), &adapters)) return false;
    const HANDLE adapter = FindAdapterHandle(adapters, Name);
    return !adapter || ResetAdapterMode(driver.get(), adapter, kResetAttempts, kEndResetPauseMs);
}

TAdapterBinding::~TAdapterBinding() {
    if (!ReleaseAtEnd()) ::OutputDebugStringA("Brackwater: could not return the adapter to normal mode\n");
}

TAttachResult TAdapterBinding::Attach(HANDLE Adapter) {
    // Raised before the first call and lowered after the last, undo included:
    // the crash handler's reset then comes after whatever this sets.
    const TAttaching attaching;
    if (TAttaching::Crashing()) return TAttachResult::ModeRefused;
    if (!NdisApi.SetPacketEvent(driver_, Adapter, event_)) return TAttachResult::EventRefused;
    // Published before tunnel mode: a crash from here on gives the adapter back.
    PublishBinding(driver_, Adapter);
    ADAPTER_MODE mode{Adapter, tunnelMode_};
    const bool tunnel = NdisApi.SetAdapterMode(driver_, &mode) != FALSE;
    if (!tunnel || TAttaching::Crashing()) {
        if (tunnel) ResetAdapterMode(driver_, Adapter, kResetAttempts, 0);
        NdisApi.SetPacketEvent(driver_, Adapter, nullptr);
        PublishBinding(driver_, nullptr);
        return TAttachResult::ModeRefused;
    }
    adapter_ = Adapter;
    return TAttachResult::Attached;
}

void TAdapterBinding::Release() noexcept {
    Reset(1);
}

bool TAdapterBinding::ReleaseAtEnd() noexcept {
    const HANDLE adapter = adapter_;
    if (Reset(kResetAttempts)) return true;
    // A handle the driver no longer lists went away with its adapter (an
    // unplug just before the end): nothing of it is diverted. A list that
    // cannot be read proves nothing.
    TCP_AdapterList adapters{};
    return NdisApi.GetTcpipBoundAdaptersInfo(driver_, &adapters) && !HandleListed(adapters, adapter);
}

bool TAdapterBinding::Reset(int Attempts) noexcept {
    if (!adapter_) return true;
    const bool normal = ResetAdapterMode(driver_, adapter_, Attempts, kEndResetPauseMs);
    NdisApi.SetPacketEvent(driver_, adapter_, nullptr);
    PublishBinding(driver_, nullptr);
    adapter_ = nullptr;
    return normal;
}
