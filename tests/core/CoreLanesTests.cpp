// Proxy clients served on several threads at once while the controller reloads the profile,
// switches the outbound mode and reads the connection list; a second core on the same port; a
// stop with tunnels open on every thread.

#include <atomic>
#include <csignal>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "LoopbackOrigins.h"
#include "Socks5Client.h"
#include "WaitUntil.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

// More lanes than this machine may have cores: clients then really land on several threads.
const std::vector<std::string> kThreeLanes = {"-lanes", "3"};

std::string profile(const std::string& extraRule)
{
    return "[General]\nconnection-history = 5000\n[Proxy Group]\nExit = select, DIRECT, REJECT\n[Rule]\n"
           "DOMAIN,blocked.test,REJECT\n" +
           extraRule + "FINAL,Exit\n";
}

/// One tunnel through the core that must carry its bytes whatever the mode and profile.
bool echoes(std::uint16_t proxyPort, const std::string& host, std::uint16_t echoPort, int n)
{
    Socket client(proxyPort);
    if (socks5Connect(client, host, echoPort) != 0) {
        return false;
    }
    const std::string payload = "lane " + std::to_string(n);
    return client.send(payload) && client.receiveExactly(payload.size()) == payload;
}

/// A core that sends everything DIRECT, serving its clients on three lanes.
CoreProcess::Options directOnThreeLanes()
{
    CoreProcess::Options options;
    options.profile = "[Rule]\nFINAL,DIRECT\n";
    options.extraArguments = kThreeLanes;
    return options;
}

/// `count` tunnels through the core to the echo server, each carrying a first message.
std::vector<Socket> openTunnels(std::uint16_t proxyPort, std::uint16_t echoPort, int count)
{
    std::vector<Socket> tunnels;
    for (int i = 0; i < count; ++i) {
        tunnels.emplace_back(proxyPort);
        EXPECT_EQ(socks5Connect(tunnels.back(), "127.0.0.1", echoPort), 0);
        EXPECT_TRUE(tunnels.back().send("open"));
        EXPECT_EQ(tunnels.back().receiveExactly(4), "open");
    }
    return tunnels;
}

} // namespace

TEST(CoreLanes, ClientsOnEveryThreadWhileTheProfileReloadsAndTheModeChanges)
{
    auto echo = makeEchoServer();
    CoreProcess::Options options;
    options.profile = profile("");
    options.extraArguments = kThreeLanes;
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();

    constexpr int kClients = 4;
    constexpr int kEach = 150;
    std::atomic<int> failures{0};
    std::atomic<int> refused{0};
    std::atomic<int> finished{0};
    std::vector<std::jthread> clients; // joined however the test ends
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < kEach; ++i) {
                if (i % 10 == 9) {
                    // Refused in rule mode, unresolvable in the others: never carried.
                    Socket client(core.socksPort());
                    refused += socks5Connect(client, "blocked.test", 80) != 0;
                    continue;
                }
                // "localhost" is resolved on the main thread, an address is not.
                failures += !echoes(core.socksPort(), i % 2 ? "localhost" : "127.0.0.1", echo->port(), i);
            }
            ++finished;
        });
    }
    const char* modes[] = {"rule", "direct", "global"};
    std::set<std::uint64_t> idsSeen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int round = 0; finished < kClients && std::chrono::steady_clock::now() < deadline; ++round) {
        core.writeProfile(profile(round % 2 ? "DOMAIN-SUFFIX,example.test,REJECT\n" : ""));
        EXPECT_EQ(core.post("/reload")["ok"], true);
        EXPECT_EQ(core.get(std::string("/outbound?mode=") + modes[round % 3])["mode"], modes[round % 3]);
        for (const auto& record : core.get("/connections")) {
            // Listed only once routed: a record never shows without its policy.
            EXPECT_FALSE(record["policy"].get<std::string>().empty()) << record.dump();
            idsSeen.insert(record["id"].get<std::uint64_t>());
        }
    }
    for (auto& client : clients) {
        client.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(refused, kClients * kEach / 10);
    EXPECT_FALSE(idsSeen.empty());

    // Every connection closed is listed once, closed, and nothing stays open.
    ASSERT_TRUE(waitUntil([&] {
        const auto list = core.get("/connections");
        return std::all_of(list.begin(), list.end(),
                           [](const json& record) { return record["closed"] == true; });
    }));
    const auto list = core.get("/connections");
    std::set<std::uint64_t> ids;
    for (const auto& record : list) {
        EXPECT_TRUE(ids.insert(record["id"].get<std::uint64_t>()).second)
            << "listed twice: " << record.dump();
    }
    EXPECT_EQ(list.size(), std::size_t{kClients * kEach});
    EXPECT_EQ(core.get("/status")["connections"], 0);
}

TEST(CoreLanes, ASecondCoreCannotShareTheProxyPort)
{
    const auto options = directOnThreeLanes();
    CoreProcess first(options);
    ASSERT_TRUE(first.started()) << first.stderrText();
    CoreProcess::Options second = options;
    second.extraArguments = {"-lanes", "3", "-socks", "127.0.0.1:" + std::to_string(first.socksPort())};
    second.socks = false;
    CoreProcess other(second);
    EXPECT_FALSE(other.started());
    EXPECT_NE(other.stderrText().find("cannot listen"), std::string::npos) << other.stderrText();
    // The first core still has every client to itself.
    auto echo = makeEchoServer();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(echoes(first.socksPort(), "127.0.0.1", echo->port(), i));
    }
}

TEST(CoreLanes, AStopWithTunnelsOpenOnEveryThreadEndsCleanly)
{
    auto echo = makeEchoServer();
    CoreProcess core(directOnThreeLanes());
    ASSERT_TRUE(core.started()) << core.stderrText();
    auto tunnels = openTunnels(core.socksPort(), echo->port(), 40);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(core.terminate(SIGTERM), 0) << core.stderrText();
    for (auto& tunnel : tunnels) {
        EXPECT_TRUE(tunnel.peerClosed());
    }
}

TEST(CoreLanes, TheListenerMovesOnEveryLaneWhileTunnelsCarryOn)
{
    auto echo = makeEchoServer();
    CoreProcess core(directOnThreeLanes());
    ASSERT_TRUE(core.started()) << core.stderrText();
    auto tunnels = openTunnels(core.socksPort(), echo->port(), 12);
    ASSERT_FALSE(HasFailure());
    const auto port = std::to_string(core.socksPort());
    // The same port on another address: every lane's listener closes before any binds again.
    EXPECT_EQ(core.post("/socks?listen=0.0.0.0%3A" + port)["ok"], true);
    EXPECT_EQ(core.get("/socks")["address"], "0.0.0.0:" + port);
    const auto moved = freePort();
    EXPECT_EQ(core.post("/socks?listen=127.0.0.1%3A" + std::to_string(moved))["ok"], true);
    EXPECT_FALSE(Socket(core.socksPort()).connected()) << "no lane kept the old listener";
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(echoes(moved, "127.0.0.1", echo->port(), i));
    }
    for (auto& tunnel : tunnels) {
        EXPECT_TRUE(tunnel.send("still"));
        EXPECT_EQ(tunnel.receiveExactly(5), "still");
    }
}
