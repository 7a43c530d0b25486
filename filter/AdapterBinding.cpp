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

TAttachResult TAdapterBinding::Attach(HANDLE Adapter) {
    if (!NdisApi.SetPacketEvent(driver_, Adapter, event_)) return TAttachResult::EventRefused;
    // Published before tunnel mode: a crash from here on gives the adapter back.
    PublishBinding(driver_, Adapter);
    ADAPTER_MODE mode{Adapter, MSTCP_FLAG_RECV_TUNNEL};
    if (!NdisApi.SetAdapterMode(driver_, &mode)) {
        NdisApi.SetPacketEvent(driver_, Adapter, nullptr);
        PublishBinding(driver_, nullptr);
        return TAttachResult::ModeRefused;
    }
    adapter_ = Adapter;
    return TAttachResult::Attached;
}

void TAdapterBinding::Release() noexcept {
    if (!adapter_) return;
    ADAPTER_MODE normal{adapter_, 0};
    NdisApi.SetAdapterMode(driver_, &normal);
    NdisApi.SetPacketEvent(driver_, adapter_, nullptr);
    PublishBinding(driver_, nullptr);
    adapter_ = nullptr;
}
