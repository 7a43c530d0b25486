// Frame logic: builds both in the Windows tests and natively with sanitizers.
#include "filter/FrameLogic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kHeaderTtl1 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x01, 0x06,
                           0xba, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};
const Bytes kHeaderTtl5 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x05, 0x06,
                           0xb6, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};

Bytes Ethernet(std::uint16_t etherType, const Bytes& payload) {
    Bytes f = {0x00, 0x0c, 0x29, 0xab, 0x01, 0xff, 0x00, 0x50, 0x56, 0xc0, 0x00, 0x08,
               static_cast<std::uint8_t>(etherType >> 8), static_cast<std::uint8_t>(etherType)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// An IPv4 header with a valid checksum, TTL `ttl` and `optionWords` words of options.
Bytes Ipv4Header(std::uint8_t ttl, int optionWords = 0) {
    Bytes h = kHeaderTtl1;
    h[0] = static_cast<std::uint8_t>(0x45 + optionWords);
    h[8] = ttl;
    for (int i = 0; i < optionWords * 4; ++i) h.push_back(static_cast<std::uint8_t>(0x11 * (i + 1)));
    h[10] = h[11] = 0;
    frame::WriteBigEndian16(&h[10], frame::IpHeaderChecksum(h.data(), 10));
    return h;
}

bool ChecksumValid(const Bytes& f) { return frame::IpHeaderChecksum(f.data() + 14, 10) == 0; }

struct Row {
    const char* name;
    Bytes in;
    std::uint8_t badTtl, newTtl;
    frame::FrameKind kind;
    bool rewritten;
    int expectedTtl;  // -1: frame must leave unchanged
};

TEST(FrameLogic, TableOfFramesAndSettings) {
    const Row rows[] = {
        {"header vector", Ethernet(0x0800, kHeaderTtl1), 1, 5, frame::FrameKind::Ipv4, true, 5},
        {"ttl equal to threshold", Ethernet(0x0800, Ipv4Header(10)), 10, 64, frame::FrameKind::Ipv4, true, 64},
        {"ttl threshold plus one", Ethernet(0x0800, Ipv4Header(11)), 10, 64, frame::FrameKind::Ipv4, false, -1},
        {"threshold 255 rewrites all", Ethernet(0x0800, Ipv4Header(255)), 255, 7, frame::FrameKind::Ipv4, true, 7},
        {"threshold 0 spares ttl 1", Ethernet(0x0800, Ipv4Header(1)), 0, 9, frame::FrameKind::Ipv4, false, -1},
        {"threshold 0 rewrites ttl 0", Ethernet(0x0800, Ipv4Header(0)), 0, 9, frame::FrameKind::Ipv4, true, 9},
        {"new ttl lower than old", Ethernet(0x0800, Ipv4Header(64)), 200, 5, frame::FrameKind::Ipv4, true, 5},
        {"options are not summed", Ethernet(0x0800, Ipv4Header(1, 2)), 1, 5, frame::FrameKind::Ipv4, true, 5},
        {"arp", Ethernet(0x0806, Ipv4Header(1)), 255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"ipv6", Ethernet(0x86DD, Ipv4Header(1)), 255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"vlan tagged ipv4", Ethernet(0x8100, Bytes{0x00, 0x05, 0x08, 0x00, 0x45, 0, 0, 20, 0, 0, 0, 0, 1, 6,
                                                    0, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
         255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"too short for an ip header", Ethernet(0x0800, Bytes{0x45, 0, 0, 20, 0, 0, 0, 0, 1}), 255, 5,
         frame::FrameKind::TooShort, false, -1},
        {"shorter than ethernet", Bytes{1, 2, 3}, 255, 5, frame::FrameKind::TooShort, false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes f = row.in;
        const frame::FrameVerdict v = frame::ProcessFrame(f.data(), f.size(), row.badTtl, row.newTtl);
        EXPECT_EQ(v.kind, row.kind);
        EXPECT_EQ(v.rewritten, row.rewritten);
        if (row.kind == frame::FrameKind::Ipv4) {
            EXPECT_EQ(v.ttl, row.in[14 + 8]);
        }
        if (row.expectedTtl < 0) {
            EXPECT_EQ(f, row.in);
            continue;
        }
        EXPECT_EQ(f[14 + 8], row.expectedTtl);
        EXPECT_TRUE(ChecksumValid(f));
        // Nothing but the TTL and the checksum changes, options included.
        Bytes masked = f, original = row.in;
        for (Bytes* b : {&masked, &original}) (*b)[14 + 8] = (*b)[14 + 10] = (*b)[14 + 11] = 0;
        EXPECT_EQ(masked, original);
    }
}

TEST(FrameLogic, HeaderVectorGoldenBytes) {
    Bytes f = Ethernet(0x0800, kHeaderTtl1);
    frame::ProcessFrame(f.data(), f.size(), 1, 5);
    EXPECT_EQ(Bytes(f.begin() + 14, f.end()), kHeaderTtl5);
}

TEST(FrameLogic, RewriteToSameValueRecomputesChecksum) {
    Bytes valid = Ethernet(0x0800, Ipv4Header(3));
    Bytes f = valid;
    EXPECT_TRUE(frame::ProcessFrame(f.data(), f.size(), 3, 3).rewritten);
    EXPECT_EQ(f, valid);

    Bytes broken = valid;
    broken[14 + 10] ^= 0x5a;
    frame::ProcessFrame(broken.data(), broken.size(), 3, 3);
    EXPECT_EQ(broken, valid);
}

TEST(FrameLogic, ChecksumFoldsCarriesRepeatedly) {
    // 0xFFFF * 10 folds to 0xFFFF after more than one pass; its complement is 0.
    const Bytes ones(20, 0xFF);
    EXPECT_EQ(frame::IpHeaderChecksum(ones.data(), 10), 0x0000);
    const Bytes zeros(20, 0x00);
    EXPECT_EQ(frame::IpHeaderChecksum(zeros.data(), 10), 0xFFFF);
}

} // namespace
