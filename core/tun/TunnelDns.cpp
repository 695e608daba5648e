#include "TunnelDns.h"

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include "CoreService.h"
#include "DnsMessage.h"
#include "SocketMark.h"
#include "ferrow/AsioTimeout.h"

namespace ferrow::tun {

namespace asio = boost::asio;
using core::IpAddr;
using core::useTuple;
using tcp = asio::ip::tcp;
using udp = asio::ip::udp;

namespace {

constexpr std::uint32_t kFakeTtl = 10;
constexpr auto kUpstreamDnsTimeout = std::chrono::seconds(5);
constexpr auto kDnsStreamIdle = std::chrono::seconds(30);

} // namespace

TunnelDns::TunnelDns(asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps)
    : m_io(io), m_core(core), m_fakeIps(fakeIps)
{
}

asio::awaitable<void> TunnelDns::serveStream(tcp::socket socket, IpAddr source)
{
    using Outcome = std::optional<std::tuple<boost::system::error_code, std::size_t>>;
    const auto failed = [](const Outcome& outcome) { return !outcome || std::get<0>(*outcome); };
    // Each message is preceded by its length; the client may send several on one connection.
    while (true) {
        // A client that sends nothing more is let go after a while instead of holding the flow.
        const auto deadline = std::chrono::steady_clock::now() + kDnsStreamIdle;
        unsigned char prefix[2];
        auto readPrefix = withDeadline(asio::async_read(socket, asio::buffer(prefix), useTuple), deadline);
        if (failed(co_await std::move(readPrefix))) {
            co_return;
        }
        std::string query((prefix[0] << 8) | prefix[1], '\0');
        auto readQuery = withDeadline(asio::async_read(socket, asio::buffer(query), useTuple), deadline);
        if (failed(co_await std::move(readQuery))) {
            co_return;
        }
        const auto reply = co_await answer(query, source);
        if (reply.empty() || reply.size() > 65535 || std::chrono::steady_clock::now() >= deadline) {
            co_return;
        }
        std::string framed;
        framed += static_cast<char>(reply.size() >> 8);
        framed += static_cast<char>(reply.size() & 0xff);
        framed += reply;
        auto write = withDeadline(asio::async_write(socket, asio::buffer(framed), useTuple), deadline);
        if (failed(co_await std::move(write))) {
            co_return;
        }
    }
}

asio::awaitable<std::string> TunnelDns::answer(std::string query, IpAddr source)
{
    const auto question = parseQuestion(query);
    if (!question) {
        co_return std::string();
    }
    const bool address = question->type == core::dns::kTypeA || question->type == core::dns::kTypeAAAA;
    const auto& general = m_core.general();
    // Names without a dot (a local host) and filtered names get real answers.
    const bool fake = address && question->klass == 1 && question->name.find('.') != std::string::npos &&
                      !matchesFilter(general.fakeIpFilter, question->name);
    if (fake) {
        if (question->type == core::dns::kTypeAAAA) {
            // No fake IPv6 range: an empty answer sends dual-stack clients to the fake IPv4.
            co_return buildAnswer(query, *question, {}, kFakeTtl);
        }
        if (const auto given =
                m_fakeIps.addressFor(question->name, source, std::chrono::steady_clock::now())) {
            co_return buildAnswer(query, *question, {*given}, kFakeTtl);
        }
        // No address may change hands now: the real answer serves the client instead.
    }
    auto answer = co_await forward(query);
    if (answer.empty()) {
        co_return buildAnswer(query, *question, {}, 0, 2); // SERVFAIL
    }
    co_return answer;
}

asio::awaitable<std::string> TunnelDns::forward(const std::string& query)
{
    for (const auto& server : m_core.upstreamDnsServers()) {
        const auto hostPort = core::HostPort::parse(server);
        const auto address = IpAddr::parse(hostPort ? hostPort->host : server);
        if (!address) {
            continue;
        }
        const udp::endpoint endpoint(core::toAsio(*address),
                                     hostPort && hostPort->port ? hostPort->port : 53);
        udp::socket socket(m_io);
        boost::system::error_code ec;
        socket.open(endpoint.protocol(), ec);
        if (ec || !core::markOutbound(socket.native_handle())) {
            continue;
        }
        socket.connect(endpoint, ec);
        if (ec) {
            continue;
        }
        const auto deadline = std::chrono::steady_clock::now() + kUpstreamDnsTimeout;
        auto send = withDeadline(socket.async_send(asio::buffer(query), useTuple), deadline);
        const auto sent = co_await std::move(send);
        if (!sent || std::get<0>(*sent)) {
            continue;
        }
        std::string answer(65535, '\0');
        while (true) {
            auto receive = withDeadline(socket.async_receive(asio::buffer(answer), useTuple), deadline);
            const auto outcome = co_await std::move(receive);
            if (!outcome || std::get<0>(*outcome)) {
                break;
            }
            const auto received = std::get<1>(*outcome);
            // Only the answer to this query: same id, response bit set.
            if (received >= 12 && answer[0] == query[0] && answer[1] == query[1] && (answer[2] & 0x80)) {
                answer.resize(received);
                co_return answer;
            }
        }
    }
    co_return std::string();
}

} // namespace ferrow::tun
