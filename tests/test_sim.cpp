// The stand-in driver's own contract, on which the worker's tests rely.
#include "filter/DriverApi.h"
#include "sim/SimControl.h"
#include "tests/Frames.h"
#include "tests/HandleCount.h"
#include "tests/Pump.h"
#include "tests/SimRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const unsigned char kMac[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};

// A frame of IPv4's type filled with `tag`.
Bytes Frame(std::uint8_t tag, std::size_t length = 60) { return Ethernet(0x0800, Bytes(length - 14, tag)); }

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimReset();
        SimAddAdapter("\\DEVICE\\{A1}", "LAN adapter", kMac, 0, 1500);
        SimAddAdapter("\\DEVICE\\{B2}", "WAN", kMac, 11, 1400);
        driver = OpenFilterDriver(DRIVER_NAME_A);
        adapter = SimAdapterHandle(1);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        CloseFilterDriver(driver);
        CloseHandle(event);
    }
    BOOL SetMode(ULONG flags, HANDLE which = nullptr) {
        ADAPTER_MODE mode{which ? which : adapter, flags};
        return SetAdapterMode(driver, &mode);
    }
    BOOL Receive(const Bytes& f, ULONG position = 1) {
        return SimReceiveFrame(position, f.data(), static_cast<ULONG>(f.size()));
    }

    HANDLE driver = nullptr;
    HANDLE adapter = nullptr;
    HANDLE event = nullptr;
    INTERMEDIATE_BUFFER buffer{};
};

TEST_F(SimTest, QueuesOnlyInTunnelModeAndSignalsTheEvent) {
    ASSERT_TRUE(SetPacketEvent(driver, adapter, event));
    EXPECT_EQ(SimAdapterEvent(1), event);

    // Normal mode: straight to the stack, nothing queued, no signal.
    EXPECT_FALSE(Receive(Frame(1)));
    EXPECT_EQ(SimQueueLength(1), 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(StackFrame(1, 0), Frame(1));

    ASSERT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    EXPECT_EQ(SimAdapterMode(1), 2u);
    EXPECT_TRUE(Receive(Frame(2, MAX_ETHER_FRAME)));
    EXPECT_TRUE(Receive(Frame(3)));
    EXPECT_FALSE(Receive(Frame(4, MAX_ETHER_FRAME + 1)));  // no adapter receives that
    EXPECT_EQ(SimQueueLength(1), 2u);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(SimStackTotal(1), 1u);
    EXPECT_EQ(SimQueueLength(2), 0u);

    ETH_REQUEST request{adapter, &buffer};
    ASSERT_TRUE(ReadPacket(driver, &request));
    EXPECT_EQ(buffer.m_Length, static_cast<ULONG>(MAX_ETHER_FRAME));
    EXPECT_EQ(Bytes(buffer.m_IBuffer, buffer.m_IBuffer + buffer.m_Length), Frame(2, MAX_ETHER_FRAME));

    // The stack gets the buffer's first m_Length bytes, as edited.
    buffer.m_IBuffer[0] = 0xEE;
    buffer.m_Length = 20;
    EXPECT_TRUE(SendPacketToMstcp(driver, &request));
    Bytes sent = Frame(2, 20);
    sent[0] = 0xEE;
    EXPECT_EQ(StackFrame(1, 1), sent);

    // Leaving tunnel mode hands what is still queued on to the stack.
    ASSERT_TRUE(SetMode(0));
    EXPECT_EQ(SimQueueLength(1), 0u);
    EXPECT_EQ(SimStackTotal(1), 3u);
    EXPECT_EQ(StackFrame(1, 2), Frame(3));
    EXPECT_FALSE(ReadPacket(driver, &request));
}

TEST_F(SimTest, QueueAndStackRecordAreBounded) {
    ASSERT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    const Bytes f = Frame(7);
    for (int i = 0; i < 8192; ++i) ASSERT_TRUE(Receive(f));
    EXPECT_FALSE(Receive(f));
    EXPECT_EQ(SimQueueLength(1), 8192u);
    EXPECT_EQ(SimDroppedFrames(1), 1u);

    ETH_REQUEST request{adapter, &buffer};
    for (std::uint32_t i = 0; i < 5000; ++i) {
        ASSERT_TRUE(ReadPacket(driver, &request));
        std::memcpy(buffer.m_IBuffer, &i, sizeof i);
        SendPacketToMstcp(driver, &request);
    }
    EXPECT_EQ(SimStackTotal(1), 5000u);
    std::uint32_t oldest = 0;
    ASSERT_EQ(SimStackFrame(1, 0, &oldest, sizeof oldest), 60u);
    EXPECT_EQ(oldest, 5000u - 4096u);
    EXPECT_EQ(SimStackFrame(1, 4096, buffer.m_IBuffer, MAX_ETHER_FRAME), 0u);
    SimClearStack(1);
    EXPECT_EQ(SimStackTotal(1), 0u);
}

TEST_F(SimTest, AdapterListNamesAndCountOverride) {
    TCP_AdapterList list;
    std::memset(&list, 0xCC, sizeof list);
    ASSERT_TRUE(GetTcpipBoundAdaptersInfo(driver, &list));
    EXPECT_EQ(list.m_nAdapterCount, 2u);
    EXPECT_STREQ(reinterpret_cast<char*>(list.m_szAdapterNameList[1]), "\\DEVICE\\{B2}");
    EXPECT_EQ(list.m_nAdapterHandle[0], SimAdapterHandle(1));
    EXPECT_NE(list.m_nAdapterHandle[0], list.m_nAdapterHandle[1]);
    EXPECT_NE(list.m_nAdapterHandle[1], nullptr);
    EXPECT_EQ(list.m_nAdapterMediumList[1], 11u);
    EXPECT_EQ(std::memcmp(list.m_czCurrentAddress[0], kMac, 6), 0);
    EXPECT_EQ(list.m_usMTU[1], 1400);
    EXPECT_EQ(list.m_nAdapterHandle[2], nullptr);
    EXPECT_EQ(list.m_szAdapterNameList[31][0], 0);

    SimOverrideAdapterCount(40);
    GetTcpipBoundAdaptersInfo(driver, &list);
    EXPECT_EQ(list.m_nAdapterCount, 40u);
    EXPECT_EQ(list.m_usMTU[2], 0);
    SimOverrideAdapterCount(0xFFFFFFFF);
    GetTcpipBoundAdaptersInfo(driver, &list);
    EXPECT_EQ(list.m_nAdapterCount, 2u);

    using Convert = BOOL(__stdcall*)(const char*, char*, DWORD);
    for (Convert convert : {ConvertWindowsNTAdapterName, ConvertWindows2000AdapterName, ConvertWindows9xAdapterName}) {
        char name[ADAPTER_DISPLAY_NAME_SIZE];
        EXPECT_TRUE(convert("\\DEVICE\\{A1}", name, sizeof name));
        EXPECT_STREQ(name, "LAN adapter");
        EXPECT_TRUE(convert("\\DEVICE\\{A1}", name, 4));
        EXPECT_STREQ(name, "LAN");
        EXPECT_FALSE(convert("\\DEVICE\\{none}", name, sizeof name));
        EXPECT_STREQ(name, "");
    }
}

TEST_F(SimTest, InsertedRemovedAndRestoredAdaptersShiftTheList) {
    auto listed = [&] {
        TCP_AdapterList list{};
        GetTcpipBoundAdaptersInfo(driver, &list);
        std::string names;
        for (ULONG i = 0; i < list.m_nAdapterCount; ++i)
            names += reinterpret_cast<char*>(list.m_szAdapterNameList[i]) + std::string(" ");
        return names;
    };
    EXPECT_EQ(SimInsertAdapter(1, "\\DEVICE\\{VPN}", "VPN", kMac, 0, 1400), 1u);
    EXPECT_EQ(listed(), "\\DEVICE\\{VPN} \\DEVICE\\{A1} \\DEVICE\\{B2} ");
    EXPECT_EQ(SimAdapterHandle(2), adapter);
    ASSERT_TRUE(SetPacketEvent(driver, adapter, event));
    ASSERT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    ASSERT_TRUE(Receive(Frame(1), 2));

    // Unplugged: out of the list; its binding and queue go with it.
    SimRemoveAdapter(2);
    EXPECT_EQ(listed(), "\\DEVICE\\{VPN} \\DEVICE\\{B2} ");
    EXPECT_EQ(SimAdapterHandle(2), nullptr);
    EXPECT_EQ(SimAdapterMode(2), 0u);
    EXPECT_EQ(SimAdapterEvent(2), nullptr);
    EXPECT_EQ(SimQueueLength(2), 0u);
    EXPECT_FALSE(Receive(Frame(2), 2));
    // Its old handle fails every operation, each still recorded.
    const std::string before = CallLog();
    EXPECT_FALSE(SetMode(0));
    EXPECT_FALSE(SetPacketEvent(driver, adapter, nullptr));
    EXPECT_EQ(CallLog(), before + " SetAdapterMode SetPacketEvent");

    // Plugged back at its place, under its name, with a new handle.
    SimRestoreAdapter(2);
    EXPECT_EQ(listed(), "\\DEVICE\\{VPN} \\DEVICE\\{A1} \\DEVICE\\{B2} ");
    const HANDLE renewed = SimAdapterHandle(2);
    EXPECT_NE(renewed, nullptr);
    EXPECT_NE(renewed, adapter);
    EXPECT_FALSE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    EXPECT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL, renewed));
    EXPECT_EQ(SimAdapterMode(2), MSTCP_FLAG_RECV_TUNNEL);
    SetMode(0, renewed);
}

TEST_F(SimTest, DefaultStateHasThreeAdapters) {
    SimLoadDefaults();
    TCP_AdapterList list{};
    GetTcpipBoundAdaptersInfo(driver, &list);
    SimReset();
    ASSERT_EQ(list.m_nAdapterCount, 3u);
    EXPECT_EQ(std::memcmp(list.m_czCurrentAddress[0], kMac, 6), 0);
    EXPECT_EQ(list.m_nAdapterMediumList[0], 0u);
    EXPECT_EQ(list.m_usMTU[0], 1500);
    EXPECT_EQ(list.m_nAdapterMediumList[2], 11u);
    char name[ADAPTER_DISPLAY_NAME_SIZE];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::strncmp(reinterpret_cast<char*>(list.m_szAdapterNameList[i]), "\\DEVICE\\{", 9), 0);
    }
    EXPECT_FALSE(ConvertWindows2000AdapterName(reinterpret_cast<char*>(list.m_szAdapterNameList[0]), name,
                                               sizeof name));  // gone after the reset
}

TEST_F(SimTest, RefusalsAndUnknownHandles) {
    struct Row {
        const char* name;
        std::function<void()> arrange;
        HANDLE adapterHandle;
        bool eventAccepted, tunnelAccepted, normalAccepted;
    };
    const HANDLE unknown = reinterpret_cast<HANDLE>(0x1234);
    const Row rows[] = {
        {"nothing refused", [] {}, adapter, true, true, true},
        {"unknown adapter", [] {}, unknown, false, false, false},
        {"event refused", [] { SimRefuseSetPacketEvent(TRUE); }, adapter, false, true, true},
        {"tunnel refused", [] { SimRefuseSetAdapterMode(TRUE); }, adapter, true, false, true},
        {"resets refused", [] { SimRefuseResets(SIM_EVERY); }, adapter, true, true, false},
        {"driver missing", [] { SimSetDriverLoaded(FALSE); }, adapter, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimRefuseSetPacketEvent(FALSE);
        SimRefuseSetAdapterMode(FALSE);
        SimSetDriverLoaded(TRUE);
        SimRefuseResets(0);
        row.arrange();
        EXPECT_EQ(SetPacketEvent(driver, row.adapterHandle, event) != FALSE, row.eventAccepted);
        EXPECT_EQ(SetMode(MSTCP_FLAG_RECV_TUNNEL, row.adapterHandle) != FALSE, row.tunnelAccepted);
        EXPECT_EQ(SetMode(0, row.adapterHandle) != FALSE, row.normalAccepted);
        EXPECT_EQ(SimAdapterMode(1), row.normalAccepted ? 0u : row.tunnelAccepted ? 2u : 0u);
        SimRefuseResets(0);
        SetMode(0);
        SetPacketEvent(driver, adapter, nullptr);
    }
    SimSetDriverLoaded(FALSE);
    EXPECT_FALSE(IsDriverLoaded(driver));
    SimSetDriverLoaded(TRUE);
    EXPECT_TRUE(IsDriverLoaded(driver));

    // A closed handle is no longer accepted; every open one is distinct.
    const ULONG open = SimOpenHandles();
    HANDLE second = OpenFilterDriver(DRIVER_NAME_A);
    EXPECT_NE(second, driver);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(SimOpenHandles(), open + 1);
    CloseFilterDriver(second);
    EXPECT_EQ(SimOpenHandles(), open);
    EXPECT_FALSE(IsDriverLoaded(second));
}

// Through the given handle only, and the same again for the same seed.
TEST_F(SimTest, RandomRefusalsFollowTheSeedOnOneHandle) {
    const HANDLE other = OpenFilterDriver(DRIVER_NAME_A);
    auto pattern = [](HANDLE through) {
        std::string seen;
        TCP_AdapterList list;
        for (int i = 0; i < 60; ++i) seen += GetTcpipBoundAdaptersInfo(through, &list) ? '.' : 'x';
        return seen;
    };
    SimRefuseAtRandom(driver, 4, 7);
    const std::string first = pattern(driver);
    EXPECT_EQ(pattern(other), std::string(60, '.'));
    EXPECT_EQ(SimRefuseAtRandom(driver, 4, 7), static_cast<ULONG>(std::count(first.begin(), first.end(), 'x')));
    EXPECT_EQ(pattern(driver), first);
    EXPECT_GT(std::count(first.begin(), first.end(), 'x'), 5);
    EXPECT_LT(std::count(first.begin(), first.end(), 'x'), 25);
    CloseFilterDriver(other);
}

TEST_F(SimTest, CallLogLeavesOutEmptyReadsAndResetClearsIt) {
    SimReset();
    SimAddAdapter("\\DEVICE\\{A1}", "LAN", kMac, 0, 1500);
    adapter = SimAdapterHandle(1);
    ETH_REQUEST request{adapter, &buffer};
    ASSERT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    EXPECT_FALSE(ReadPacket(driver, &request));
    Receive(Frame(1));
    EXPECT_TRUE(ReadPacket(driver, &request));
    SendPacketToMstcp(driver, &request);
    EXPECT_FALSE(ReadPacket(driver, &request));
    EXPECT_EQ(CallLog(), "SetAdapterMode ReadPacket SendPacketToMstcp");
    EXPECT_EQ(SimCallCount("ReadPacket"), 3u);
    EXPECT_EQ(SimCallCount("SendPacketToMstcp"), 1u);
    EXPECT_EQ(SimCallCount("NoSuchOperation"), 0u);

    char small[8];
    EXPECT_EQ(SimCallLog(small, sizeof small), CallLog().size());
    EXPECT_STREQ(small, "SetAdap");

    SimReset();
    EXPECT_EQ(CallLog(), "");
    EXPECT_EQ(SimCallCount("ReadPacket"), 0u);
    EXPECT_TRUE(IsDriverLoaded(driver));  // open handles survive a reset
}

TEST_F(SimTest, TrickleFeedsTunnelAdaptersWithValidIpv4Headers) {
    ASSERT_TRUE(SetPacketEvent(driver, adapter, event));
    ASSERT_TRUE(SetMode(MSTCP_FLAG_RECV_TUNNEL));
    const ULONG threads = OwnThreadCount();
    SimSetTrickle(400);
    WaitUntil([] { return SimQueueLength(1) >= 20; }, 5000);
    SimSetTrickle(0);
    const ULONG queued = SimQueueLength(1);
    ASSERT_GE(queued, 20u);
    EXPECT_EQ(SimQueueLength(2), 0u);  // not in tunnel mode
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    // Stopped: the feeding thread has ended, so nothing more can be queued.
    EXPECT_EQ(OwnThreadCount(), threads);
    EXPECT_EQ(SimQueueLength(1), queued);

    ETH_REQUEST request{adapter, &buffer};
    std::vector<int> ttls;
    std::vector<unsigned> etherTypes;
    while (ReadPacket(driver, &request)) {
        const std::uint8_t* f = buffer.m_IBuffer;
        const unsigned etherType = (f[12] << 8) | f[13];
        etherTypes.push_back(etherType);
        if (etherType != 0x0800) continue;
        ttls.push_back(f[22]);
        EXPECT_EQ(std::memcmp(f, kMac, 6), 0);
        std::uint32_t sum = 0;
        for (int i = 0; i < 20; i += 2) sum += (f[14 + i] << 8) | f[15 + i];
        while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
        EXPECT_EQ(sum, 0xFFFFu) << "header checksum";
    }
    for (int ttl : {0, 1, 64, 128}) EXPECT_NE(std::find(ttls.begin(), ttls.end(), ttl), ttls.end()) << ttl;
    for (unsigned type : {0x0806u, 0x86DDu, 0x8100u}) {
        EXPECT_NE(std::find(etherTypes.begin(), etherTypes.end(), type), etherTypes.end()) << type;
    }
}

} // namespace
