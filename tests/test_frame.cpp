// Frame logic: builds both in the Windows tests and natively with sanitizers.
#include "filter/FrameLogic.h"
#include "tests/Frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kHeaderTtl1 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x01, 0x06,
                           0xba, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};
const Bytes kHeaderTtl5 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x05, 0x06,
                           0xb6, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};

// An IGMP membership report as it arrives: TTL 1 and a Router Alert option,
// a 24-byte header, before and after the rewrite with BadTTL 1 and NewTTL 5.
const Bytes kIgmpHeaderTtl1 = {0x46, 0xc0, 0x00, 0x20, 0x00, 0x00, 0x40, 0x00, 0x01, 0x02, 0x41, 0x6f,
                               0xc0, 0xa8, 0x01, 0x05, 0xe0, 0x00, 0x00, 0xfb, 0x94, 0x04, 0x00, 0x00};
const Bytes kIgmpHeaderTtl5 = {0x46, 0xc0, 0x00, 0x20, 0x00, 0x00, 0x40, 0x00, 0x05, 0x02, 0x3d, 0x6f,
                               0xc0, 0xa8, 0x01, 0x05, 0xe0, 0x00, 0x00, 0xfb, 0x94, 0x04, 0x00, 0x00};

// An IPv4 header with a checksum valid over its whole length, TTL `ttl` and
// `optionWords` words of options.
Bytes Ipv4Header(std::uint8_t ttl, int optionWords = 0) {
    Bytes h = kHeaderTtl1;
    h[0] = static_cast<std::uint8_t>(0x45 + optionWords);
    h[8] = ttl;
    for (int i = 0; i < optionWords * 4; ++i) h.push_back(static_cast<std::uint8_t>(0x11 * (i + 1)));
    h[10] = h[11] = 0;
    frame::WriteBigEndian16(&h[10], frame::IpHeaderChecksum(h.data(), h.size() / 2));
    return h;
}

Bytes WithPayload(Bytes header) {
    header.insert(header.end(), {0x80, 0x00, 0x12, 0x34, 0x00, 0x01, 0x00, 0x01});
    return header;
}

Bytes Shortened(Bytes b) {
    b.pop_back();
    return b;
}

Bytes WithHeaderLengthField(Bytes f, std::uint8_t ihl) {
    f[14] = static_cast<std::uint8_t>(0x40 | ihl);
    return f;
}

// Whether the first `headerBytes` bytes of the IP header verify.
bool ChecksumValid(const Bytes& f, std::size_t headerBytes) {
    return frame::IpHeaderChecksum(f.data() + 14, headerBytes / 2) == 0;
}

struct Row {
    const char* name;
    Bytes in;
    std::uint8_t badTtl, newTtl;
    frame::FrameKind kind;
    bool rewritten;
    int expectedTtl;  // -1: frame must leave unchanged
    std::size_t summedBytes = 20;  // the header bytes the new checksum covers; IPv6 has none
    frame::Ipv6Rule ipv6 = frame::Ipv6Rule::Pass;
};

constexpr auto kRewriteIpv6 = frame::Ipv6Rule::Rewrite;

TEST(FrameLogic, TableOfFramesAndSettings) {
    const Row rows[] = {
        {"header vector", Ethernet(0x0800, kHeaderTtl1), 1, 5, frame::FrameKind::Ipv4, true, 5},
        {"ttl equal to threshold", Ethernet(0x0800, Ipv4Header(10)), 10, 64, frame::FrameKind::Ipv4, true, 64},
        {"ttl threshold plus one", Ethernet(0x0800, Ipv4Header(11)), 10, 64, frame::FrameKind::Ipv4, false, -1},
        {"threshold 255 rewrites all", Ethernet(0x0800, Ipv4Header(255)), 255, 7, frame::FrameKind::Ipv4, true, 7},
        {"threshold 0 spares ttl 1", Ethernet(0x0800, Ipv4Header(1)), 0, 9, frame::FrameKind::Ipv4, false, -1},
        {"threshold 0 rewrites ttl 0", Ethernet(0x0800, Ipv4Header(0)), 0, 9, frame::FrameKind::Ipv4, true, 9},
        {"new ttl lower than old", Ethernet(0x0800, Ipv4Header(64)), 200, 5, frame::FrameKind::Ipv4, true, 5},
        {"options are summed", Ethernet(0x0800, Ipv4Header(1, 2)), 1, 5, frame::FrameKind::Ipv4, true, 5, 28},
        {"igmp with router alert", Ethernet(0x0800, kIgmpHeaderTtl1), 1, 5, frame::FrameKind::Ipv4, true, 5, 24},
        {"largest header", Ethernet(0x0800, Ipv4Header(0, 10)), 0, 64, frame::FrameKind::Ipv4, true, 64, 60},
        // The frame ends before the header the length field declares: only
        // what is surely there is summed.
        {"header past the frame's end", WithHeaderLengthField(Ethernet(0x0800, Ipv4Header(1)), 6), 1, 5,
         frame::FrameKind::Ipv4, true, 5, 20},
        {"header length field below 5", WithHeaderLengthField(Ethernet(0x0800, Ipv4Header(1, 1)), 2), 1, 5,
         frame::FrameKind::Ipv4, true, 5, 20},
        {"arp", Ethernet(0x0806, Ipv4Header(1)), 255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"ipv6", Ethernet(0x86DD, Ipv4Header(1)), 255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"vlan tagged ipv4", Ethernet(0x8100, Bytes{0x00, 0x05, 0x08, 0x00, 0x45, 0, 0, 20, 0, 0, 0, 0, 1, 6,
                                                    0, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
         255, 5, frame::FrameKind::NotIpv4, false, -1},
        {"too short for an ip header", Ethernet(0x0800, Bytes{0x45, 0, 0, 20, 0, 0, 0, 0, 1}), 255, 5,
         frame::FrameKind::TooShort, false, -1},
        {"shorter than ethernet", Bytes{1, 2, 3}, 255, 5, frame::FrameKind::TooShort, false, -1},
        {"ipv6 hop limit 0", Ethernet(0x86DD, Ipv6Header(0)), 1, 5, frame::FrameKind::Ipv6, true, 5, 0, kRewriteIpv6},
        {"ipv6 hop limit equal to threshold", Ethernet(0x86DD, Ipv6Header(1)), 1, 5, frame::FrameKind::Ipv6, true, 5,
         0, kRewriteIpv6},
        {"ipv6 hop limit threshold plus one", Ethernet(0x86DD, Ipv6Header(2)), 1, 5, frame::FrameKind::Ipv6, false,
         -1, 0, kRewriteIpv6},
        {"ipv6 hop limit 255", Ethernet(0x86DD, Ipv6Header(255)), 1, 5, frame::FrameKind::Ipv6, false, -1, 0,
         kRewriteIpv6},
        {"ipv6 threshold 255 with a payload", Ethernet(0x86DD, WithPayload(Ipv6Header(255))), 255, 64,
         frame::FrameKind::Ipv6, true, 64, 0, kRewriteIpv6},
        {"ipv6 one byte short of its header", Ethernet(0x86DD, Shortened(Ipv6Header(1))), 1, 5,
         frame::FrameKind::NotIpv4, false, -1, 0, kRewriteIpv6},
        {"ipv6 ethertype, version 4", Ethernet(0x86DD, Ipv6Header(1, 4)), 1, 5, frame::FrameKind::NotIpv4, false,
         -1, 0, kRewriteIpv6},
        {"ipv6 rule off", Ethernet(0x86DD, Ipv6Header(1)), 1, 5, frame::FrameKind::NotIpv4, false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes f = row.in;
        const frame::FrameVerdict v =
            frame::ProcessFrame(f.data(), f.size(), row.badTtl, row.newTtl, nullptr, row.ipv6);
        EXPECT_EQ(v.kind, row.kind);
        EXPECT_EQ(v.rewritten, row.rewritten);
        const bool ipv6 = row.kind == frame::FrameKind::Ipv6;
        const std::size_t ttlAt = ipv6 ? 14 + 7 : 14 + 8;
        if (row.kind == frame::FrameKind::Ipv4 || ipv6) {
            EXPECT_EQ(v.ttl, row.in[ttlAt]);
        }
        if (row.expectedTtl < 0) {
            EXPECT_EQ(f, row.in);
            continue;
        }
        EXPECT_EQ(f[ttlAt], row.expectedTtl);
        if (!ipv6) {
            EXPECT_TRUE(ChecksumValid(f, row.summedBytes));
        }
        // Nothing but the TTL and the IPv4 checksum changes, options included.
        Bytes masked = f, original = row.in;
        for (Bytes* b : {&masked, &original}) {
            (*b)[ttlAt] = 0;
            if (!ipv6) (*b)[14 + 10] = (*b)[14 + 11] = 0;
        }
        EXPECT_EQ(masked, original);
    }
}

// The rule for what the host sends, "SentTTL" 65, on IPv4 and IPv6 alike.
TEST(FrameLogic, SentRuleTable) {
    const Bytes ttl128 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x80, 0x06,
                          0x3b, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};
    const Bytes ttl65 = {0x45, 0x00, 0x00, 0x28, 0xab, 0xcd, 0x40, 0x00, 0x41, 0x06,
                         0x7a, 0x00, 0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02};
    Bytes broadcast = ttl128;
    std::fill(broadcast.begin() + 16, broadcast.end(), 0xff);
    // To 2000::1.
    auto unicast6 = [](std::uint8_t hop) { Bytes h = Ipv6Header(hop); h[24] = 0x20; return Ethernet(0x86DD, h); };
    const struct {
        const char* name;
        Bytes in, out;  // out empty: the frame leaves unchanged
    } rows[] = {
        {"unicast ttl 128", Ethernet(0x0800, ttl128), Ethernet(0x0800, ttl65)},
        {"ttl already 65", Ethernet(0x0800, ttl65), {}},
        {"header with options", Ethernet(0x0800, Ipv4Header(128, 1)), Ethernet(0x0800, Ipv4Header(65, 1))},
        {"multicast 224.0.0.251", Ethernet(0x0800, kIgmpHeaderTtl1), {}},
        {"limited broadcast", Ethernet(0x0800, broadcast), {}},
        {"ipv6 unicast hop limit 64", unicast6(64), unicast6(65)},
        {"ipv6 hop limit 255", unicast6(255), {}},
        {"ipv6 multicast", Ethernet(0x86DD, Ipv6Header(1)), {}},
        {"arp", Ethernet(0x0806, ttl128), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes f = row.in;
        EXPECT_EQ(frame::ProcessSentFrame(f.data(), f.size(), 65).rewritten, !row.out.empty());
        EXPECT_EQ(f, row.out.empty() ? row.in : row.out);
    }
}

TEST(FrameLogic, HeaderVectorsGoldenBytes) {
    const std::pair<Bytes, Bytes> vectors[] = {{kHeaderTtl1, kHeaderTtl5}, {kIgmpHeaderTtl1, kIgmpHeaderTtl5}};
    for (const auto& [in, out] : vectors) {
        Bytes f = Ethernet(0x0800, in);
        // The IGMP message after the header must not count.
        f.insert(f.end(), {0x16, 0x00, 0xfa, 0x04, 0xe0, 0x00, 0x00, 0xfb});
        frame::ProcessFrame(f.data(), f.size(), 1, 5);
        EXPECT_EQ(Bytes(f.begin() + 14, f.begin() + 14 + out.size()), out);
    }
}

// The worker traces an IPv4 frame before the rewrite: a trace that throws
// leaves the frame as received.
TEST(FrameLogic, ObserverHearsTheReceivedTtlBeforeTheRewrite) {
    struct Observer : frame::FrameObserver {
        void Ipv4Frame(std::uint8_t ttl) override {
            heard.push_back(ttl);
            if (fail) throw 1;
        }
        void Ipv6Frame(std::uint8_t) override { ADD_FAILURE(); }
        std::vector<int> heard;
        bool fail = false;
    } observer;
    Bytes arp = Ethernet(0x0806, Ipv4Header(1));
    frame::ProcessFrame(arp.data(), arp.size(), 1, 5, &observer);
    EXPECT_TRUE(observer.heard.empty());
    const Bytes in = Ethernet(0x0800, Ipv4Header(1));
    Bytes f = in;
    EXPECT_TRUE(frame::ProcessFrame(f.data(), f.size(), 1, 5, &observer).rewritten);
    observer.fail = true;
    f = in;
    EXPECT_ANY_THROW(frame::ProcessFrame(f.data(), f.size(), 1, 5, &observer));
    EXPECT_EQ(f, in);
    EXPECT_EQ(observer.heard, (std::vector<int>{1, 1}));
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
