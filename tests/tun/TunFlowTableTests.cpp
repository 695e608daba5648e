#include <gtest/gtest.h>

#include "FlowTable.h"
#include "Packet.h"

namespace ferrow::tun {
namespace {

using std::chrono::seconds;
const auto kStart = FlowTable::Clock::now();

FlowEndpoints flow(std::uint16_t sourcePort, bool v6 = false)
{
    return {*core::IpAddr::parse(v6 ? "fdfe:dcba:9876::1" : "172.19.0.1"), sourcePort,
            *core::IpAddr::parse(v6 ? "2001:db8::1" : "203.0.113.1"), 80};
}

TcpSegment segment(std::uint8_t flags, std::uint32_t sequence = 0, std::uint32_t acknowledged = 0)
{
    return {flags, sequence, acknowledged, 0};
}

const TcpSegment kSyn = segment(kTcpSyn);
const TcpSegment kAck = segment(kTcpAck);

void expire(FlowTable& table, FlowTable::Clock::duration after)
{
    table.expire(kStart + after, std::chrono::hours(2), seconds(60), seconds(30));
}

/// An open flow: SYN out, the listener's SYN-ACK back.
FlowSlot open(FlowTable& table, std::uint16_t sourcePort, bool v6 = false)
{
    const auto slot = table.outbound(flow(sourcePort, v6), kSyn, kStart);
    EXPECT_TRUE(slot);
    table.inbound(v6, slot.value_or(FlowSlot{}), segment(kTcpSyn | kTcpAck), kStart);
    return slot.value_or(FlowSlot{});
}

/// The listener closes first, so its socket waits out TIME_WAIT.
void finish(FlowTable& table, std::uint16_t sourcePort, FlowSlot slot, FlowTable::Clock::time_point at)
{
    table.inbound(false, slot, segment(kTcpFin | kTcpAck, 500, 100), at);
    table.outbound(flow(sourcePort), segment(kTcpFin | kTcpAck, 100, 501), at);
    table.inbound(false, slot, segment(kTcpAck, 501, 101), at);
}

TEST(TunFlowTable, SlotsRepliesAndExpiry)
{
    FlowTable table(2, 20000, 20001);
    EXPECT_EQ(table.capacity(), 4u);
    EXPECT_FALSE(table.outbound(flow(1000), kAck, kStart)) << "an unknown flow's segment opens nothing";
    const auto a = open(table, 1000);
    const auto b = table.outbound(flow(1001), kSyn, kStart);
    ASSERT_TRUE(b);
    EXPECT_FALSE(a == *b);
    EXPECT_EQ(table.outbound(flow(1000), kAck, kStart), a);
    EXPECT_EQ(table.outbound(flow(1001), kSyn, kStart), b) << "a repeated SYN keeps its slot";
    EXPECT_EQ(table.inbound(false, a, kAck, kStart)->sourcePort, 1000);
    EXPECT_FALSE(table.original(true, a)) << "families do not mix";
    EXPECT_FALSE(table.original(false, {2, 20000})) << "no such lane";
    // Unanswered flows go after their short time-out, answered ones stay.
    expire(table, seconds(31));
    EXPECT_TRUE(table.original(false, a));
    EXPECT_FALSE(table.original(false, *b));
    EXPECT_EQ(table.size(), 1u);
}

TEST(TunFlowTable, SlotsComeBackOnceTheListenersSocketIsGone)
{
    FlowTable table(1, 20000, 20009);
    // The client closes first, the listener second: its socket ends when its FIN is acknowledged,
    // here across the sequence numbers' wrap.
    auto slot = open(table, 1000);
    table.outbound(flow(1000), segment(kTcpFin | kTcpAck, 0xfffffffe, 1), kStart);
    table.inbound(false, slot, segment(kTcpFin | kTcpAck, 0xffffffff, 0xffffffff), kStart);
    table.outbound(flow(1000), segment(kTcpAck, 0xffffffff, 0xffffffff), kStart);
    EXPECT_EQ(table.size(), 1u) << "an acknowledgement short of the FIN";
    table.outbound(flow(1000), segment(kTcpAck, 0xffffffff, 0), kStart);
    EXPECT_EQ(table.size(), 0u);
    EXPECT_FALSE(table.original(false, slot));

    // Both FINs crossed: the listener's socket is in TIME_WAIT, held for the closed time-out.
    slot = open(table, 1001);
    table.outbound(flow(1001), segment(kTcpFin | kTcpAck, 100, 500), kStart);
    table.inbound(false, slot, segment(kTcpFin | kTcpAck, 500, 100), kStart);
    table.outbound(flow(1001), segment(kTcpAck, 101, 501), kStart);
    EXPECT_EQ(table.size(), 1u);
    expire(table, seconds(59));
    EXPECT_EQ(table.size(), 1u);
    expire(table, seconds(61));
    EXPECT_EQ(table.size(), 0u);

    // A reset from either side ends both sockets.
    const auto reset = open(table, 1002);
    open(table, 1003);
    table.inbound(false, reset, segment(kTcpRst), kStart);
    table.outbound(flow(1003), segment(kTcpRst | kTcpAck), kStart);
    EXPECT_EQ(table.size(), 0u);
    EXPECT_FALSE(table.outbound(flow(1002), kAck, kStart));
}

TEST(TunFlowTable, AFullTableEvictsTheOldestFinishedFlowAndNeverAnOpenOne)
{
    FlowTable table(1, 20000, 20003);
    open(table, 1000);                         // open
    const auto halfClosed = open(table, 1001); // one FIN
    table.outbound(flow(1001), segment(kTcpFin | kTcpAck, 100, 1), kStart);
    const auto older = open(table, 1002);
    const auto newer = open(table, 1003);
    finish(table, 1002, older, kStart + seconds(1));
    finish(table, 1003, newer, kStart + seconds(2));

    const auto first = table.outbound(flow(2000), kSyn, kStart + seconds(3));
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, older);
    EXPECT_EQ(table.original(false, older)->sourcePort, 2000);
    const auto second = table.outbound(flow(2001), kSyn, kStart + seconds(3));
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, newer);
    EXPECT_FALSE(table.outbound(flow(2002), kSyn, kStart + seconds(3)));
    EXPECT_EQ(table.original(false, halfClosed)->sourcePort, 1001)
        << "a half-closed flow may still carry data";
    EXPECT_EQ(table.size(), 4u);
}

TEST(TunFlowTable, ARefusedEpisodeIsReportedOnce)
{
    std::vector<std::pair<bool, std::string>> reports;
    FlowTable table(1, 20000, 20015, [&reports](bool refusing, const std::string& text) {
        reports.emplace_back(refusing, text);
    });
    std::vector<FlowSlot> slots;
    for (std::uint16_t port = 1000; port < 1016; ++port) {
        slots.push_back(open(table, port));
    }
    open(table, 1000, true); // the other family has room of its own
    for (std::uint16_t port = 2000; port < 2010; ++port) {
        EXPECT_FALSE(table.outbound(flow(port), kSyn, kStart));
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].first);
    EXPECT_NE(reports[0].second.find("IPv4"), std::string::npos) << reports[0].second;

    // One slot freed and taken again does not end the episode: the next refusal says nothing.
    table.inbound(false, slots[0], segment(kTcpRst), kStart);
    EXPECT_TRUE(table.outbound(flow(3000), kSyn, kStart));
    EXPECT_FALSE(table.outbound(flow(3001), kSyn, kStart));
    EXPECT_EQ(reports.size(), 1u);

    // Room for a burst ends it, and the next shortage is a new episode.
    for (int i = 1; i < 3; ++i) {
        table.inbound(false, slots[i], segment(kTcpRst), kStart);
    }
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[1].first);
    EXPECT_NE(reports[1].second.find("11 new connections were refused"), std::string::npos)
        << reports[1].second;
    for (std::uint16_t port = 4000; port < 4003; ++port) {
        table.outbound(flow(port), kSyn, kStart);
    }
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(reports[2].first);
}

TEST(TunFlowTable, ANewConnectionOnAFinishedFourTupleGetsASlotOfItsOwn)
{
    FlowTable table(1, 20000, 20009);
    const auto old = open(table, 1000);
    finish(table, 1000, old, kStart);
    const auto fresh = table.outbound(flow(1000), kSyn, kStart);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(*fresh == old) << "the old slot's socket may still wait out TIME_WAIT";
    table.inbound(false, *fresh, segment(kTcpSyn | kTcpAck), kStart);
    EXPECT_EQ(table.outbound(flow(1000), kAck, kStart), fresh);
    expire(table, seconds(61));
    EXPECT_FALSE(table.original(false, old));
    EXPECT_EQ(table.size(), 1u) << "the new connection outlives the old one's slot";
}

} // namespace
} // namespace ferrow::tun
