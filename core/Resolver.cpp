#include "Resolver.h"

#include <boost/asio/ip/udp.hpp>

#include "DnsMessage.h"
#include "SocketMark.h"
#include "ferrow/AsioTimeout.h"

namespace ferrow::core {

namespace {
constexpr auto kServerTimeout = std::chrono::seconds(3);
constexpr std::size_t kCacheLimit = 4096;
} // namespace

Resolver::Resolver(asio::any_io_executor executor) : m_executor(std::move(executor))
{
}

void Resolver::configure(std::vector<std::string> dnsServers, HostsFile hosts)
{
    m_servers = std::move(dnsServers);
    m_hosts = std::move(hosts);
    m_cache.clear();
}

asio::awaitable<Resolver::Result> Resolver::askServer(const std::string& server, const std::string& host,
                                                      std::uint16_t type)
{
    using asio::ip::udp;
    Result result;
    udp::endpoint endpoint;
    if (const auto hostPort = HostPort::parse(server); hostPort && IpAddr::parse(hostPort->host)) {
        endpoint = udp::endpoint(toAsio(*IpAddr::parse(hostPort->host)), hostPort->port);
    } else if (const auto address = IpAddr::parse(server)) {
        endpoint = udp::endpoint(toAsio(*address), 53);
    } else {
        result.error = "bad DNS server " + server;
        co_return result;
    }
    const std::uint16_t id = m_nextId++;
    const auto query = dns::buildQuery(id, host, type);
    if (!query) {
        result.error = "\"" + host + "\" is not a valid host name";
        co_return result;
    }
    udp::socket socket(m_executor);
    boost::system::error_code ec;
    socket.open(endpoint.protocol(), ec);
    if (!ec && !markOutbound(socket.native_handle())) {
        ec = asio::error::access_denied;
    }
    if (ec) {
        result.error = ec.message();
        co_return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + kServerTimeout;
    const auto lateText = "DNS server " + server + " did not answer in time";
    auto send = withDeadline(socket.async_send_to(asio::buffer(*query), endpoint, useTuple), deadline);
    const auto sent = co_await std::move(send);
    if (!sent) {
        result.error = lateText;
        co_return result;
    }
    if (const auto [sendError, n] = *sent; sendError) {
        result.error = "DNS server " + server + ": " + sendError.message();
        co_return result;
    }
    std::array<char, 4096> buffer;
    while (true) {
        udp::endpoint from;
        auto receive =
            withDeadline(socket.async_receive_from(asio::buffer(buffer), from, useTuple), deadline);
        const auto outcome = co_await std::move(receive);
        if (!outcome) {
            result.error = lateText;
            co_return result;
        }
        const auto [receiveError, received] = *outcome;
        if (receiveError) {
            result.error = receiveError == asio::error::operation_aborted
                               ? lateText
                               : "DNS server " + server + ": " + receiveError.message();
            co_return result;
        }
        if (from != endpoint) {
            continue; // not our server: ignore spoofing attempts
        }
        const auto answer = dns::parseResponse(std::string_view(buffer.data(), received), id);
        if (!answer.ok && answer.error == "not a response to our query") {
            continue;
        }
        if (!answer.ok) {
            result.error = host + ": " + answer.error;
        } else {
            result.addresses = answer.addresses;
        }
        co_return result;
    }
}

asio::awaitable<Resolver::Result> Resolver::resolve(std::string host)
{
    Result result;
    if (const auto literal = IpAddr::parse(host)) {
        result.addresses.push_back(*literal);
        co_return result;
    }
    host = toLower(host);
    if (const auto* listed = m_hosts.find(host)) {
        result.addresses = *listed;
        co_return result;
    }
    const auto now = std::chrono::steady_clock::now();
    if (const auto it = m_cache.find(host); it != m_cache.end()) {
        if (it->second.expiry > now) {
            result.addresses = it->second.addresses;
            co_return result;
        }
        m_cache.erase(it);
    }
    if (!m_servers.empty()) {
        for (const auto& server : m_servers) {
            result = co_await askServer(server, host, dns::kTypeA);
            if (result.addresses.empty() && result.error.empty()) {
                result = co_await askServer(server, host, dns::kTypeAAAA);
            }
            if (!result.addresses.empty()) {
                break;
            }
        }
        if (result.addresses.empty() && result.error.empty()) {
            result.error = host + " has no address";
        }
    } else {
        tcp::resolver resolver(m_executor);
        auto [error, entries] = co_await resolver.async_resolve(host, "", useTuple);
        if (error) {
            result.error = host + ": " + error.message();
        }
        for (const auto& entry : entries) {
            result.addresses.push_back(fromAsio(entry.endpoint().address()));
        }
    }
    if (!result.addresses.empty()) {
        if (m_cache.size() >= kCacheLimit) {
            m_cache.clear();
        }
        m_cache[host] = {now + std::chrono::seconds(60), result.addresses};
    }
    co_return result;
}

} // namespace ferrow::core
