// Logs, events, connection history, statistics, hosts file and finding client programs.

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "ConnectionRegistry.h"
#include "EventLog.h"
#include "FailureKind.h"
#include "HostsFile.h"
#include "LogStream.h"
#include "LoopbackSocket.h"
#include "NodeHealth.h"
#include "ProcessAttribution.h"
#include "ProcessFinder.h"
#include "SocketHolderCache.h"
#include "TrafficStatistics.h"

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

TEST(NodeHealth, DownAfterAStretchOfFailuresThenOneRecovery)
{
    using namespace std::chrono_literals;
    NodeHealth health;
    const auto t0 = NodeHealth::Clock::time_point{} + 1h;
    // Many quick failures are not yet a stretch; a long gap with two failures is not enough attempts.
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(health.record("HK", false, t0 + i * 1s));
    }
    EXPECT_FALSE(health.record("JP", false, t0));
    EXPECT_FALSE(health.record("JP", false, t0 + 60s));
    const auto down = health.record("HK", false, t0 + 30s, "connection refused");
    ASSERT_TRUE(down);
    EXPECT_EQ(down->title, "Node not answering");
    EXPECT_NE(down->message.find("\u201CHK\u201D has not answered for 30 s: connection refused"),
              std::string::npos);
    EXPECT_FALSE(health.record("HK", false, t0 + 40s)) << "down is said once";

    EXPECT_EQ(health.failing(), (std::vector<std::string>{"HK", "JP"}));
    const auto recovered = health.record("HK", true, t0 + 50s);
    EXPECT_EQ(health.failing(), std::vector<std::string>{"JP"});
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->title, "Node recovered");
    EXPECT_FALSE(health.record("HK", true, t0 + 51s));

    // A success in the middle of a stretch starts it again.
    EXPECT_FALSE(health.record("JP", true, t0 + 61s));
    EXPECT_FALSE(health.record("JP", false, t0 + 62s));
    EXPECT_FALSE(health.record("JP", false, t0 + 80s));
    EXPECT_FALSE(health.record("JP", false, t0 + 91s));
    EXPECT_TRUE(health.record("JP", false, t0 + 92s));
}

TEST(NodeHealth, AFlappingNodeIsReportedOnceUntilTheQuietTimePasses)
{
    using namespace std::chrono_literals;
    NodeHealth health;
    auto t = NodeHealth::Clock::time_point{} + 1h;
    const auto failFor = [&](std::chrono::seconds span) {
        int events = 0;
        for (int i = 0; i <= 3; ++i) {
            events += health.record("HK", false, t + span * i / 3) ? 1 : 0;
        }
        t += span;
        return events;
    };
    EXPECT_EQ(failFor(30s), 1);
    EXPECT_TRUE(health.record("HK", true, t += 1s));
    // Down again within the quiet time: neither the down nor its recovery is said.
    EXPECT_EQ(failFor(30s), 0);
    EXPECT_FALSE(health.record("HK", true, t += 1s));
    t += NodeHealth::kQuietAfterDown;
    EXPECT_EQ(failFor(30s), 1);
    EXPECT_TRUE(health.record("HK", true, t += 1s));

    health.forgetUnless([](const std::string& name) { return name != "HK"; });
    EXPECT_EQ(failFor(30s), 1) << "a node the profile dropped and added again starts afresh";
}

TEST(FailureKind, WhatANodeTestSaysWentWrong)
{
    const auto text = [](int code) { return std::system_category().message(code); };
    EXPECT_EQ(failureKind("node \"HK\": cannot connect to the server: " + text(ECONNREFUSED)), "refused");
    EXPECT_EQ(failureKind("cannot connect to the server: " + text(EHOSTUNREACH)), "unreachable");
    EXPECT_EQ(failureKind("cannot connect to the server: " + text(ENETUNREACH)), "unreachable");
    EXPECT_EQ(failureKind("cannot resolve hk.example.test: hk.example.test: no such name"), "name");
    EXPECT_EQ(failureKind("www.example.test has no address"), "name");
    // A wrong key and a silent server look the same, as they must.
    EXPECT_EQ(failureKind("the server did not answer the handshake"), "timeout");
    EXPECT_EQ(failureKind(""), "timeout");
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
    int visits = 0;
    registry.forEachUnlooked([&](const std::shared_ptr<ConnectionRecord>& record) {
        ++visits;
        record->processLooked = true;
        record->process = "app";
    });
    registry.forEachUnlooked([&](const std::shared_ptr<ConnectionRecord>&) { ++visits; });
    EXPECT_EQ(visits, 1) << "each open connection is looked up once";
    EXPECT_EQ(registry.toJson()[0]["process"], "app");
    registry.setHistoryCap(0);
    EXPECT_EQ(registry.closedCount(), 0u);

    // With nobody asking for programs, closed connections do not pile up waiting for a lookup.
    for (int i = 0; i < 1000; ++i) {
        registry.close(registry.open());
    }
    EXPECT_LE(registry.awaitingLookup(), 2 * registry.openCount() + 64);
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

TEST(SocketHolderCache, KeepsTheSocketsLookedUpLatelyWithinItsCapacity)
{
    SocketHolderCache cache(3);
    cache.remember(1, {10, "3"});
    cache.remember(2, {20, "4"});
    ASSERT_NE(cache.use(1), nullptr); // 1 is now the most recent
    for (unsigned long inode = 100; inode < 110; ++inode) {
        cache.remember(inode, {30, std::to_string(inode)}); // a walk's bycatch
    }
    cache.trim();
    EXPECT_EQ(cache.size(), 3u);
    ASSERT_NE(cache.use(1), nullptr) << "a socket in use survives a walk over many others";
    EXPECT_EQ(cache.use(1)->pid, 10);
    cache.remember(1, {11, "5"});
    EXPECT_EQ(cache.use(1)->pid, 11) << "a socket that changed hands is recorded again";
    EXPECT_EQ(cache.use(109), nullptr) << "the walk's newest bycatch counts as least used";
    EXPECT_NE(cache.use(2), nullptr);
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

TEST(ProcessAttribution, CallersNeverWaitAndWaitingRequestsShareOneBatch)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::size_t> batches;
    ProcessAttribution attribution(
        [&](const std::vector<SocketKey>& keys) {
            std::unique_lock lock(mutex);
            batches.push_back(keys.size());
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            std::vector<std::optional<ProcessInfo>> out;
            for (const auto& key : keys) {
                out.push_back(ProcessInfo{"port" + std::to_string(key.clientPort), ""});
            }
            return out;
        },
        3);
    std::atomic<int> done{0};
    std::vector<std::string> names(4);
    const auto ask = [&](std::uint16_t port) {
        return attribution.request(SocketKey{IpAddr{}, port, IpAddr{}, 1}, [&, port](auto info) {
            names[port] = info ? info->name : "";
            ++done;
        });
    };
    ASSERT_TRUE(ask(0)); // taken at once by the lookup thread, which then blocks
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return batches.size() == 1; }));
    }
    EXPECT_TRUE(ask(1)) << "a request returns while a lookup is stuck";
    EXPECT_TRUE(ask(2));
    EXPECT_TRUE(ask(3));
    EXPECT_FALSE(attribution.request(SocketKey{}, [](auto) {})) << "the queue is bounded";
    EXPECT_EQ(done.load(), 0);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    for (int i = 0; i < 500 && done.load() < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(done.load(), 4);
    EXPECT_EQ(batches, (std::vector<std::size_t>{1, 3})) << "the waiting three went in one batch";
    EXPECT_EQ(names[3], "port3");
}

TEST(ProcessFinder, FindsTheProgramHoldingALoopbackClient)
{
    std::uint16_t listenPort = 0;
    const int listener = ferrow::test::listenLoopback(listenPort, 4);
    ASSERT_GE(listener, 0);
    const auto port = std::to_string(listenPort);
    // Another program holds the client end: bash with a /dev/tcp descriptor.
    std::string script = "exec 3<>/dev/tcp/127.0.0.1/" + port + "; read -t 10 -u 3 line";
    ferrow::test::ChildProcess child({"/bin/bash", "-c", script}, ferrow::test::ChildProcess::Options{});
    ASSERT_TRUE(child.started());
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int accepted = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    ASSERT_GE(accepted, 0);
    ProcessFinder finder;
    const auto loopback = *IpAddr::parse("127.0.0.1");
    const auto found = finder.findMany({SocketKey{loopback, ntohs(peer.sin_port), loopback, listenPort},
                                        SocketKey{loopback, 1, loopback, 2}});
    ASSERT_EQ(found.size(), 2u);
    ASSERT_TRUE(found[0]);
    EXPECT_EQ(found[0]->name, "bash");
    EXPECT_EQ(found[0]->path.substr(found[0]->path.rfind('/')), "/bash");
    EXPECT_FALSE(found[1]) << "no such connection";
    // The second time the descriptor cache answers, and still correctly.
    EXPECT_EQ(finder.find(loopback, ntohs(peer.sin_port), loopback, listenPort)->name, "bash");
    ::close(accepted);
    ::close(listener);
    child.wait(std::chrono::seconds(15));
}

TEST(ProcessFinder, RemembersABoundedNumberOfHoldersAsConnectionsComeAndGo)
{
    // A process table of the test's own: a busy process with three times as many sockets as are
    // remembered, walked before the one holding the client looked for, which changes each round.
    namespace fs = std::filesystem;
    const auto root = fs::temp_directory_path() / ("ferrow-proc-" + std::to_string(::getpid()));
    const auto busy = root / "4000001" / "fd";
    fs::create_directories(busy);
    fs::create_directory_symlink("/proc/self/net", root / "net"); // for a kernel without sock_diag
    for (std::size_t i = 0; i < 3 * ProcessFinder::kRememberedSockets; ++i) {
        fs::create_symlink("socket:[" + std::to_string(1'000'000'000'000 + i) + "]",
                           busy / std::to_string(i));
    }
    std::uint16_t listenPort = 0;
    const int listener = ferrow::test::listenLoopback(listenPort, 4);
    ASSERT_GE(listener, 0);
    const auto loopback = *IpAddr::parse("127.0.0.1");

    ProcessFinder finder(root.string());
    for (int round = 0; round < 3; ++round) {
        const int client = ferrow::test::connectTcp(listenPort);
        ASSERT_GE(client, 0);
        sockaddr_in local{};
        socklen_t localLength = sizeof local;
        ::getsockname(client, reinterpret_cast<sockaddr*>(&local), &localLength);
        struct stat socketInfo {};
        ::fstat(client, &socketInfo);
        const auto holder = root / std::to_string(4100000 + round);
        fs::create_directories(holder / "fd");
        std::ofstream(holder / "comm") << "client" << round << "\n";
        fs::create_symlink("socket:[" + std::to_string(socketInfo.st_ino) + "]", holder / "fd" / "3");

        const auto found = finder.find(loopback, ntohs(local.sin_port), loopback, listenPort);
        ASSERT_TRUE(found) << "round " << round;
        EXPECT_EQ(found->name, "client" + std::to_string(round));
        EXPECT_EQ(finder.rememberedSockets(), ProcessFinder::kRememberedSockets) << "round " << round;
        // The connection ends and its program with it.
        ::close(client);
        const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(accepted);
        fs::remove_all(holder);
    }
    ::close(listener);
    fs::remove_all(root);
}
