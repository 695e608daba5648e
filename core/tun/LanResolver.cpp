#include "LanResolver.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/steady_timer.hpp>

#include "AcceptNext.h"
#include "LogStream.h"
#include "TunnelDns.h"

namespace ferrow::tun {

namespace asio = boost::asio;
using core::IpAddr;
using core::useTuple;
using tcp = asio::ip::tcp;
using udp = asio::ip::udp;

namespace {

// A flood from one device must not hold a socket per question for seconds, nor every descriptor.
constexpr int kMaxPendingQueries = 256;
constexpr int kMaxOpenStreams = 64;

int socketOption(int fd, int level, int name)
{
    int value = 0;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

} // namespace

bool isLanSource(const IpAddr& source)
{
    static const std::vector<core::Cidr> lan = [] {
        std::vector<core::Cidr> ranges;
        for (const char* text :
             {"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "169.254.0.0/16", "fc00::/7", "fe80::/10"}) {
            ranges.push_back(*core::Cidr::parse(text));
        }
        return ranges;
    }();
    const IpAddr folded = source.folded();
    return std::any_of(lan.begin(), lan.end(),
                       [&](const core::Cidr& range) { return range.contains(folded); });
}

LanResolver::LanResolver(asio::io_context& io, TunnelDns& dns, core::LogStream& log)
    : m_io(io), m_dns(dns), m_log(log)
{
}

LanResolver::~LanResolver()
{
    stop();
}

void LanResolver::serve(const std::vector<int>& descriptors)
{
    for (const int fd : descriptors) {
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        const int type = socketOption(fd, SOL_SOCKET, SO_TYPE);
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
            (bound.ss_family != AF_INET && bound.ss_family != AF_INET6) ||
            (type != SOCK_DGRAM && type != SOCK_STREAM)) {
            m_log.warning("gateway DNS: descriptor " + std::to_string(fd) + " is not an IP socket; ignored");
            ::close(fd);
            continue;
        }
        const bool v6 = bound.ss_family == AF_INET6;
        boost::system::error_code error;
        if (type == SOCK_DGRAM) {
            auto socket = std::make_shared<udp::socket>(m_io);
            socket->assign(v6 ? udp::v6() : udp::v4(), fd, error);
            if (!error) {
                m_log.info("gateway DNS: answering devices on " +
                           socket->local_endpoint(error).address().to_string());
                m_datagrams.push_back(socket);
                asio::co_spawn(m_io, serveDatagrams(socket), asio::detached);
            }
        } else {
            auto acceptor = std::make_shared<tcp::acceptor>(m_io);
            acceptor->assign(v6 ? tcp::v6() : tcp::v4(), fd, error);
            if (!error && socketOption(fd, SOL_SOCKET, SO_ACCEPTCONN) != 1) {
                acceptor->listen(asio::socket_base::max_listen_connections, error);
            }
            if (!error) {
                m_acceptors.push_back(acceptor);
                asio::co_spawn(m_io, acceptStreams(acceptor), asio::detached);
            }
        }
        if (error) {
            m_log.warning("gateway DNS: cannot use descriptor " + std::to_string(fd) + ": " +
                          error.message());
        }
    }
}

void LanResolver::stop()
{
    boost::system::error_code ignored;
    for (const auto& socket : m_datagrams) {
        socket->close(ignored);
    }
    for (const auto& acceptor : m_acceptors) {
        acceptor->close(ignored);
    }
    m_datagrams.clear();
    m_acceptors.clear();
}

asio::awaitable<void> LanResolver::serveDatagrams(std::shared_ptr<udp::socket> socket)
{
    std::string buffer(65535, '\0');
    while (socket->is_open()) {
        udp::endpoint peer;
        auto [error, size] = co_await socket->async_receive_from(asio::buffer(buffer), peer, useTuple);
        if (error == asio::error::operation_aborted || !socket->is_open()) {
            co_return;
        }
        if (error || size == 0 || !isLanSource(core::fromAsio(peer.address())) ||
            m_pendingQueries >= kMaxPendingQueries) {
            continue;
        }
        ++m_pendingQueries;
        asio::co_spawn(m_io, answerDatagram(socket, buffer.substr(0, size), peer),
                       [this](const std::exception_ptr&) { --m_pendingQueries; });
    }
}

asio::awaitable<void> LanResolver::answerDatagram(std::shared_ptr<udp::socket> socket, std::string query,
                                                  udp::endpoint peer)
{
    const auto reply = co_await m_dns.answer(std::move(query), core::fromAsio(peer.address()));
    if (reply.empty() || !socket->is_open()) {
        co_return;
    }
    co_await socket->async_send_to(asio::buffer(reply), peer, useTuple);
}

asio::awaitable<void> LanResolver::acceptStreams(std::shared_ptr<tcp::acceptor> acceptor)
{
    while (auto accepted = co_await core::acceptNext(*acceptor, std::chrono::milliseconds(50))) {
        tcp::socket socket = std::move(*accepted);
        boost::system::error_code peerError;
        const auto peer = socket.remote_endpoint(peerError);
        if (peerError || !isLanSource(core::fromAsio(peer.address())) || m_openStreams >= kMaxOpenStreams) {
            continue;
        }
        ++m_openStreams;
        asio::co_spawn(m_io, m_dns.serveStream(std::move(socket), core::fromAsio(peer.address())),
                       [this](const std::exception_ptr&) { --m_openStreams; });
    }
}

} // namespace ferrow::tun
