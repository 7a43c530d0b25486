#include "DriverApi.h"

#include "toolkit/SystemLibrary.h"

namespace {

// Constant-initialised: nothing runs at load time, and the last-chance
// handlers may read it whatever state the process is in.
constinit TNdisApi g_ndisApi{};

template <typename Function>
bool Bind(HMODULE Library, const char* Name, Function& Slot) {
    Slot = tk::ProcAddress<Function>(Library, Name);
    return Slot != nullptr;
}

} // namespace

const TNdisApi& NdisApi = g_ndisApi;

bool BindDriverLibrary(HMODULE Library) {
    if (!Library) return false;
    TNdisApi table{};
    // By plain name, as the driver's library exports them.
    const bool complete = Bind(Library, "OpenFilterDriver", table.OpenFilterDriver) &
                          Bind(Library, "CloseFilterDriver", table.CloseFilterDriver) &
                          Bind(Library, "IsDriverLoaded", table.IsDriverLoaded) &
                          Bind(Library, "GetTcpipBoundAdaptersInfo", table.GetTcpipBoundAdaptersInfo) &
                          Bind(Library, "SetPacketEvent", table.SetPacketEvent) &
                          Bind(Library, "SetAdapterMode", table.SetAdapterMode) &
                          Bind(Library, "ReadPacket", table.ReadPacket) &
                          Bind(Library, "SendPacketToMstcp", table.SendPacketToMstcp) &
                          Bind(Library, "SendPacketToAdapter", table.SendPacketToAdapter) &
                          Bind(Library, "ConvertWindowsNTAdapterName", table.ConvertWindowsNTAdapterName) &
                          Bind(Library, "ConvertWindows2000AdapterName", table.ConvertWindows2000AdapterName) &
                          Bind(Library, "ConvertWindows9xAdapterName", table.ConvertWindows9xAdapterName);
    if (!complete) return false;
    g_ndisApi = table;
    return true;
}
