#include "ui/AdapterList.h"

#include "filter/AdapterBinding.h"
#include "filter/DriverApi.h"
#include "toolkit/Exception.h"
#include "toolkit/OsVersion.h"

#include <algorithm>

const TMediumName MediumNames[13] = {
    {0, "Ethernet (802.3)", 0},
    {1, "Token Ring (802.5)", 1},
    {2, "FDDI", 2},
    {3, "WAN", 3},
    {4, "LocalTalk", 4},
    {5, "DIX", 5},
    {6, "ARCNET (raw)", 6},
    {7, "ARCNET (878.2)", 7},
    {8, "ATM", 8},
    {9, "Wireless WAN", 9},
    {10, "Infrared (IrDA)", 10},
    {12, "Connection-oriented WAN", 11},
    {13, "IEEE 1394 (firewire) bus", 12},
};

namespace {

const TMediumName* FindMedium(unsigned long Medium) {
    for (const TMediumName& m : MediumNames) {
        if (m.Code == Medium) return &m;
    }
    return nullptr;
}

TConvertAdapterName PlatformNameConversion() {
    OSVERSIONINFOA version;
    tk::GetOsVersion(version);
    return ChooseNameConversion(version);
}

std::string ConvertedName(TConvertAdapterName Convert, const std::string& InternalName) {
    char displayName[ADAPTER_DISPLAY_NAME_SIZE] = {};
    Convert(InternalName.c_str(), displayName, sizeof displayName);
    // Up to its first NUL, never past the buffer whatever the driver wrote.
    return std::string(displayName, std::find(displayName, displayName + sizeof displayName, '\0'));
}

} // namespace

std::string MediumText(unsigned long Medium) {
    if (const TMediumName* m = FindMedium(Medium)) return m->Name;
    return tk::Format("0x%.8X", static_cast<unsigned>(Medium));
}

int MediumIcon(unsigned long Medium) {
    const TMediumName* m = FindMedium(Medium);
    return m ? m->Icon : UnnamedMediumIcon;
}

std::string MacText(const unsigned char* a) {
    return tk::Format("%.2X%.2X%.2X%.2X%.2X%.2X", a[0], a[1], a[2], a[3], a[4], a[5]);
}

TConvertAdapterName ChooseNameConversion(const OSVERSIONINFOA& Version) {
    if (Version.dwPlatformId != VER_PLATFORM_WIN32_NT) return NdisApi.ConvertWindows9xAdapterName;
    return Version.dwMajorVersion == 4 ? NdisApi.ConvertWindowsNTAdapterName : NdisApi.ConvertWindows2000AdapterName;
}

std::string DisplayNameFor(const std::string& InternalName) {
    const std::string displayName = ConvertedName(PlatformNameConversion(), InternalName);
    return displayName.empty() ? InternalName : displayName;
}

std::optional<std::vector<TAdapterRow>> ReadAdapterRows() {
    const TConvertAdapterName convertName = PlatformNameConversion();
    const UniqueDriver driver = OpenLoadedDriver();
    if (!driver) return std::nullopt;

    TCP_AdapterList adapters{};
    NdisApi.GetTcpipBoundAdaptersInfo(driver.get(), &adapters);
    std::vector<TAdapterRow> rows;
    for (ULONG slot = 0, count = ListedCount(adapters); slot < count; ++slot) {
        TAdapterRow row;
        row.Position = static_cast<int>(slot + 1);
        row.InternalName = ListedName(adapters, slot);
        row.Caption = tk::Format("(%d) %s", row.Position, ConvertedName(convertName, row.InternalName).c_str());
        row.Mac = MacText(adapters.m_czCurrentAddress[slot]);
        const ULONG medium = adapters.m_nAdapterMediumList[slot];
        row.Medium = MediumText(medium);
        row.MediumIcon = MediumIcon(medium);
        row.Mtu = tk::Format("%d", static_cast<int>(adapters.m_usMTU[slot]));
        rows.push_back(std::move(row));
    }
    return rows;
}
