#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "FerrowHandshake.h"
#include "ServerProcess.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

std::string node(const std::string& name, std::uint16_t port, const std::string& psk,
                 const std::string& extra = {})
{
    return name + " = ferrow, 127.0.0.1, " + std::to_string(port) + ", psk=" + psk + ", tfo=auto" + extra +
           "\n";
}

CoreProcess::Options profile(const std::string& text)
{
    CoreProcess::Options options;
    options.profile = text;
    return options;
}

ServerProcess::Options keyed(const std::string& psk)
{
    ServerProcess::Options options;
    options.psk = psk;
    return options;
}

std::uint64_t unixNow()
{
    return static_cast<std::uint64_t>(time(nullptr));
}

/// Sends `bytes` echoed through the SOCKS port, ends its side, and returns all it gets back.
std::string echoThrough(std::uint16_t socksPort, std::uint16_t echoPort, const std::string& bytes)
{
    Socket client(socksPort);
    if (const int reply = socks5Connect(client, "127.0.0.1", echoPort); reply != 0) {
        return "(connect failed: " + std::to_string(reply) + ")";
    }
    std::string back;
    std::thread reader([&] { back = client.receiveAll(std::chrono::seconds(30)); });
    client.send(bytes);
    client.shutdownWrite();
    reader.join();
    return back;
}

struct ProbeOutcome {
    std::size_t received = 0;
    bool orderlyClose = false; // the server ended with FIN, not a reset
    std::chrono::milliseconds after{0};
};

/// What a prober sees: connect, send, then read until the server closes (at most 6 s).
ProbeOutcome probe(std::uint16_t port, const std::string& bytes)
{
    ProbeOutcome outcome;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return outcome;
    }
    const auto started = std::chrono::steady_clock::now();
    if (!bytes.empty()) {
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    char buffer[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 6000) <= 0) {
            break;
        }
        const auto n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            outcome.received += static_cast<std::size_t>(n);
            continue;
        }
        outcome.orderlyClose = n == 0;
        break;
    }
    outcome.after =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    close(fd);
    return outcome;
}

json waitForGroupDelays(CoreProcess& core, std::size_t count)
{
    json group;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    do {
        group = core.get("/groups")[0];
        if (group["delays"].size() >= count) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the core has no change event for this
    } while (std::chrono::steady_clock::now() < deadline);
    return group;
}

} // namespace

TEST(FerrowEndToEnd, SixtyFourMebibytesArriveIntactAndAreCounted)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();
    constexpr std::size_t size = std::size_t{64} << 20;
    auto origin = makeSourceServer(size);
    CoreProcess core(profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();

    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", origin->port()), 0);
    const auto received = client.receiveAll(std::chrono::seconds(60));
    ASSERT_EQ(received.size(), size);
    EXPECT_EQ(sha256Hex(received), sha256Hex(patternBytes(size)));

    bool found = false;
    for (const auto& record : core.get("/connections")) {
        if (record["port"] == origin->port()) {
            found = true;
            EXPECT_EQ(record["policy"], "N");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_GE(core.get("/status")["downlink"].get<std::uint64_t>(), size);
}

TEST(FerrowEndToEnd, ConcurrentStreamsWithHalfCloseBothWays)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();
    auto echo = makeEchoServer();
    auto options = profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n");
    options.extraArguments = {"-lanes", "3"}; // streams made and relayed on several threads
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();

    // The echo server answers everything and ends only after the client's end of stream: each
    // answer arriving in full and then ending shows both half closes passed through.
    std::vector<std::future<std::string>> streams;
    for (int i = 0; i < 24; ++i) {
        streams.push_back(std::async(std::launch::async, [&, i] {
            const auto bytes = patternBytes(std::size_t{192} * 1024 + static_cast<std::size_t>(i) * 977, i);
            const auto back = echoThrough(core.socksPort(), echo->port(), bytes);
            return back == bytes
                       ? std::string()
                       : "stream " + std::to_string(i) + " got " + std::to_string(back.size()) + " of " +
                             std::to_string(bytes.size()) + " bytes: " + back.substr(0, 40);
        }));
    }
    for (auto& stream : streams) {
        const std::string problem = stream.get();
        EXPECT_TRUE(problem.empty()) << problem;
    }
    if (HasFailure()) {
        std::cerr << "core:\n" << core.stderrText() << "\nserver:\n" << server.stderrText() << "\n";
    }
}

TEST(FerrowEndToEnd, PlainHttpProxyRequestsKeepTheirStreamThroughTheNode)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();
    auto origin = makeOriginServer();
    CoreProcess core(profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    const std::string base = "http://127.0.0.1:" + std::to_string(origin->port());
    for (const char* path : {"/bytes/1000", "/chunked/70000", "/bytes/3"}) {
        client.send(std::string("GET ") + base + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const auto reply = readHttpReply(client);
        ASSERT_TRUE(reply) << path;
        EXPECT_EQ(reply->status, 200) << path;
    }
    EXPECT_EQ(origin->accepted(), 1U) << "one kept-alive stream carried all three requests";
}

TEST(FerrowEndToEnd, WrongAndShortKeysFailPerNodeAndGroupsStepOverThem)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();
    auto origin = makeOriginServer();
    CoreProcess core(
        profile("[General]\nproxy-test-url = http://127.0.0.1:" + std::to_string(origin->port()) +
                "/generate_204\n[Proxy]\n" + node("Wrong", server.port(), newPsk()) +
                node("Short", server.port(), "psk-goes-here") + node("Good", server.port(), psk) +
                "[Proxy Group]\nAuto = fallback, Short, Wrong, Good\n[Rule]\nFINAL,Auto\n"));
    ASSERT_TRUE(core.started()) << core.stderrText() << "a short key never rejects the profile";
    EXPECT_TRUE(core.logContains("node \"Short\": psk is too short"));

    EXPECT_EQ(core.get("/test?node=Short")["ms"], -1);
    EXPECT_EQ(core.get("/test?node=Wrong")["ms"], -1);
    EXPECT_TRUE(core.logContains("node \"Wrong\": the server closed the connection (wrong psk"));
    const int good = core.get("/test?node=Good")["ms"].get<int>();
    EXPECT_GE(good, 1);
    EXPECT_LT(good, 5000);

    const auto group = waitForGroupDelays(core, 3);
    EXPECT_EQ(group["selected"], "Good") << group.dump();
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", origin->port()), 0);
    client.send("GET /bytes/5 HTTP/1.1\r\nHost: x\r\n\r\n");
    const auto reply = readHttpReply(client);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    json record;
    for (const auto& item : core.get("/connections")) {
        if (item["port"] == origin->port()) {
            record = item;
        }
    }
    EXPECT_EQ(record["policy"], "Good") << record.dump();
    EXPECT_EQ(record["chain"], "Auto > Good") << record.dump();
    EXPECT_GT(record["down"].get<std::uint64_t>(), 0U) << "the node's traffic is counted";
}

TEST(FerrowEndToEnd, EveryProbeGetsNoByteAndTheSameLateOrderlyClose)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();

    ferrow::proto::ClientHandshake valid(psk, unixNow());
    const auto captured = valid.firstPacket();
    ferrow::proto::ClientHandshake wrong(newPsk(), unixNow());
    ferrow::proto::ClientHandshake stale(psk, unixNow() - 600);
    ferrow::proto::ClientHandshake future(psk, unixNow() + 600);

    // The genuine handshake is answered at once; its replay is a probe like any other.
    {
        Socket genuine(server.port());
        genuine.send(captured);
        EXPECT_FALSE(genuine.receiveSome().empty());
    }

    const std::vector<std::pair<std::string, std::string>> probes = {
        {"silence", ""},
        {"ten random bytes", ferrow::proto::randomBytes(10)},
        {"random kilobytes", ferrow::proto::randomBytes(3000)},
        {"truncated handshake", captured.substr(0, 40)},
        {"wrong key", wrong.firstPacket()},
        {"stale time", stale.firstPacket()},
        {"future time", future.firstPacket()},
        {"replayed handshake", captured},
        {"HTTP request", "GET / HTTP/1.1\r\nHost: example.com\r\n\r\n"},
    };
    std::vector<std::future<ProbeOutcome>> outcomes;
    for (const auto& [name, bytes] : probes) {
        outcomes.push_back(std::async(std::launch::async, probe, server.port(), bytes));
    }
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const auto outcome = outcomes[i].get();
        SCOPED_TRACE(probes[i].first);
        EXPECT_EQ(outcome.received, 0U);
        EXPECT_TRUE(outcome.orderlyClose);
        EXPECT_GE(outcome.after.count(), 900); // the time-out is 1..2 s
        EXPECT_LT(outcome.after.count(), 4000);
    }
    EXPECT_EQ(server.linesWith("authenticated").size(), 1U);
}

TEST(FerrowEndToEnd, OutOfDescriptorsTheServerPausesAndRecovers)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer runtime needs descriptors of its own (it probes memory through a pipe) and
    // reports false faults when there are none.
    GTEST_SKIP() << "not meaningful in a sanitizer build";
#endif
    const auto psk = newPsk();
    auto options = keyed(psk);
    options.maxOpenFiles = 40;
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    std::vector<std::unique_ptr<Socket>> probes;
    for (int i = 0; i < 45; ++i) {
        probes.push_back(std::make_unique<Socket>(server.port()));
    }
    ASSERT_TRUE(server.waitForLines("accept failed", 1));
    probes.clear();
    // Once the probes' time is up their descriptors come back and a client is served again. A
    // connection taken while the server still ran short may be closed; a client tries again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    bool served = false;
    for (int attempt = 0; attempt < 15 && !served && std::chrono::steady_clock::now() < deadline; ++attempt) {
        ferrow::proto::ClientHandshake client(psk, unixNow());
        Socket genuine(server.port());
        genuine.send(client.firstPacket());
        served = !genuine.receiveSome(65536, std::chrono::seconds(5)).empty();
    }
    EXPECT_TRUE(served) << server.stderrText();
    EXPECT_LE(server.linesWith("accept failed").size(), 60U)
        << "the failure neither spins nor floods the log";
}

// Connect-and-reset costs the prober nothing; each reset connection used to be held for the
// whole probe time, and a few hundred of them spent every descriptor the server had.
TEST(FerrowEndToEnd, ResetProbesAreLetGoAtOnce)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "not meaningful in a sanitizer build"; // the runtime needs descriptors of its own
#endif
    const auto psk = newPsk();
    auto options = keyed(psk);
    options.maxOpenFiles = 256;
    options.probeTimeout = "30-30";
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    for (int i = 0; i < 400; ++i) {
        Socket probe(server.port());
        const linger reset{1, 0};
        setsockopt(probe.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    ferrow::proto::ClientHandshake client(psk, unixNow());
    Socket genuine(server.port());
    genuine.send(client.firstPacket());
    EXPECT_FALSE(genuine.receiveSome(65536, std::chrono::seconds(3)).empty())
        << "the key holder was locked out";
}

TEST(FerrowEndToEnd, PendingConnectionsBeyondTheLimitsCloseTheOldest)
{
    const auto psk = newPsk();
    auto options = keyed(psk);
    options.probeTimeout = "30-30";
    // One thread: connections are taken in the order they are made.
    options.extraArguments = {
        "--max-unauthenticated", "8", "--max-unauthenticated-per-source", "3", "--threads", "1"};
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    // One source past its share: its oldest goes, its others and everyone else's stay.
    std::vector<std::unique_ptr<Socket>> silent;
    for (int i = 0; i < 4; ++i) {
        silent.push_back(std::make_unique<Socket>(server.port(), "127.0.0.1", "127.0.0.2"));
        ASSERT_TRUE(silent.back()->connected());
    }
    EXPECT_TRUE(silent[0]->peerClosed(std::chrono::seconds(5)));
    EXPECT_FALSE(silent[3]->peerClosed(std::chrono::milliseconds(200)));
    // Many sources past the total: the oldest overall goes first.
    for (int i = 0; i < 6; ++i) {
        const std::string source = "127.0.1." + std::to_string(i + 1);
        silent.push_back(std::make_unique<Socket>(server.port(), "127.0.0.1", source.c_str()));
    }
    EXPECT_TRUE(silent[1]->peerClosed(std::chrono::seconds(5)));
    EXPECT_FALSE(silent.back()->peerClosed(std::chrono::milliseconds(200)));
    // A key holder is served at once whatever is pending.
    ferrow::proto::ClientHandshake client(psk, unixNow());
    Socket genuine(server.port());
    genuine.send(client.firstPacket());
    EXPECT_FALSE(genuine.receiveSome(65536, std::chrono::seconds(3)).empty());
}

TEST(FerrowEndToEnd, PrivateTargetsAreRefusedUnlessAllowed)
{
    const auto psk = newPsk();
    auto options = keyed(psk);
    options.allowPrivate = false;
    if (::geteuid() == 0) {
        options.hosts = "127.0.0.1 localhost\n::ffff:127.0.0.1 mapped.test\n";
    }
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    auto echo = makeEchoServer();
    CoreProcess core(profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
    ASSERT_TRUE(core.started());
    std::vector<std::string> hosts = {"127.0.0.1", "localhost", "::ffff:127.0.0.1"};
    if (::geteuid() == 0) {
        hosts.push_back("mapped.test"); // its only address is loopback in IPv4-mapped form
    }
    for (const auto& host : hosts) {
        Socket client(core.socksPort());
        socks5Connect(client, host, echo->port());
        client.send("hello");
        EXPECT_EQ(client.receiveAll(std::chrono::seconds(10)), "") << host;
    }
    EXPECT_EQ(echo->accepted(), 0U);
    EXPECT_TRUE(server.waitForLines("refused: a private, loopback or link-local address", hosts.size()));
}

// A key holder reaches the network, not services listening on the server's own public address.
TEST(FerrowEndToEnd, TheServersOwnAddressesAreRefusedUnlessAllowed)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a network namespace";
    }
    // Processes started from this thread share its namespace: a public address of the server's
    // own, and a service listening on it.
    std::thread([] {
        ASSERT_EQ(::unshare(CLONE_NEWNET), 0);
        ASSERT_EQ(std::system("ip link set lo up && ip addr add 203.0.113.7/32 dev lo"), 0);
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, "203.0.113.7", &address.sin_addr);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        socklen_t size = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        const auto servicePort = ntohs(address.sin_port);

        const auto psk = newPsk();
        auto options = keyed(psk);
        options.allowPrivate = false;
        ServerProcess server(options);
        ASSERT_TRUE(server.started()) << server.stderrText();
        CoreProcess core(profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
        ASSERT_TRUE(core.started());
        Socket client(core.socksPort());
        socks5Connect(client, "203.0.113.7", servicePort);
        client.send("hello");
        EXPECT_EQ(client.receiveAll(std::chrono::seconds(10)), "");
        pollfd waiting{listener, POLLIN, 0};
        EXPECT_EQ(::poll(&waiting, 1, 0), 0) << "the server's own service was reached";
        EXPECT_TRUE(server.waitForLines("refused: this server's own address", 1));
        ::close(listener);
    }).join();
}

TEST(FerrowEndToEnd, PoolServesTheNextStreamAndSurvivesAServerRestart)
{
    const auto psk = newPsk();
    auto server = std::make_unique<ServerProcess>(keyed(psk));
    ASSERT_TRUE(server->started()) << server->stderrText();
    const auto port = server->port();
    auto echo = makeEchoServer();
    auto options = profile("[Proxy]\n" + node("N", port, psk) + "[Rule]\nFINAL,N\n");
    options.extraArguments = {"-lanes", "2"};
    CoreProcess core(options);
    ASSERT_TRUE(core.started());

    EXPECT_EQ(echoThrough(core.socksPort(), echo->port(), "first"), "first");
    // One connection for the stream and two prewarmed ones on each lane: the next stream finds
    // one whichever lane its client reaches.
    ASSERT_TRUE(server->waitForLines("authenticated", 5));
    // Lines read "ferrow-server debug: 127.0.0.1:PORT: authenticated" and "... 127.0.0.1:PORT -> target".
    const auto peerOf = [](const std::string& line, const std::string& after) {
        const auto start = line.find("debug: ") + 7;
        return line.substr(start, line.find(after, start) - start);
    };
    std::set<std::string> prewarmed;
    for (const auto& line : server->linesWith("authenticated")) {
        prewarmed.insert(peerOf(line, ": authenticated"));
    }
    EXPECT_EQ(echoThrough(core.socksPort(), echo->port(), "second"), "second");
    ASSERT_TRUE(server->waitForLines("ended", 2));
    std::vector<std::string> starts;
    for (const auto& line : server->linesWith(" -> ")) {
        if (line.find(" ended") == std::string::npos) {
            starts.push_back(line);
        }
    }
    ASSERT_EQ(starts.size(), 2U);
    const auto second = peerOf(starts[1], " -> ");
    EXPECT_TRUE(prewarmed.contains(second)) << second << " was authenticated before the second stream began";
    ASSERT_TRUE(server->waitForLines("authenticated", 4)) << "the pool is refilled";

    // A restart mid-stream: the stream is cut (never a clean end), the pooled connections die
    // with the old server and are dropped, and the next stream reaches the new server.
    constexpr std::size_t size = std::size_t{512} << 20;
    auto source = makeSourceServer(size);
    Socket cut(core.socksPort());
    ASSERT_EQ(socks5Connect(cut, "127.0.0.1", source->port()), 0);
    EXPECT_EQ(cut.receiveExactly(1 << 20).size(), std::size_t{1} << 20);
    server.reset();
    EXPECT_LT(cut.receiveAll(std::chrono::seconds(20)).size(), size);

    auto again = keyed(psk);
    again.port = port;
    server = std::make_unique<ServerProcess>(again);
    ASSERT_TRUE(server->started()) << server->stderrText();
    EXPECT_EQ(echoThrough(core.socksPort(), echo->port(), "after restart"), "after restart");
}

TEST(FerrowEndToEnd, APooledStreamHearsAServerThatSpeaksFirstAndItsLastAnswerEndsInOrder)
{
    const auto psk = newPsk();
    ServerProcess server(keyed(psk));
    ASSERT_TRUE(server.started()) << server.stderrText();
    // Greets first, answers one line and closes at once: the answer and the end leave together.
    TcpServer greeter(
        [](int fd) {
            sendAll(fd, "220 ready\r\n");
            std::string line;
            char buffer[64];
            while (line.find('\n') == std::string::npos) {
                const auto n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    return;
                }
                line.append(buffer, static_cast<std::size_t>(n));
            }
            sendAll(fd, "250 " + line);
        },
        2);
    CoreProcess core(profile("[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();

    for (int stream = 0; stream < 3; ++stream) {
        if (stream == 1) {
            // From here on streams take prewarmed connections, and the client says nothing until
            // it is greeted.
            ASSERT_TRUE(server.waitForLines("authenticated", 3));
        }
        Socket client(core.socksPort());
        ASSERT_EQ(socks5Connect(client, "127.0.0.1", greeter.port()), 0);
        EXPECT_EQ(client.receiveUntil("\r\n"), "220 ready\r\n") << "stream " << stream;
        ASSERT_TRUE(client.send("hello " + std::to_string(stream) + "\n"));
        EXPECT_EQ(client.receiveExactly(12), "250 hello " + std::to_string(stream) + "\n");
        ASSERT_TRUE(waitReadable(client.fd(), std::chrono::seconds(5)));
        char byte = 0;
        EXPECT_EQ(recv(client.fd(), &byte, 1, 0), 0) << "stream " << stream << " ends in order, not cut";
    }
}

TEST(FerrowEndToEnd, UnderlyingProxyChainsOneNodeThroughAnother)
{
    const auto entryKey = newPsk();
    const auto exitKey = newPsk();
    ServerProcess entry(keyed(entryKey));
    ServerProcess exit(keyed(exitKey));
    ASSERT_TRUE(entry.started() && exit.started());
    auto echo = makeEchoServer();
    CoreProcess core(profile("[Proxy]\n" + node("Entry", entry.port(), entryKey) +
                             node("Exit", exit.port(), exitKey, ", underlying-proxy=Entry") +
                             "[Rule]\nFINAL,Exit\n"));
    ASSERT_TRUE(core.started());
    EXPECT_EQ(echoThrough(core.socksPort(), echo->port(), "chained"), "chained");
    EXPECT_TRUE(entry.waitForLines("-> 127.0.0.1:" + std::to_string(exit.port()), 1));
    EXPECT_TRUE(exit.waitForLines("-> 127.0.0.1:" + std::to_string(echo->port()), 1));

    // A chain that loops is refused with a line naming the node, not followed forever.
    core.writeProfile("[Proxy]\n" + node("A", entry.port(), entryKey, ", underlying-proxy=B") +
                      node("B", entry.port(), entryKey, ", underlying-proxy=A") + "[Rule]\nFINAL,A\n");
    ASSERT_EQ(core.post("/reload")["ok"], true);
    Socket client(core.socksPort());
    EXPECT_NE(socks5Connect(client, "127.0.0.1", echo->port()), 0);
    EXPECT_TRUE(core.logContains("underlying-proxy chain is longer than"));
}

TEST(FerrowServerCommandLine, RefusesMissingOrWeakKeysAndBadOptions)
{
    char pattern[] = "/tmp/ferrow-cli-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    std::ofstream(folder / "short") << "psk-goes-here\n";
    auto [status, text] = runServer({"--listen", "127.0.0.1:0", "--psk-file", (folder / "missing").string()});
    EXPECT_EQ(status, 2);
    EXPECT_NE(text.find("cannot read key file"), std::string::npos);
    std::tie(status, text) =
        runServer({"--listen", "127.0.0.1:0", "--psk-file", (folder / "short").string()});
    EXPECT_EQ(status, 2);
    EXPECT_NE(text.find("too short"), std::string::npos);
    std::tie(status, text) = runServer({"--listen", "127.0.0.1:0"});
    EXPECT_EQ(status, 2);
    std::tie(status, text) = runServer({"--probe-timeout", "9-3", "--psk-file", "x"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(text.find("probe-timeout"), std::string::npos);
    std::ofstream(folder / "key") << newPsk() << "\n";
    std::tie(status, text) = runServer({"--listen", "nowhere", "--psk-file", (folder / "key").string()});
    EXPECT_EQ(status, 1);
    std::filesystem::remove_all(folder);
}

TEST(FerrowEndToEnd, ABurstOfStreamsKeepsTheHandshakesUnderWayBelowTheServersLimit)
{
    // A server that never answers: every handshake stays under way, so what it holds is how
    // many the core runs at once.
    HoldingServer silent;
    auto options = profile("[Proxy]\n" + node("N", silent.port(), newPsk()) + "[Rule]\nFINAL,N\n");
    options.extraArguments = {"-lanes", "3"}; // the budget holds across every lane's pool
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::vector<Socket> clients;
    for (int i = 0; i < 100; ++i) {
        Socket& client = clients.emplace_back(core.socksPort());
        ASSERT_TRUE(client.send(std::string("\x05\x01\x00", 3)));
        ASSERT_EQ(client.receiveExactly(2), std::string("\x05\x00", 2));
        ASSERT_TRUE(client.send(std::string("\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50", 10)));
    }
    EXPECT_TRUE(waitUntil([&] { return silent.held() == 32; })) << silent.held();
    EXPECT_FALSE(waitUntil([&] { return silent.held() > 32; }, std::chrono::milliseconds(300)))
        << silent.held();
    // Those handshakes fail; the streams that waited start theirs.
    silent.release();
    EXPECT_TRUE(waitUntil([&] { return silent.held() == 32; })) << silent.held();
    silent.release();
}

TEST(FerrowEndToEnd, AnIdleStreamIsCutByEitherEndsLimitAndABusyOneKept)
{
    const auto psk = newPsk();
    auto echo = makeEchoServer();
    // One end at a time holds the limit: the server's pump, then the core's.
    for (const bool serverLimit : {true, false}) {
        SCOPED_TRACE(serverLimit ? "server's idle-timeout" : "core's relay-idle-timeout");
        auto serverOptions = keyed(psk);
        if (serverLimit) {
            serverOptions.extraArguments = {"--idle-timeout", "1"};
        }
        ServerProcess server(serverOptions);
        ASSERT_TRUE(server.started()) << server.stderrText();
        CoreProcess core(profile(std::string(serverLimit ? "" : "[General]\nrelay-idle-timeout = 1\n") +
                                 "[Proxy]\n" + node("N", server.port(), psk) + "[Rule]\nFINAL,N\n"));
        ASSERT_TRUE(core.started()) << core.stderrText();
        Socket idle(core.socksPort());
        ASSERT_EQ(socks5Connect(idle, "127.0.0.1", echo->port()), 0);
        ASSERT_TRUE(idle.send("once"));
        ASSERT_EQ(idle.receiveExactly(4), "once");
        Socket busy(core.socksPort());
        ASSERT_EQ(socks5Connect(busy, "127.0.0.1", echo->port()), 0);
        const auto outcome = keepBusyUntilIdleCut(idle, busy, std::chrono::seconds(4));
        ASSERT_TRUE(outcome.busyKept) << "a stream in use is never cut";
        EXPECT_TRUE(outcome.cut) << "a stream silent for longer than the limit is cut";
        EXPECT_GE(outcome.after, std::chrono::milliseconds(700)) << "not before it";
        ASSERT_TRUE(busy.send("tock"));
        EXPECT_EQ(busy.receiveExactly(4), "tock");
    }
}
