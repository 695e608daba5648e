// Logs, events, connection history, statistics, hosts file and the /proc socket table.

#include "ConnectionRegistry.h"
#include "EventLog.h"
#include "HostsFile.h"
#include "LogStream.h"
#include "ProcessFinder.h"
#include "TrafficStatistics.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

using namespace ferrow::core;

TEST(LogStream, CursorSemantics)
{
    LogStream log(3, false);
    EXPECT_TRUE(log.since(-1).lines.empty());
    EXPECT_EQ(log.since(-1).cursor, 0);
    log.info("one");
    log.warning("two");
    auto all = log.since(-1);
    ASSERT_EQ(all.lines.size(), 2u);
    EXPECT_NE(all.lines[0].find("[info] one"), std::string::npos);
    EXPECT_NE(all.lines[1].find("[warning] two"), std::string::npos);
    EXPECT_EQ(all.cursor, 2);
    EXPECT_TRUE(log.since(2).lines.empty());
    log.error("three\nwith a break");
    log.info("four");
    const auto after = log.since(2);
    ASSERT_EQ(after.lines.size(), 2u);
    EXPECT_NE(after.lines[0].find("three with a break"), std::string::npos) << "one entry stays one line";
    EXPECT_EQ(after.cursor, 4);
    const auto trimmed = log.since(0);
    EXPECT_EQ(trimmed.lines.size(), 3u) << "lines pushed out are gone; the rest are returned";
    EXPECT_EQ(log.since(100).lines.size(), 3u) << "a cursor of another instance gets everything";
    log.setCapacity(1);
    EXPECT_EQ(log.since(-1).lines.size(), 1u);
    log.setCapacity(0);
    log.info("five");
    EXPECT_TRUE(log.since(-1).lines.empty());
    EXPECT_EQ(log.since(-1).cursor, 5);
}

TEST(EventLog, CursorAndCap)
{
    EventLog events;
    events.add("t1", "m1");
    events.add("t2", "m2");
    EXPECT_EQ(events.since(0).size(), 2u);
    EXPECT_EQ(events.since(1).size(), 1u);
    EXPECT_EQ(events.since(1)[0].title, "t2");
    EXPECT_TRUE(events.since(2).empty());
    EXPECT_EQ(events.since(50).size(), 2u);
    for (int i = 0; i < 500; ++i) {
        events.add("t", "m");
    }
    EXPECT_EQ(events.since(0).size(), 200u);
    EXPECT_EQ(events.lastNumber(), 502);
}

TEST(ConnectionRegistry, HistoryCapAndJson)
{
    ConnectionRegistry registry(2);
    std::vector<std::shared_ptr<ConnectionRecord>> records;
    for (int i = 0; i < 4; ++i) {
        records.push_back(registry.open());
        records.back()->host = "h" + std::to_string(i);
    }
    EXPECT_EQ(registry.openCount(), 4u);
    for (int i = 0; i < 3; ++i) {
        registry.close(records[static_cast<std::size_t>(i)]);
    }
    registry.close(records[0]); // twice is harmless
    EXPECT_EQ(registry.closedCount(), 2u);
    const auto json = registry.toJson();
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["host"], "h3");
    EXPECT_EQ(json[0]["closed"], false);
    EXPECT_EQ(json[1]["host"], "h1");
    EXPECT_EQ(json[2]["host"], "h2");
    int lookups = 0;
    registry.fillProcesses([&](const ConnectionRecord&) {
        ++lookups;
        return std::string("app");
    });
    registry.fillProcesses([&](const ConnectionRecord&) {
        ++lookups;
        return std::string("again");
    });
    EXPECT_EQ(lookups, 1) << "each open connection is looked up once";
    EXPECT_EQ(registry.toJson()[0]["process"], "app");
    registry.setHistoryCap(0);
    EXPECT_EQ(registry.closedCount(), 0u);
}

TEST(TrafficStatistics, PeriodsRollOverAndSurviveSaving)
{
    const auto path = std::filesystem::temp_directory_path() / ("ferrow-stats-" + std::to_string(::getpid()));
    std::tm noon{};
    noon.tm_year = 126;
    noon.tm_mon = 4;
    noon.tm_mday = 10;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    const std::time_t day1 = std::mktime(&noon);
    {
        TrafficStatistics stats(path.string());
        std::string error;
        EXPECT_FALSE(stats.load(&error));
        stats.add(100, 1000, day1);
        stats.add(1, 2, day1 + 3600);
        const auto json = stats.toJson(day1 + 3600);
        EXPECT_EQ(json["today"]["up"], 101);
        EXPECT_EQ(json["month"]["down"], 1002);
        EXPECT_EQ(json["hourly"][12]["down"], 1000);
        EXPECT_EQ(json["hourly"][13]["up"], 1);
        ASSERT_TRUE(stats.save(&error)) << error;
    }
    TrafficStatistics reread(path.string());
    ASSERT_TRUE(reread.load());
    const auto nextDay = reread.toJson(day1 + 86400);
    EXPECT_EQ(nextDay["today"]["up"], 0) << "yesterday is not today";
    EXPECT_EQ(nextDay["month"]["up"], 101);
    EXPECT_EQ(nextDay["total"]["down"], 1002);
    reread.add(5, 5, day1 + 86400);
    EXPECT_EQ(reread.toJson(day1 + 86400)["hourly"][12]["up"], 5);
    EXPECT_EQ(reread.toJson(day1 + 40 * 86400)["month"]["up"], 0);
    std::ofstream(path) << "[1,2,3]";
    TrafficStatistics broken(path.string());
    EXPECT_FALSE(broken.load());
    EXPECT_EQ(broken.toJson(day1)["total"]["up"], 0);
    std::filesystem::remove(path);
}

TEST(HostsFile, NamesAndComments)
{
    const auto hosts = HostsFile::parse("127.0.0.1 localhost Local.Test # comment\n# 10.0.0.1 hidden\n"
                                        "::1 localhost ip6-localhost\nnot-an-address name\n");
    ASSERT_TRUE(hosts.find("localhost"));
    EXPECT_EQ(hosts.find("localhost")->size(), 2u);
    ASSERT_TRUE(hosts.find("local.test"));
    EXPECT_FALSE(hosts.find("hidden"));
    EXPECT_FALSE(hosts.find("name"));
}

TEST(ProcessFinder, SocketTableLookup)
{
    const std::string v4Table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 111 1\n"
        "   1: 0100007F:C350 0100007F:1ED3 01 00000000:00000000 00:00000000 00000000  1000        0 4242 1\n";
    EXPECT_EQ(ProcessFinder::findSocketInode(v4Table, *IpAddr::parse("127.0.0.1"), 50000,
                                             *IpAddr::parse("127.0.0.1"), 7891),
              4242u);
    EXPECT_FALSE(ProcessFinder::findSocketInode(v4Table, *IpAddr::parse("127.0.0.1"), 50001,
                                                *IpAddr::parse("127.0.0.1"), 7891));
    const std::string v6Table =
        "  sl  local_address                         remote_address                        st\n"
        "   0: 00000000000000000000000001000000:C350 00000000000000000000000001000000:1ED3 01 "
        "00000000:00000000 00:00000000 00000000  1000        0 777 1\n";
    EXPECT_EQ(
        ProcessFinder::findSocketInode(v6Table, *IpAddr::parse("::1"), 50000, *IpAddr::parse("::1"), 7891),
        777u);
    EXPECT_FALSE(ProcessFinder().find(*IpAddr::parse("127.0.0.1"), 1, *IpAddr::parse("127.0.0.1"), 2));
}
