#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

#include "AsioTimeout.h"
#include "CoreTestSupport.h"
#include "DnsMessage.h"
#include "FerrowClient.h"
#include "LoopbackPair.h"
#include "ServerProcess.h"

using namespace ferrow::test;
namespace proto = ferrow::proto;
namespace asio = boost::asio;

namespace {

/// The client library on its own io_context thread, dialling a server on loopback.
class ClientHarness {
public:
    ClientHarness() : m_guard(m_io.get_executor()), m_thread([this] { m_io.run(); })
    {
        m_client = std::make_unique<proto::FerrowClient>(m_io.get_executor(),
                                                         [this] { return m_io.get_executor(); });
    }
    ~ClientHarness()
    {
        asio::co_spawn(
            m_io,
            [this]() -> asio::awaitable<int> {
                m_client.reset();
                co_return 0;
            },
            asio::use_future)
            .get();
        m_guard.reset();
        m_io.stop();
        m_thread.join();
    }

    template <typename Coroutine>
    auto run(Coroutine coroutine)
    {
        return asio::co_spawn(m_io, coroutine(), asio::use_future).get();
    }

    proto::FerrowClient& client() { return *m_client; }

    static proto::WireDialer direct(std::uint16_t port)
    {
        return [port]() -> asio::awaitable<proto::WireResult> {
            std::vector<asio::ip::address> addresses{asio::ip::make_address("127.0.0.1")};
            co_return co_await proto::connectDirect(addresses, port, proto::FastOpen::Auto,
                                                    std::chrono::seconds(5));
        };
    }

private:
    asio::io_context m_io;
    asio::executor_work_guard<asio::io_context::executor_type> m_guard;
    std::thread m_thread;
    std::unique_ptr<proto::FerrowClient> m_client;
};

} // namespace

TEST(FerrowClientLibrary, DnsQueryTravelsAsUdpInsideTheStream)
{
    ServerProcess::Options options;
    options.psk = newPsk();
    ServerProcess server(options);
    ASSERT_TRUE(server.started());
    FakeDnsServer dns(std::map<std::string, std::string>{{"through.node.test", "192.0.2.55"}});
    ClientHarness harness;
    const proto::NodeSettings node{"N",         "127.0.0.1",           server.port(),
                                   options.psk, proto::FastOpen::Auto, false};

    const auto answer = harness.run([&]() -> asio::awaitable<std::string> {
        std::string error;
        auto datagrams =
            co_await harness.client().openDatagrams(node, ClientHarness::direct(server.port()), error);
        if (!datagrams) {
            co_return "open failed: " + error;
        }
        const auto query =
            ferrow::core::dns::buildQuery(0x4242, "through.node.test", ferrow::core::dns::kTypeA);
        const auto peer = *proto::Target::fromHost("127.0.0.1", dns.port());
        if (!co_await datagrams->send(peer, *query)) {
            co_return "send failed";
        }
        const auto reply = co_await datagrams->receive();
        if (!reply) {
            co_return "no reply";
        }
        if (reply->peer.toString() != peer.toString()) {
            co_return "reply from " + reply->peer.toString();
        }
        const auto parsed = ferrow::core::dns::parseResponse(reply->payload, 0x4242);
        co_return parsed.addresses.empty() ? "no address: " + parsed.error : parsed.addresses[0].toString();
    });
    EXPECT_EQ(answer, "192.0.2.55");
    EXPECT_EQ(dns.queries(), 1U);
}

TEST(FerrowClientLibrary, DeadPooledConnectionsAreDroppedAtOnce)
{
    ServerProcess::Options options;
    options.psk = newPsk();
    auto server = std::make_unique<ServerProcess>(options);
    ASSERT_TRUE(server->started());
    auto echo = makeEchoServer();
    ClientHarness harness;
    const proto::NodeSettings node{"N", "127.0.0.1", server->port(), options.psk, proto::FastOpen::Off, true};
    auto pooled = [&] {
        return harness.run(
            [&]() -> asio::awaitable<std::size_t> { co_return harness.client().pooled(node); });
    };
    const auto opened = harness.run([&]() -> asio::awaitable<bool> {
        auto stream = co_await harness.client().open(
            node, *proto::Target::fromHost("127.0.0.1", echo->port()), ClientHarness::direct(server->port()));
        co_return stream.socket.has_value();
    });
    ASSERT_TRUE(opened);
    ASSERT_TRUE(server->waitForLines("authenticated", 3));
    const auto until = [&](auto predicate) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!predicate() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the pool has no change event
        }
        return predicate();
    };
    EXPECT_TRUE(until([&] { return pooled() >= 2; })) << "the pool was filled";
    // The first stream starts the pool at its size: three connections, not five.
    EXPECT_FALSE(server->waitForLines("authenticated", 4, std::chrono::milliseconds(500)));
    server->stop();
    EXPECT_TRUE(until([&] { return pooled() == 0; })) << "the closed connections left the pool";
}

TEST(FerrowClientLibrary, NodesThatDifferOnlyInPortKeyOrFastOpenNeverShareAPool)
{
    ServerProcess::Options options;
    options.psk = newPsk();
    ServerProcess server(options);
    ASSERT_TRUE(server.started());
    auto echo = makeEchoServer();
    ClientHarness harness;
    const proto::NodeSettings node{"N", "127.0.0.1", server.port(), options.psk, proto::FastOpen::Off, true};
    auto otherPort = node;
    otherPort.port = static_cast<std::uint16_t>(node.port + 1);
    auto otherKey = node;
    otherKey.psk = newPsk();
    auto otherFastOpen = node;
    otherFastOpen.fastOpen = proto::FastOpen::Auto;
    const auto pooled = [&](const proto::NodeSettings& which) {
        return harness.run(
            [&]() -> asio::awaitable<std::size_t> { co_return harness.client().pooled(which); });
    };
    const auto open = [&](const proto::NodeSettings& which) {
        return harness.run([&]() -> asio::awaitable<bool> {
            auto stream =
                co_await harness.client().open(which, *proto::Target::fromHost("127.0.0.1", echo->port()),
                                               ClientHarness::direct(server.port()));
            co_return stream.socket.has_value();
        });
    };
    ASSERT_TRUE(open(node));
    ASSERT_TRUE(server.waitForLines("authenticated", 3)); // the stream and a pool of two
    EXPECT_EQ(pooled(otherPort), 0U);
    EXPECT_EQ(pooled(otherKey), 0U);
    EXPECT_EQ(pooled(otherFastOpen), 0U);
    // Another node's stream makes its own handshake rather than taking one of `node`'s.
    ASSERT_TRUE(open(otherFastOpen));
    EXPECT_TRUE(server.waitForLines("authenticated", 4));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pooled(node) < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the pool has no change event
    }
    EXPECT_EQ(pooled(node), 2U) << "the first node's pool was left alone";
}

TEST(FerrowClientLibrary, LoopbackPairsAreConnectedToEachOtherAndNeverToAStranger)
{
    const auto endsMeet = [](int a, int b) {
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t size = sizeof local;
        getsockname(a, reinterpret_cast<sockaddr*>(&local), &size);
        size = sizeof peer;
        getpeername(b, reinterpret_cast<sockaddr*>(&peer), &size);
        return local.sin_port == peer.sin_port && send(a, "x", 1, MSG_NOSIGNAL) == 1;
    };
    std::string error;
    auto [first, second] = proto::makeLoopbackPair(error);
    ASSERT_GE(first, 0) << error;
    EXPECT_TRUE(endsMeet(first, second));

    // Another local program connecting to the same listener is turned away, not paired.
    sockaddr_in listener{};
    socklen_t size = sizeof listener;
    getsockname(second, reinterpret_cast<sockaddr*>(&listener), &size);
    const int stranger = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(stranger, reinterpret_cast<sockaddr*>(&listener), sizeof listener), 0);
    auto [third, fourth] = proto::makeLoopbackPair(error);
    ASSERT_GE(third, 0) << error;
    EXPECT_TRUE(endsMeet(third, fourth));
    char byte = 0;
    EXPECT_EQ(recv(stranger, &byte, 1, 0), 0) << "the stranger's connection was closed";
    for (const int fd : {first, second, third, fourth, stranger}) {
        close(fd);
    }
}

TEST(FerrowClientLibrary, AConnectThatIsNeverAnsweredEndsAtItsLimitAndOneThatIsAnsweredDoesNot)
{
    // Backlog 0 and one queued connection: the listener drops further handshakes unanswered.
    std::uint16_t port = 0;
    const int listener = listenLoopback(port, 0);
    ASSERT_GE(listener, 0);
    const int queued = connectTcp(port);
    ASSERT_GE(queued, 0);
    ClientHarness harness;
    const auto endpoint = asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port);
    const auto attempt = [&](std::chrono::milliseconds limit) {
        return harness.run([&]() -> asio::awaitable<std::pair<boost::system::error_code, double>> {
            asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
            const auto started = std::chrono::steady_clock::now();
            const auto error = co_await ferrow::connectWithin(socket, endpoint, limit);
            co_return std::pair{
                error, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()};
        });
    };
    const auto [error, seconds] = attempt(std::chrono::milliseconds(300));
    EXPECT_EQ(error, asio::error::timed_out);
    EXPECT_GE(seconds, 0.25);
    EXPECT_LT(seconds, 3.0);

    // Once the queue has room the same listener answers, well within a limit that then never fires.
    const int accepted = accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    EXPECT_FALSE(attempt(std::chrono::seconds(5)).first);
    for (const int fd : {accepted, queued, listener}) {
        close(fd);
    }
}
