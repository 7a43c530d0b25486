// The adapters the packet-filter driver reports as bound to TCP/IP, as the
// rows of the main window's adapter list; no window is involved.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Name and icon of the NDIS medium codes the driver reports; codes without a
// name show as "0x%.8X" with the last icon.
struct TMediumName {
    unsigned long Code;
    const char* Name;
    int Icon;
};
extern const TMediumName MediumNames[13];
constexpr int UnnamedMediumIcon = 13;

// Medium column text and icon of a medium code.
std::string MediumText(unsigned long Medium);
int MediumIcon(unsigned long Medium);
// "%.2X" of each of the six address bytes, no separators.
std::string MacText(const unsigned char* Address);

// One adapter as the list shows it.
struct TAdapterRow {
    int Position = 0;          // 1-based; the worker's AdapterIndex
    std::string Caption;       // "(%d) %s" of the position and the display name
    std::string InternalName;  // the persistent key "FilteredAdapter" is compared with
    std::string Mac;
    std::string Medium;
    int MediumIcon = 0;
    std::string Mtu;
};

// The driver library's conversion of an internal adapter name into a display name.
using TConvertAdapterName = BOOL(__stdcall*)(const char* AdapterName, char* DisplayName, DWORD DisplayNameLength);

// The conversion that suits the platform `Version` describes.
TConvertAdapterName ChooseNameConversion(const OSVERSIONINFOA& Version);

// The display name the running platform's conversion gives `InternalName`,
// listed or not; the internal name itself when it gives none.
std::string DisplayNameFor(const std::string& InternalName);

// The rows in the driver's order, with the name conversion of the running
// platform; none when the driver is not loaded.
std::optional<std::vector<TAdapterRow>> ReadAdapterRows();
