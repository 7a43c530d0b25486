// The adapter list without a window, over the stand-in driver.
#include "filter/DriverApi.h"
#include "sim/SimControl.h"
#include "tests/SimRecords.h"
#include "ui/AdapterList.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

struct Adapter {
    const char* internalName;
    const char* displayName;
    unsigned char mac[6];
    ULONG medium;
    USHORT mtu;
};

struct Row {
    const char* name;
    std::vector<Adapter> adapters;
    std::vector<TAdapterRow> expected;
};

auto Fields(const TAdapterRow& r) {
    return std::tie(r.Position, r.Caption, r.InternalName, r.Mac, r.Medium, r.MediumIcon, r.Mtu);
}

TEST(AdapterList, RowsFollowTheDriversOrderWithTheirColumns) {
    const std::string longName(300, 'n');  // the driver's slot keeps 256 bytes, with no NUL
    const Row rows[] = {
        {"no adapters", {}, {}},
        {"named, unnamed and edge media",
         {{"\\DEVICE\\{A1}", "LAN", {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF}, 0, 1500},
          {"\\DEVICE\\{B2}", "Dial-up", {0x02, 0, 0, 0, 0, 0x02}, 11, 1400},
          {"\\DEVICE\\{C3}", "Tunnel", {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA}, 12, 576},
          {"\\DEVICE\\{D4}", "Firewire", {0, 0, 0, 0, 0, 0}, 13, 65535},
          {"\\DEVICE\\{E5}", "Odd", {0, 0, 0, 0, 0, 1}, 0xFFFFFFFF, 0}},
         {{1, "(1) LAN", "\\DEVICE\\{A1}", "000C29AB01FF", "Ethernet (802.3)", 0, "1500"},
          {2, "(2) Dial-up", "\\DEVICE\\{B2}", "020000000002", "0x0000000B", 13, "1400"},
          {3, "(3) Tunnel", "\\DEVICE\\{C3}", "FFFEFDFCFBFA", "Connection-oriented WAN", 11, "576"},
          {4, "(4) Firewire", "\\DEVICE\\{D4}", "000000000000", "IEEE 1394 (firewire) bus", 12, "65535"},
          {5, "(5) Odd", "\\DEVICE\\{E5}", "000000000001", "0xFFFFFFFF", 13, "0"}}},
        {"internal name filling its slot",
         {{longName.c_str(), "Long", {1, 2, 3, 4, 5, 6}, 9, 1500}},
         {{1, "(1) Long", longName.substr(0, 256), "010203040506", "Wireless WAN", 9, "1500"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimReset();
        for (const Adapter& a : row.adapters) SimAddAdapter(a.internalName, a.displayName, a.mac, a.medium, a.mtu);
        const auto got = ReadAdapterRows();
        ASSERT_TRUE(got);
        ASSERT_EQ(got->size(), row.expected.size());
        for (std::size_t i = 0; i < got->size(); ++i) EXPECT_EQ(Fields((*got)[i]), Fields(row.expected[i]));
        // One handle per refresh, closed at its end.
        EXPECT_EQ(SimCallCount("OpenFilterDriver"), 1u);
        EXPECT_EQ(SimCallCount("CloseFilterDriver"), 1u);
        EXPECT_EQ(SimCallCount("ConvertWindows2000AdapterName"), row.adapters.size());
    }
}

TEST(AdapterList, CountsBeyondTheSlotsOrBelowOneAreBounded) {
    const struct {
        ULONG reported;
        std::size_t rows;
    } cases[] = {{40, 32}, {32, 32}, {0, 0}, {0x80000000u, 0}, {0xFFFFFFFEu, 0}};
    const unsigned char mac[6] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        SimReset();
        SimAddAdapter("\\DEVICE\\{A1}", "LAN", mac, 0, 1500);
        SimOverrideAdapterCount(c.reported);
        const auto got = ReadAdapterRows();
        ASSERT_TRUE(got);
        EXPECT_EQ(got->size(), c.rows);
    }
    SimOverrideAdapterCount(0xFFFFFFFF);
}

TEST(AdapterList, MissingDriverGivesNoRowsAndNoFurtherCall) {
    SimReset();
    const unsigned char mac[6] = {};
    SimAddAdapter("\\DEVICE\\{A1}", "LAN", mac, 0, 1500);
    SimSetDriverLoaded(FALSE);
    EXPECT_FALSE(ReadAdapterRows());
    EXPECT_EQ(CallLog(), "OpenFilterDriver IsDriverLoaded");
}

TEST(AdapterList, NameConversionFollowsThePlatform) {
    const struct {
        DWORD platform, major;
        const char* expected;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 4, "ConvertWindowsNTAdapterName"},
        {VER_PLATFORM_WIN32_NT, 3, "ConvertWindows2000AdapterName"},
        {VER_PLATFORM_WIN32_NT, 5, "ConvertWindows2000AdapterName"},
        {VER_PLATFORM_WIN32_NT, 10, "ConvertWindows2000AdapterName"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, "ConvertWindows9xAdapterName"},
        {VER_PLATFORM_WIN32s, 4, "ConvertWindows9xAdapterName"},
    };
    const unsigned char mac[6] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.platform << "." << c.major);
        SimReset();
        SimAddAdapter("\\DEVICE\\{A1}", "LAN", mac, 0, 1500);
        OSVERSIONINFOA version{};
        version.dwPlatformId = c.platform;
        version.dwMajorVersion = c.major;
        char name[ADAPTER_DISPLAY_NAME_SIZE] = {};
        ChooseNameConversion(version)("\\DEVICE\\{A1}", name, sizeof name);
        EXPECT_EQ(CallLog(), c.expected);
        EXPECT_STREQ(name, "LAN");
    }
}

} // namespace
