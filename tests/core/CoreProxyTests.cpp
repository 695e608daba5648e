// Traffic through the real ferrow-core: SOCKS5 and HTTP proxying, routing by rules and
// groups, malformed input, half-closed streams, large and concurrent transfers.

#include <csignal>
#include <fstream>
#include <future>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "LoopbackHttpServer.h"
#include "TemporaryHome.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

CoreProcess::Options withProfile(std::string profile)
{
    CoreProcess::Options options;
    options.profile = std::move(profile);
    return options;
}

const std::string kRoutingProfile = R"([Proxy]
HK = ferrow, hk.example.com, 443, psk=secret

[Proxy Group]
Exit = select, REJECT, DIRECT
Remote = select, HK

[Rule]
DOMAIN-SUFFIX,blocked.test,REJECT
DOMAIN,remote.test,Remote
DEST-PORT,1-1023,REJECT
IP-CIDR,127.0.0.0/8,Exit
FINAL,DIRECT
)";

json findConnection(CoreProcess& core, const std::string& host)
{
    for (const auto& record : core.get("/connections")) {
        if (record["host"] == host) {
            return record;
        }
    }
    return {};
}

} // namespace

TEST(CoreSocks5, ConnectsIPv4DomainAndIPv6)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        Socket client(core.socksPort());
        ASSERT_EQ(socks5Connect(client, host, echo->port()), 0) << host;
        client.send("hello " + host);
        EXPECT_EQ(client.receiveExactly(6 + host.size()), "hello " + host);
    }
    // The echo server listens on IPv4 only, so an IPv6 target parses but is refused upstream.
    Socket client(core.socksPort());
    const int reply = socks5Connect(client, "::1", echo->port());
    EXPECT_TRUE(reply == 5 || reply == 3 || reply == 4) << reply;
    EXPECT_EQ(findConnection(core, "::1")["port"], echo->port());
}

TEST(CoreSocks5, BindIsNotSupported)
{
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    client.send(std::string("\x05\x01\x00", 3));
    ASSERT_EQ(client.receiveExactly(2), std::string("\x05\x00", 2));
    client.send(std::string("\x05\x02\x00\x01\x7f\x00\x00\x01\x00\x35", 10));
    const auto reply = client.receiveExactly(10);
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[1], '\x07');
    EXPECT_TRUE(client.peerClosed());
    EXPECT_TRUE(core.logContains("BIND"));
}

TEST(CoreSocks5, MalformedInputAnsweredAndCoreSurvives)
{
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    {
        Socket client(core.socksPort()); // only username/password offered
        client.send(std::string("\x05\x01\x02", 3));
        EXPECT_EQ(client.receiveExactly(2), std::string("\x05\xff", 2));
        EXPECT_TRUE(client.peerClosed());
    }
    {
        Socket client(core.socksPort()); // zero methods
        client.send(std::string("\x05\x00", 2));
        EXPECT_EQ(client.receiveExactly(2), std::string("\x05\xff", 2));
    }
    {
        Socket client(core.socksPort()); // unknown address type
        client.send(std::string("\x05\x01\x00", 3));
        client.receiveExactly(2);
        client.send(std::string("\x05\x01\x00\x09\x00\x00", 6));
        const auto reply = client.receiveExactly(10);
        ASSERT_EQ(reply.size(), 10u);
        EXPECT_EQ(reply[1], '\x08');
    }
    {
        Socket client(core.socksPort()); // a domain with a control byte
        client.send(std::string("\x05\x01\x00", 3));
        client.receiveExactly(2);
        client.send(std::string("\x05\x01\x00\x03\x03"
                                "a\nb"
                                "\x00\x50",
                                10));
        const auto reply = client.receiveExactly(10);
        ASSERT_EQ(reply.size(), 10u);
        EXPECT_NE(reply[1], '\x00');
    }
    {
        Socket client(core.socksPort()); // closes half way through the request
        client.send(std::string("\x05\x01\x00", 3));
        client.receiveExactly(2);
        client.send(std::string("\x05\x01\x00\x01\x7f", 5));
    }
    for (int i = 0; i < 200; ++i) {
        Socket client(core.socksPort());
        std::string noise =
            patternBytes(static_cast<std::size_t>(i % 40 + 1), static_cast<std::size_t>(i) * 977);
        noise[0] = '\x05';
        client.send(noise);
    }
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreRouting, RulesDecideDirectRejectAndNodes)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile(kRoutingProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    {
        Socket client(core.socksPort()); // DOMAIN-SUFFIX wins over everything after it
        EXPECT_EQ(socks5Connect(client, "www.blocked.test", echo->port()), 2);
    }
    {
        Socket client(core.socksPort()); // the group's first member, REJECT, is chosen by default
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2);
    }
    {
        Socket client(core.socksPort()); // a node whose key is too short fails at once
        EXPECT_EQ(socks5Connect(client, "remote.test", 443), 1);
    }
    EXPECT_TRUE(core.logContains("node \"HK\": psk is too short"));
    const auto blocked = findConnection(core, "www.blocked.test");
    EXPECT_EQ(blocked["policy"], "REJECT");
    EXPECT_EQ(blocked["rule"], "DOMAIN-SUFFIX,blocked.test");
    EXPECT_EQ(blocked["closed"], true);
    const auto loopback = findConnection(core, "127.0.0.1");
    EXPECT_EQ(loopback["rule"], "IP-CIDR,127.0.0.0/8");
    EXPECT_EQ(loopback["chain"], "Exit > REJECT");
    EXPECT_EQ(findConnection(core, "remote.test")["policy"], "HK");

    EXPECT_EQ(core.post("/select", R"({"group":"Exit","member":"DIRECT"})")["ok"], true);
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0) << "the selection changed the route";
    client.send("via direct");
    EXPECT_EQ(client.receiveExactly(10), "via direct");
    const auto open = core.get("/connections");
    bool sawOpen = false;
    for (const auto& record : open) {
        if (record["closed"] == false && record["host"] == "127.0.0.1") {
            sawOpen = true;
            EXPECT_EQ(record["policy"], "DIRECT");
            EXPECT_EQ(record["srcip"], "127.0.0.1");
            EXPECT_EQ(record["network"], "tcp");
            EXPECT_EQ(record["up"], 10);
            EXPECT_EQ(record["down"], 10);
            EXPECT_GT(record["start"].get<std::int64_t>(), 1600000000000);
        }
    }
    EXPECT_TRUE(sawOpen);
    // The client program is looked up off the I/O thread: a later poll carries it.
    std::string process;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (process.empty() && std::chrono::steady_clock::now() < deadline) {
        for (const auto& record : core.get("/connections")) {
            if (record["closed"] == false && record["host"] == "127.0.0.1") {
                process = record["process"].get<std::string>();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(process, "core_integration_tests") << "the local client program is found";
}

TEST(CoreRouting, OutboundModesOverrideRules)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile(kRoutingProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    core.get("/outbound?mode=direct");
    {
        Socket client(core.socksPort());
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0);
    }
    core.get("/outbound?mode=global&node=HK");
    {
        Socket client(core.socksPort());
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 1);
    }
    core.get("/outbound?mode=global&node=Exit");
    {
        Socket client(core.socksPort());
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2);
    }
    core.get("/outbound?mode=rule");
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2);
}

TEST(CoreRouting, ReloadKeepsOpenConnectionsAndRejectedReloadKeepsRules)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket held(core.socksPort());
    ASSERT_EQ(socks5Connect(held, "127.0.0.1", echo->port()), 0);
    core.writeProfile("[Rule]\nIP-CIDR,127.0.0.0/8,REJECT\nFINAL,DIRECT\n");
    EXPECT_EQ(core.post("/reload")["ok"], true);
    held.send("still here");
    EXPECT_EQ(held.receiveExactly(10), "still here") << "a good reload drops no connection";
    {
        Socket client(core.socksPort());
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2)
            << "new rules apply to new connections";
    }
    core.writeProfile("[Rule]\nIP-CIDR,not-a-range,DIRECT\n");
    const auto refused = core.post("/reload");
    EXPECT_EQ(refused["ok"], false);
    EXPECT_EQ(refused["error"].get<std::string>().rfind("line 2:", 0), 0u) << refused.dump();
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2) << "the last working rules still serve";
}

TEST(CoreRouting, DomainsResolvedThroughProfileDnsServer)
{
    auto echo = makeEchoServer();
    FakeDnsServer dns(std::map<std::string, std::string>{{"origin.test", "127.0.0.1"}});
    CoreProcess core(withProfile("[General]\ndns-server = 127.0.0.1:" + std::to_string(dns.port()) +
                                 "\n[Rule]\nIP-CIDR,127.0.0.0/8,DIRECT\nFINAL,REJECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "origin.test", echo->port()), 0);
    client.send("dns");
    EXPECT_EQ(client.receiveExactly(3), "dns");
    EXPECT_GE(dns.queries(), 1u);
    EXPECT_EQ(findConnection(core, "origin.test")["rule"], "IP-CIDR,127.0.0.0/8");
    Socket unknown(core.socksPort());
    EXPECT_EQ(socks5Connect(unknown, "nowhere.test", echo->port()), 2)
        << "unresolvable: IP rule skipped, FINAL";
}

TEST(CoreHttpProxy, ConnectTunnel)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    client.send("CONNECT 127.0.0.1:" + std::to_string(echo->port()) + " HTTP/1.1\r\nHost: x\r\n\r\nearly");
    const auto head = client.receiveUntil("\r\n\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(client.receiveExactly(5), "early") << "bytes sent with the request reach the tunnel";
}

TEST(CoreHttpProxy, AbsoluteFormWithKeepAliveChunkedAndBodies)
{
    auto origin = makeOriginServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto base = "http://127.0.0.1:" + std::to_string(origin->port());
    Socket client(core.socksPort());
    client.send("GET " + base +
                "/bytes/5000 HTTP/1.1\r\nHost: 127.0.0.1\r\nProxy-Connection: keep-alive\r\n\r\n");
    auto first = readHttpReply(client);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->body, patternBytes(5000));
    client.send("GET " + base + "/chunked/3500 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    auto second = readHttpReply(client);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->body, patternBytes(3500));
    const std::string body(70000, 'p');
    client.send("POST " + base + "/echo HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
    auto third = readHttpReply(client);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->body, body);
    client.send("POST " + base +
                "/echo HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n");
    auto fourth = readHttpReply(client);
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->status, 200);
    EXPECT_EQ(fourth->body, "hello world") << "a chunked request body arrives whole";
    EXPECT_EQ(origin->accepted(), 1u) << "one upstream connection carried all four requests";
    client.send("GET " + base + "/close/777 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    auto last = readHttpReply(client);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->headers["connection"], "close");
    EXPECT_EQ(last->body, patternBytes(777));
}

TEST(CoreHttpProxy, HopByHopAndProxyHeadersNotForwarded)
{
    auto origin = makeOriginServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    client.send(
        "GET http://127.0.0.1:" + std::to_string(origin->port()) +
        "/headers?q=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nProxy-Authorization: Basic eDp5\r\n"
        "Proxy-Connection: keep-alive\r\nConnection: X-Private\r\nX-Private: 1\r\nX-Kept: yes\r\n\r\n");
    const auto reply = readHttpReply(client);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body.rfind("GET /headers?q=1 HTTP/1.1\r\n", 0), 0u) << reply->body;
    EXPECT_EQ(reply->body.find("Proxy-"), std::string::npos);
    EXPECT_EQ(reply->body.find("X-Private"), std::string::npos);
    EXPECT_NE(reply->body.find("X-Kept: yes"), std::string::npos);
}

TEST(CoreHttpProxy, MalformedRequestsAndRejectedTargets)
{
    CoreProcess core(withProfile("[Rule]\nDOMAIN,blocked.test,REJECT\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto statusOf = [&](const std::string& bytes) {
        Socket client(core.socksPort());
        client.send(bytes);
        const auto reply = readHttpReply(client);
        return reply ? reply->status : 0;
    };
    EXPECT_EQ(statusOf("GARBAGE\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), 400) << "origin-form is not a proxy request";
    EXPECT_EQ(statusOf("CONNECT nohost HTTP/1.1\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET http://x/ HTTP/9.9\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET http://x/ HTTP/1.1\r\nBad Header\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET http://x/ HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET http://x/ HTTP/1.1\r\nX: " + std::string(70000, 'a') + "\r\n\r\n"), 400);
    EXPECT_EQ(statusOf("GET http://blocked.test/ HTTP/1.1\r\nHost: blocked.test\r\n\r\n"), 403);
    EXPECT_EQ(statusOf("CONNECT 127.0.0.1:1 HTTP/1.1\r\n\r\n"), 502) << "refused upstream";
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreRelay, HalfCloseIsPassedOnBothWays)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0);
    const auto payload = patternBytes(300000);
    client.send(payload);
    client.shutdownWrite(); // the echo server sees the end only through the proxy
    const auto back = client.receiveAll();
    EXPECT_EQ(back.size(), payload.size());
    EXPECT_EQ(sha256Hex(back), sha256Hex(payload));
    EXPECT_TRUE(client.peerClosed());
    EXPECT_TRUE(waitUntil([&] { return findConnection(core, "127.0.0.1")["closed"] == true; }));
    const auto record = findConnection(core, "127.0.0.1");
    EXPECT_EQ(record["up"], payload.size());
    EXPECT_EQ(record["down"], payload.size());
}

TEST(CoreRelay, AnAnswerWithItsCloseBehindItArrivesWholeAndTheRequestSideStaysOpen)
{
    const std::string answer = "short answer";
    std::promise<std::string> heard;
    TcpServer server([&](int fd) {
        // The answer and the end of stream leave together, so the relay finds the end queued.
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        std::string got;
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
        }
        heard.set_value(got);
    });
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", server.port()), 0);
    EXPECT_EQ(client.receiveExactly(answer.size()), answer);
    EXPECT_TRUE(client.peerClosed());
    // The client's side still carries data after the answer's end.
    client.send("late request");
    client.shutdownWrite();
    auto future = heard.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), "late request");
    EXPECT_TRUE(waitUntil([&] { return findConnection(core, "127.0.0.1")["closed"] == true; }));
    EXPECT_EQ(findConnection(core, "127.0.0.1")["down"], answer.size());
}

TEST(CoreRelay, LargeDownloadArrivesIntact)
{
    constexpr std::size_t size = 64u << 20;
    auto source = makeSourceServer(size);
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", source->port()), 0);
    const auto data = client.receiveAll(std::chrono::seconds(60));
    ASSERT_EQ(data.size(), size);
    EXPECT_EQ(sha256Hex(data), sha256Hex(patternBytes(size)));
}

TEST(CoreRelay, ManyConcurrentConnections)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    constexpr int count = 150;
    std::vector<std::future<bool>> results;
    for (int i = 0; i < count; ++i) {
        results.push_back(std::async(std::launch::async, [&, i] {
            Socket client(core.socksPort());
            const bool socks = i % 2 == 0;
            if (socks) {
                if (socks5Connect(client, "127.0.0.1", echo->port()) != 0) {
                    return false;
                }
            } else {
                client.send("CONNECT 127.0.0.1:" + std::to_string(echo->port()) + " HTTP/1.1\r\n\r\n");
                if (client.receiveUntil("\r\n\r\n").rfind("HTTP/1.1 200", 0) != 0) {
                    return false;
                }
            }
            const auto payload = patternBytes(20000, static_cast<std::size_t>(i));
            client.send(payload);
            return client.receiveExactly(payload.size()) == payload;
        }));
    }
    int succeeded = 0;
    for (auto& result : results) {
        succeeded += result.get() ? 1 : 0;
    }
    EXPECT_EQ(succeeded, count);
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreConnections, ClosedHistoryIsCapped)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[General]\nconnection-history = 3\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    for (int i = 0; i < 8; ++i) {
        Socket client(core.socksPort());
        ASSERT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0);
    }
    Socket open(core.socksPort());
    ASSERT_EQ(socks5Connect(open, "127.0.0.1", echo->port()), 0);
    // Closed connections are registered as they end; once all eight have, three are kept beside
    // the open one.
    nlohmann::json records;
    EXPECT_TRUE(waitUntil([&] {
        records = core.get("/connections");
        return records.size() == 4;
    }));
    int closed = 0;
    int stillOpen = 0;
    std::int64_t lastId = 0;
    for (const auto& record : records) {
        (record["closed"] == true ? closed : stillOpen) += 1;
        lastId = std::max(lastId, record["id"].get<std::int64_t>());
    }
    EXPECT_EQ(closed, 3);
    EXPECT_EQ(stillOpen, 1);
    EXPECT_EQ(lastId, 9);
}

TEST(CoreRouting, ProcessRulesMatchTheLocalClientProgram)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nPROCESS-NAME,some-other-program,DIRECT\n"
                                 "PROCESS-NAME,core_integration_tests,REJECT\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 2);
    const auto record = findConnection(core, "127.0.0.1");
    EXPECT_EQ(record["rule"], "PROCESS-NAME,core_integration_tests");
    EXPECT_EQ(record["process"], "core_integration_tests") << "the lookup made for the rule is kept";
}

namespace {

// A minimal MaxMind-format database: 1.0.0.0/8 is in `country`, nothing else is anywhere.
std::string countryDatabase(const std::string& country = "AU")
{
    constexpr std::uint32_t nodeCount = 8;
    std::string tree;
    const auto record = [&](std::uint32_t value) {
        tree += static_cast<char>(value >> 16);
        tree += static_cast<char>(value >> 8);
        tree += static_cast<char>(value);
    };
    for (std::uint32_t node = 0; node < nodeCount; ++node) {
        const bool last = node == nodeCount - 1; // the eighth bit of 00000001 is the only one set
        record(last ? nodeCount : node + 1);
        record(last ? nodeCount + 16 : nodeCount);
    }
    const auto text = [](const std::string& value) {
        return std::string(1, static_cast<char>(0x40 | value.size())) + value;
    };
    const std::string data =
        std::string(1, '\xe1') + text("country") + '\xe1' + text("iso_code") + text(country);
    std::string metadata = std::string(1, '\xe9');
    metadata += text("node_count") + '\xc1' + static_cast<char>(nodeCount);
    metadata += text("record_size") + '\xa1' + '\x18';
    metadata += text("ip_version") + '\xa1' + '\x04';
    metadata += text("database_type") + text("Test-Country");
    metadata += text("languages") + std::string("\x00\x04", 2);
    metadata += text("binary_format_major_version") + '\xa1' + '\x02';
    metadata += text("binary_format_minor_version") + '\xa0';
    metadata += text("build_epoch") + std::string("\x01\x02\x01", 3); // must not be 0
    metadata += text("description") + '\xe0';
    return tree + std::string(16, '\0') + data + std::string("\xab\xcd\xefMaxMind.com", 14) + metadata;
}

} // namespace

TEST(CoreRouting, GeoIpRulesUseTheCountryDatabase)
{
    // Both outcomes stay on this machine: REJECT when the country matches, the (unavailable)
    // ferrow node otherwise, so no packet leaves loopback.
    const std::string profile = "[Proxy]\nHK = ferrow, h.example, 443\n[Rule]\nGEOIP,au,REJECT\nFINAL,HK\n";
    TemporaryHome home;
    writeFile(home.root() / "Country.mmdb", countryDatabase());
    auto options = withProfile(profile);
    options.folder = home.root();
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_TRUE(core.logContains("GEOIP rules use the country database"));
    Socket inCountry(core.socksPort());
    EXPECT_EQ(socks5Connect(inCountry, "1.1.1.1", 80), 2);
    Socket elsewhere(core.socksPort());
    EXPECT_EQ(socks5Connect(elsewhere, "8.8.8.8", 80), 1);
    EXPECT_EQ(findConnection(core, "1.1.1.1")["rule"], "GEOIP,au");
}

TEST(CoreRouting, ACountryDatabaseRewrittenInPlaceDoesNotHurtTheCoreAndAReplacementCountsAtReload)
{
    const std::string profile = "[Proxy]\nHK = ferrow, h.example, 443\n[Rule]\nGEOIP,au,REJECT\n"
                                "GEOIP,nz,REJECT\nFINAL,HK\n";
    TemporaryHome home;
    const auto database = home.root() / "Country.mmdb";
    writeFile(database, countryDatabase("AU"));
    auto options = withProfile(profile);
    options.folder = home.root();
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto ruleFor = [&](int round) {
        Socket client(core.socksPort());
        const std::string host = "1.0.0." + std::to_string(round);
        EXPECT_EQ(socks5Connect(client, host, 80), 2);
        return findConnection(core, host)["rule"];
    };
    EXPECT_EQ(ruleFor(1), "GEOIP,au");

    // Rewritten in place, as `cp` over it does: shorter, then garbage, then empty.
    for (const std::string& content :
         {countryDatabase("NZ").substr(0, 40), std::string(4096, 'x'), std::string()}) {
        std::ofstream(database, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(ruleFor(2), "GEOIP,au") << "the copy read at start still answers";
    }
    EXPECT_EQ(core.post("/reload"), nlohmann::json({{"ok", true}}));
    EXPECT_TRUE(core.logContains("the previous one stays in use"));
    EXPECT_EQ(ruleFor(3), "GEOIP,au") << "a replacement that does not open is not taken";

    const auto replacement = home.root() / "Country.mmdb.new";
    writeFile(replacement, countryDatabase("NZ"));
    std::filesystem::rename(replacement, database);
    EXPECT_EQ(core.post("/reload"), nlohmann::json({{"ok", true}}));
    EXPECT_EQ(ruleFor(4), "GEOIP,nz");
    EXPECT_EQ(core.terminate(SIGTERM), 0) << core.stderrText();
}

TEST(CoreRouting, GeoIpWithoutDatabaseNeverMatchesAndSaysWhy)
{
    CoreProcess core(
        withProfile("[Proxy]\nHK = ferrow, h.example, 443\n[Rule]\nGEOIP,AU,REJECT\nFINAL,HK\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_TRUE(core.logContains("GEOIP rules will not match"));
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "1.1.1.1", 80), 1);
}

TEST(CoreRouting, CountryDatabaseDownloadedFromProfileUrl)
{
    LoopbackHttpServer server;
    server.setResponse(200, countryDatabase(), "application/octet-stream");
    CoreProcess core(
        withProfile("[General]\ngeoip-maxmind-url = http://" + server.address() +
                    "/Country.mmdb\n[Proxy]\nHK = ferrow, h.example, 443\n[Rule]\nGEOIP,AU,REJECT\n"
                    "FINAL,HK\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    for (int i = 0; i < 100 && !std::filesystem::exists(core.folder() / "Country.mmdb"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(waitUntil([&] { return core.logContains("GEOIP rules use the country database"); }));
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "1.1.1.1", 80), 2) << "the downloaded database took effect";
}

TEST(CoreHttpProxy, UpstreamClosedWhileIdleIsNotReused)
{
    // The origin answers one request per connection and then closes, without saying so.
    auto origin = std::make_unique<TcpServer>([](int fd) {
        std::string request;
        char chunk[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const auto received = ::recv(fd, chunk, sizeof chunk, 0);
            if (received <= 0) {
                return;
            }
            request.append(chunk, static_cast<std::size_t>(received));
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
    });
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    const auto request =
        "GET http://127.0.0.1:" + std::to_string(origin->port()) + "/ HTTP/1.1\r\nHost: x\r\n\r\n";
    for (int i = 0; i < 3; ++i) {
        client.send(request);
        const auto reply = readHttpReply(client);
        ASSERT_TRUE(reply) << i;
        EXPECT_EQ(reply->status, 200) << i;
        EXPECT_EQ(reply->body, "ok");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(origin->accepted(), 3u);
}
