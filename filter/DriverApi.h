// Records and operations of the packet-filter driver's user-mode library,
// ndisapi.dll. The shipped program is 32-bit: its records are byte-packed, as
// in the library's 32-bit build. The x86_64 build only carries our tests
// under 64-bit Wine; its records take the compiler's natural alignment with
// 8-byte handles and pointers, and nobody has checked them against a real
// 64-bit library. The program calls the operations through NdisApi, a table
// filled from the library it loaded itself; the declarations below give their
// types and are what the stand-in exports.
#pragma once

#include "toolkit/Handles.h"

#include <windows.h>

#include <cstddef>

#define DRIVER_NAME_A "NDISRD"

#define ADAPTER_LIST_SIZE 32
#define ADAPTER_NAME_SIZE 256
#define ETHER_ADDR_LENGTH 6
#define MAX_ETHER_FRAME 1514

// Adapter mode flags used by the program.
#define MSTCP_FLAG_SENT_TUNNEL 0x00000001
#define MSTCP_FLAG_RECV_TUNNEL 0x00000002

// INTERMEDIATE_BUFFER device flags: the direction a queued packet was going.
#define PACKET_FLAG_ON_SEND 0x00000001
#define PACKET_FLAG_ON_RECEIVE 0x00000002

// Size of the buffer handed to the adapter name conversions.
#define ADAPTER_DISPLAY_NAME_SIZE 1024

#ifndef _WIN64
#pragma pack(push, 1)
#endif

struct TCP_AdapterList {
    ULONG m_nAdapterCount;
    UCHAR m_szAdapterNameList[ADAPTER_LIST_SIZE][ADAPTER_NAME_SIZE];
    HANDLE m_nAdapterHandle[ADAPTER_LIST_SIZE];
    ULONG m_nAdapterMediumList[ADAPTER_LIST_SIZE];
    UCHAR m_czCurrentAddress[ADAPTER_LIST_SIZE][ETHER_ADDR_LENGTH];
    USHORT m_usMTU[ADAPTER_LIST_SIZE];
};

struct ADAPTER_MODE {
    HANDLE hAdapterHandle;
    ULONG dwFlags;
};

struct INTERMEDIATE_BUFFER {
    LIST_ENTRY m_qLink;
    ULONG m_dwDeviceFlags;
    ULONG m_Length;
    ULONG m_Flags;
    UCHAR m_IBuffer[MAX_ETHER_FRAME];
};

struct ETH_REQUEST {
    HANDLE hAdapterHandle;
    INTERMEDIATE_BUFFER* EthPacket;
};

#ifndef _WIN64
#pragma pack(pop)
#endif

#ifndef _WIN64
static_assert(sizeof(TCP_AdapterList) == 8708, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_szAdapterNameList) == 4, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_nAdapterHandle) == 8196, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_nAdapterMediumList) == 8324, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_czCurrentAddress) == 8452, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_usMTU) == 8644, "TCP_AdapterList layout");
static_assert(sizeof(ADAPTER_MODE) == 8, "ADAPTER_MODE layout");
static_assert(sizeof(ETH_REQUEST) == 8, "ETH_REQUEST layout");
static_assert(offsetof(INTERMEDIATE_BUFFER, m_Length) == 12, "INTERMEDIATE_BUFFER layout");
static_assert(offsetof(INTERMEDIATE_BUFFER, m_IBuffer) == 20, "INTERMEDIATE_BUFFER layout");
static_assert(sizeof(INTERMEDIATE_BUFFER) == 20 + MAX_ETHER_FRAME, "INTERMEDIATE_BUFFER layout");
#else
static_assert(sizeof(TCP_AdapterList) == 8840, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_szAdapterNameList) == 4, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_nAdapterHandle) == 8200, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_nAdapterMediumList) == 8456, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_czCurrentAddress) == 8584, "TCP_AdapterList layout");
static_assert(offsetof(TCP_AdapterList, m_usMTU) == 8776, "TCP_AdapterList layout");
static_assert(sizeof(ADAPTER_MODE) == 16, "ADAPTER_MODE layout");
static_assert(sizeof(ETH_REQUEST) == 16, "ETH_REQUEST layout");
static_assert(offsetof(INTERMEDIATE_BUFFER, m_Length) == 20, "INTERMEDIATE_BUFFER layout");
static_assert(offsetof(INTERMEDIATE_BUFFER, m_IBuffer) == 28, "INTERMEDIATE_BUFFER layout");
#endif

#ifdef NDISAPI_BUILDING_DLL
#define NDISAPI_IMPORT
#else
#define NDISAPI_IMPORT __declspec(dllimport)
#endif

extern "C" {
NDISAPI_IMPORT HANDLE __stdcall OpenFilterDriver(const char* pszFileName);
NDISAPI_IMPORT VOID __stdcall CloseFilterDriver(HANDLE hOpen);
NDISAPI_IMPORT BOOL __stdcall IsDriverLoaded(HANDLE hOpen);
NDISAPI_IMPORT BOOL __stdcall GetTcpipBoundAdaptersInfo(HANDLE hOpen, TCP_AdapterList* pAdapters);
NDISAPI_IMPORT BOOL __stdcall SetPacketEvent(HANDLE hOpen, HANDLE hAdapter, HANDLE hWin32Event);
NDISAPI_IMPORT BOOL __stdcall SetAdapterMode(HANDLE hOpen, ADAPTER_MODE* pMode);
NDISAPI_IMPORT BOOL __stdcall ReadPacket(HANDLE hOpen, ETH_REQUEST* pPacket);
NDISAPI_IMPORT BOOL __stdcall SendPacketToMstcp(HANDLE hOpen, ETH_REQUEST* pPacket);
NDISAPI_IMPORT BOOL __stdcall SendPacketToAdapter(HANDLE hOpen, ETH_REQUEST* pPacket);
NDISAPI_IMPORT BOOL __stdcall ConvertWindowsNTAdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                                          DWORD dwUserFriendlyNameLength);
NDISAPI_IMPORT BOOL __stdcall ConvertWindows2000AdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                                            DWORD dwUserFriendlyNameLength);
NDISAPI_IMPORT BOOL __stdcall ConvertWindows9xAdapterName(const char* szAdapterName, char* szUserFriendlyName,
                                                          DWORD dwUserFriendlyNameLength);
}

// The operations' addresses in the library the program uses.
struct TNdisApi {
    decltype(&::OpenFilterDriver) OpenFilterDriver;
    decltype(&::CloseFilterDriver) CloseFilterDriver;
    decltype(&::IsDriverLoaded) IsDriverLoaded;
    decltype(&::GetTcpipBoundAdaptersInfo) GetTcpipBoundAdaptersInfo;
    decltype(&::SetPacketEvent) SetPacketEvent;
    decltype(&::SetAdapterMode) SetAdapterMode;
    decltype(&::ReadPacket) ReadPacket;
    decltype(&::SendPacketToMstcp) SendPacketToMstcp;
    decltype(&::SendPacketToAdapter) SendPacketToAdapter;
    decltype(&::ConvertWindowsNTAdapterName) ConvertWindowsNTAdapterName;
    decltype(&::ConvertWindows2000AdapterName) ConvertWindows2000AdapterName;
    decltype(&::ConvertWindows9xAdapterName) ConvertWindows9xAdapterName;
};

// Written once, by BindDriverLibrary, before the last-chance handlers are
// installed and before any thread starts; only read after that.
extern const TNdisApi& NdisApi;

// Fills NdisApi from the library's exports. False, with the table unchanged,
// when Library is null or lacks any of the twelve.
bool BindDriverLibrary(HMODULE Library);

// Owner traits for a driver handle (for tk::UniqueHandle): it is closed with
// CloseFilterDriver, and only once the driver is known to be loaded.
struct DriverHandleTraits {
    using Type = HANDLE;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { NdisApi.CloseFilterDriver(h); }
};

using UniqueDriver = tk::UniqueHandle<DriverHandleTraits>;

// Opens "NDISRD" and hands back the owned handle when the driver is loaded, an
// empty owner when it is not. The handle of a driver that is not loaded is
// left alone: nothing but IsDriverLoaded may be asked of it, not even a close;
// a null one is not even asked that.
inline UniqueDriver OpenLoadedDriver() {
    HANDLE driver = NdisApi.OpenFilterDriver(DRIVER_NAME_A);
    if (!driver || !NdisApi.IsDriverLoaded(driver)) return UniqueDriver();
    return UniqueDriver(driver);
}
