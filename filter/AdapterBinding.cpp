#include "AdapterBinding.h"

#include "LastChance.h"

#include <algorithm>
#include <cstring>

HANDLE FindAdapterHandle(const TCP_AdapterList& Adapters, const std::string& Name) {
    const ULONG count = std::min<ULONG>(Adapters.m_nAdapterCount, ADAPTER_LIST_SIZE);
    if (Name.empty() || Name.size() >= ADAPTER_NAME_SIZE) return nullptr;
    for (ULONG i = 0; i < count; ++i) {
        const auto* listed = reinterpret_cast<const char*>(Adapters.m_szAdapterNameList[i]);
        if (::strnlen(listed, ADAPTER_NAME_SIZE) == Name.size() && std::memcmp(listed, Name.data(), Name.size()) == 0)
            return Adapters.m_nAdapterHandle[i];
    }
    return nullptr;
}

namespace {

constexpr DWORD kEndResetPauseMs = 100;

bool HandleListed(const TCP_AdapterList& Adapters, HANDLE Adapter) {
    const ULONG count = std::min<ULONG>(Adapters.m_nAdapterCount, ADAPTER_LIST_SIZE);
    return std::find(Adapters.m_nAdapterHandle, Adapters.m_nAdapterHandle + count, Adapter) !=
           Adapters.m_nAdapterHandle + count;
}

} // namespace

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
