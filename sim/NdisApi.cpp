// The driver library's operations, each handed to the process's one driver.
#include "filter/DriverApi.h"
#include "sim/Guarded.h"
#include "sim/SimDriver.h"

namespace {

BOOL ConvertName(TDriverOperation operation, const char* internalName, char* displayName, DWORD size) {
    return Guarded(BOOL(FALSE), [&] {
        return TSimDriver::Instance().ConvertAdapterName(operation, internalName, displayName, size);
    });
}

} // namespace

extern "C" {

HANDLE __stdcall OpenFilterDriver(const char* pszFileName) {
    // Any name opens the one driver there is.
    return Guarded(HANDLE(nullptr), [] { return TSimDriver::Instance().OpenFilterDriver(); });
}

VOID __stdcall CloseFilterDriver(HANDLE hOpen) {
    Guarded(0, [&] {
        TSimDriver::Instance().CloseFilterDriver(hOpen);
        return 0;
    });
}

BOOL __stdcall IsDriverLoaded(HANDLE hOpen) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().IsDriverLoaded(hOpen); });
}

BOOL __stdcall GetTcpipBoundAdaptersInfo(HANDLE hOpen, TCP_AdapterList* pAdapters) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().GetTcpipBoundAdaptersInfo(hOpen, pAdapters); });
}

BOOL __stdcall SetPacketEvent(HANDLE hOpen, HANDLE hAdapter, HANDLE hWin32Event) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().SetPacketEvent(hOpen, hAdapter, hWin32Event); });
}

BOOL __stdcall SetAdapterMode(HANDLE hOpen, ADAPTER_MODE* pMode) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().SetAdapterMode(hOpen, pMode); });
}

BOOL __stdcall ReadPacket(HANDLE hOpen, ETH_REQUEST* pPacket) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().ReadPacket(hOpen, pPacket); });
}

BOOL __stdcall SendPacketToMstcp(HANDLE hOpen, ETH_REQUEST* pPacket) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().SendPacketToMstcp(hOpen, pPacket); });
}

BOOL __stdcall SendPacketToAdapter(HANDLE hOpen, ETH_REQUEST* pPacket) {
    return Guarded(BOOL(FALSE), [&] { return TSimDriver::Instance().SendPacketToAdapter(hOpen, pPacket); });
}

BOOL __stdcall ConvertWindowsNTAdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                           DWORD dwUserFriendlyNameLength) {
    return ConvertName(TDriverOperation::ConvertWindowsNTAdapterName, szAdapterName, szUserFriendlyName,
                       dwUserFriendlyNameLength);
}

BOOL __stdcall ConvertWindows2000AdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                             DWORD dwUserFriendlyNameLength) {
    return ConvertName(TDriverOperation::ConvertWindows2000AdapterName, szAdapterName, szUserFriendlyName,
                       dwUserFriendlyNameLength);
}

BOOL __stdcall ConvertWindows9xAdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                           DWORD dwUserFriendlyNameLength) {
    return ConvertName(TDriverOperation::ConvertWindows9xAdapterName, szAdapterName, szUserFriendlyName,
                       dwUserFriendlyNameLength);
}

} // extern "C"
