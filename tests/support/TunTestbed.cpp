#include "TunTestbed.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "FakeDns.h"
#include "LoopbackSocket.h"
#include "TestBytes.h"

namespace ferrow::test {

namespace {

constexpr std::size_t kBigSize = std::size_t{64} << 20;

sockaddr_storage socketAddress(const std::string& address, std::uint16_t port, socklen_t& length)
{
    sockaddr_storage storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else {
        ::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    }
    return storage;
}

int boundSocket(int type, const std::string& address, std::uint16_t port)
{
    socklen_t length = 0;
    const auto where = socketAddress(address, port, length);
    const int fd = ::socket(where.ss_family, type | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), length) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 256) != 0)) {
        std::cerr << "testbed: cannot serve on " << address << " port " << port << ": "
                  << std::strerror(errno) << "\n";
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int connectIn(const NetworkNamespace& ns, const std::string& address, std::uint16_t port)
{
    int fd = -1;
    ns.run([&] {
        socklen_t length = 0;
        const auto where = socketAddress(address, port, length);
        fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), length) != 0) {
            ::close(fd);
            fd = -1;
        }
    });
    return fd;
}

std::string expectedBigDigest(std::size_t size)
{
    return sha256Hex(patternBytes(size));
}

TunTestbed::TunTestbed()
{
    if (!connectNamespaces(host, "frwh0", "10.77.0.1/24", internet, "frwi0", "10.77.0.2/24") ||
        !internet.ip(std::string("addr add ") + kOriginAddress + "/32 dev lo") ||
        !host.ip("route add default via 10.77.0.2") || !internet.ip("route add 10.88.0.0/16 via 10.77.0.1") ||
        !host.ip("addr add fd00:77::1/64 dev frwh0 nodad") ||
        !internet.ip("addr add fd00:77::2/64 dev frwi0 nodad") ||
        !internet.ip(std::string("addr add ") + kOriginAddress6 + "/128 dev lo nodad") ||
        !host.ip("-6 route add default via fd00:77::2")) {
        std::cerr << "testbed: the namespaces could not be joined and addressed\n";
        return;
    }
    int http = -1;
    int http6 = -1;
    int dns = -1;
    int echo = -1;
    internet.run([&] {
        http = boundSocket(SOCK_STREAM, kOriginAddress, 80);
        http6 = boundSocket(SOCK_STREAM, kOriginAddress6, 80);
        dns = boundSocket(SOCK_DGRAM, kInternetDns, 53);
        echo = boundSocket(SOCK_DGRAM, kOriginAddress, 7);
    });
    if (http < 0 || http6 < 0 || dns < 0 || echo < 0) {
        return;
    }
    m_fds = {http, http6, dns, echo};
    m_threads.emplace_back([this, http6] { serveHttp(http6); });
    // Several acceptors on one socket, so concurrent clients are served at once.
    for (int i = 0; i < 16; ++i) {
        m_threads.emplace_back([this, http] { serveHttp(http); });
    }
    m_threads.emplace_back([this, dns] { serveDatagrams(dns, dnsAnswer); });
    m_threads.emplace_back([this, echo] { serveDatagrams(echo, echoed); });
    m_ready = true;
}

TunTestbed::~TunTestbed()
{
    m_stopping = true;
    for (const int fd : m_fds) {
        ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& thread : m_threads) {
        thread.join();
    }
    for (const int fd : m_fds) {
        ::close(fd);
    }
}

void TunTestbed::serveEchoIn(const NetworkNamespace& ns, const std::string& address)
{
    int fd = -1;
    ns.run([&] { fd = boundSocket(SOCK_DGRAM, address, 7); });
    if (fd >= 0) {
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] { serveDatagrams(fd, echoed); });
    }
}

bool TunTestbed::serveDnsIn(const NetworkNamespace& ns, const std::string& address, std::uint16_t port)
{
    int fd = -1;
    ns.run([&] { fd = boundSocket(SOCK_DGRAM, address, port); });
    if (fd < 0) {
        return false;
    }
    m_fds.push_back(fd);
    m_threads.emplace_back([this, fd] { serveDatagrams(fd, dnsAnswer); });
    return true;
}

bool TunTestbed::serveShortAnswers(const std::string& range, std::uint16_t firstPort, int portCount)
{
    if (!internet.ip("route add local " + range + " dev lo table local")) {
        return false;
    }
    std::vector<int> listeners;
    internet.run([&] {
        for (int i = 0; i < portCount; ++i) {
            listeners.push_back(
                boundSocket(SOCK_STREAM, "0.0.0.0", static_cast<std::uint16_t>(firstPort + i)));
        }
    });
    bool bound = true;
    for (const int fd : listeners) {
        bound = bound && fd >= 0;
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            ::listen(fd, 4096); // a burst of connections must not overflow the queue
            m_fds.push_back(fd);
        }
    }
    if (!bound) {
        return false;
    }
    m_threads.emplace_back([this, listeners] { serveShort(listeners); });
    return true;
}

void TunTestbed::serveShort(const std::vector<int>& listeners)
{
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    for (const int fd : listeners) {
        epoll_event event{EPOLLIN, {.u64 = 1ull << 32 | static_cast<std::uint32_t>(fd)}};
        ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
    }
    std::map<int, bool> answered; // open connections, and whether each got its answer
    char buffer[4096];
    epoll_event ready[64];
    while (!m_stopping) {
        const int count = ::epoll_wait(poller, ready, 64, 100);
        for (int i = 0; i < count; ++i) {
            const int fd = static_cast<int>(ready[i].data.u64 & 0xffffffffu);
            if (ready[i].data.u64 >> 32 != 0) {
                int client = -1;
                while ((client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
                    epoll_event event{EPOLLIN, {.u64 = static_cast<std::uint32_t>(client)}};
                    ::epoll_ctl(poller, EPOLL_CTL_ADD, client, &event);
                    answered[client] = false;
                }
                continue;
            }
            ssize_t got = 0;
            while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
                if (!answered[fd]) {
                    answered[fd] = true;
                    ::send(fd, kShortAnswer, sizeof kShortAnswer - 1, MSG_NOSIGNAL);
                    ::shutdown(fd, SHUT_WR);
                }
            }
            if (got == 0 || errno != EAGAIN) {
                ::close(fd); // also leaves the poller
                answered.erase(fd);
            }
        }
    }
    for (const auto& [fd, done] : answered) {
        ::close(fd);
    }
    ::close(poller);
}

void TunTestbed::serveHttp(int listenFd)
{
    while (!m_stopping) {
        const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (m_stopping || errno == EINVAL) {
                return;
            }
            continue;
        }
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos &&
               waitReadable(client, std::chrono::seconds(5))) {
            const auto got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(got));
        }
        const auto path = request.size() > 4 ? request.substr(4, request.find(' ', 4) - 4) : std::string();
        if (path == "/big") {
            sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBigSize) +
                                "\r\nConnection: close\r\n\r\n");
            const std::size_t chunk = std::size_t{1} << 20;
            for (std::size_t offset = 0; offset < kBigSize && !m_stopping; offset += chunk) {
                if (!sendAll(client, patternBytes(chunk, offset))) {
                    break;
                }
            }
        } else if (path.starts_with("/stream/")) {
            // For the benchmark: as many bytes as asked, from one prepared chunk.
            static const std::string chunk = patternBytes(std::size_t{1} << 20);
            const std::size_t size = std::stoull(path.substr(8)) << 20;
            sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                                "\r\nConnection: close\r\n\r\n");
            for (std::size_t sent = 0; sent < size && !m_stopping; sent += chunk.size()) {
                if (!sendAll(client, chunk)) {
                    break;
                }
            }
        } else {
            const std::string body = "hello from " + path;
            sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                "\r\nConnection: close\r\n\r\n" + body);
        }
        ::shutdown(client, SHUT_WR);
        while (waitReadable(client, std::chrono::seconds(2)) &&
               ::recv(client, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(client);
    }
}

void TunTestbed::serveDatagrams(int fd, const std::function<std::string(const std::string&)>& reply)
{
    char buffer[65536];
    while (!m_stopping) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const auto got =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got <= 0) {
            continue;
        }
        const std::string answer = reply(std::string(buffer, static_cast<std::size_t>(got)));
        if (!answer.empty()) {
            ::sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }
}

std::string TunTestbed::dnsAnswer(const std::string& query)
{
    const auto question = tun::parseQuestion(query);
    if (!question) {
        return {};
    }
    std::vector<core::IpAddr> addresses;
    if (question->name == "mapped.test") {
        // Loopback, only as an IPv4-mapped AAAA record.
        if (question->type == 28) {
            core::IpAddr mapped;
            mapped.v6 = true;
            mapped.bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
            addresses.push_back(mapped);
        }
        return tun::buildAnswer(query, *question, addresses, 300, 0);
    }
    if (question->type == 1 && question->name == "loopback.test") {
        addresses.push_back(*core::IpAddr::parse("127.0.0.1"));
    } else if (question->type == 1 && question->name.ends_with(".test")) {
        addresses.push_back(*core::IpAddr::parse(kOriginAddress));
    }
    return tun::buildAnswer(query, *question, addresses, 300, addresses.empty() ? 3 : 0);
}

NamespacedCore::NamespacedCore(const NetworkNamespace& ns, const std::string& profile,
                               const std::vector<std::string>& extraArguments,
                               const std::vector<std::pair<int, int>>& descriptors)
    : m_ns(ns)
{
    char pattern[] = "/tmp/ferrow-tun-test-XXXXXX";
    m_folder = ::mkdtemp(pattern);
    std::ofstream(m_folder / "profile.conf") << profile;
    std::vector<std::string> arguments = {"ip",
                                          "netns",
                                          "exec",
                                          ns.name(),
                                          FERROW_CORE_PATH,
                                          "-config",
                                          (m_folder / "profile.conf").string(),
                                          "-api",
                                          "127.0.0.1:0",
                                          "-api-info",
                                          (m_folder / "api.json").string(),
                                          "-tun-name",
                                          "utun9"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    ChildProcess::Options options;
    options.output = ChildStream::append(m_folder / "stderr.log");
    options.errorToOutput = true;
    options.descriptors = descriptors;
    m_process = std::make_unique<ChildProcess>(arguments, std::move(options));
    if (!m_process->started()) {
        m_process.reset();
    }
    // The api-info file appears once the tunnel and the listeners are up; a bounded wait.
    for (int i = 0; i < 500 && m_process; ++i) {
        std::ifstream file(m_folder / "api.json");
        const auto info = nlohmann::json::parse(file, nullptr, false);
        if (info.is_object() && info.contains("address")) {
            const auto address = info["address"].get<std::string>();
            m_apiPort = static_cast<std::uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
            return;
        }
        if (m_process->waitStatus(std::chrono::milliseconds(0))) {
            m_process.reset();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

NamespacedCore::~NamespacedCore()
{
    stop(SIGTERM);
    std::filesystem::remove_all(m_folder);
}

int NamespacedCore::pid() const
{
    return m_process ? m_process->pid() : -1;
}

int NamespacedCore::stop(int signal)
{
    if (!m_process) {
        return -1;
    }
    ::kill(m_process->pid(), signal);
    const auto status = m_process->waitStatus(std::chrono::seconds(10));
    if (!status) {
        m_process->stop(SIGKILL);
    }
    m_process.reset();
    return status.value_or(-1);
}

std::string NamespacedCore::log() const
{
    std::ifstream file(m_folder / "stderr.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string NamespacedCore::get(const std::string& target) const
{
    const auto reply =
        tcpExchange(m_ns, "127.0.0.1", m_apiPort,
                    "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_apiPort) +
                        "\r\nConnection: close\r\n\r\n");
    if (!reply) {
        return {};
    }
    const auto body = reply->find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply->substr(body + 4);
}

std::optional<std::string> tcpExchange(const NetworkNamespace& ns, const std::string& address,
                                       std::uint16_t port, const std::string& request, std::string* sha256)
{
    const int fd = connectIn(ns, address, port);
    if (fd < 0) {
        return std::nullopt;
    }
    if (!sendAll(fd, request)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string reply;
    char buffer[65536];
    bool reset = false;
    while (true) {
        const auto got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            reset = true;
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (reset && reply.empty()) {
        return std::nullopt;
    }
    if (sha256) {
        const auto body = reply.find("\r\n\r\n");
        *sha256 = sha256Hex(body == std::string::npos ? std::string() : reply.substr(body + 4));
    }
    return reply;
}

long long tcpDrain(const NetworkNamespace& ns, const std::string& address, std::uint16_t port,
                   const std::string& request)
{
    const int fd = connectIn(ns, address, port);
    if (fd < 0 || !sendAll(fd, request)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    std::vector<char> buffer(1 << 20);
    long long total = 0;
    ssize_t got = 0;
    while ((got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) {
        total += got;
    }
    ::close(fd);
    return got < 0 ? -1 : total;
}

std::string udpExchange(const NetworkNamespace& ns, const std::string& address, std::uint16_t port,
                        const std::string& payload, int attempts)
{
    std::string answer;
    ns.run([&] {
        socklen_t length = 0;
        const auto where = socketAddress(address, port, length);
        const int fd = ::socket(where.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&where), length);
        // Datagrams may be lost; a few tries, each with its own bounded wait.
        for (int attempt = 0; attempt < attempts && answer.empty(); ++attempt) {
            ::send(fd, payload.data(), payload.size(), 0);
            if (waitReadable(fd, std::chrono::seconds(2))) {
                char buffer[65536];
                const auto got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got > 0) {
                    answer.assign(buffer, static_cast<std::size_t>(got));
                }
            }
        }
        ::close(fd);
    });
    return answer;
}

bool pingIn(const NetworkNamespace& ns, const std::string& address)
{
    bool answered = false;
    ns.run([&] {
        socklen_t length = 0;
        const auto where = socketAddress(address, 0, length);
        const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd < 0) {
            return;
        }
        unsigned char request[16] = {8, 0, 0, 0, 0x46, 0x52, 0, 1, 'f', 'e', 'r', 'r', 'o', 'w', '!', '!'};
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < sizeof request; i += 2) {
            sum += (request[i] << 8) | request[i + 1];
        }
        sum = (sum & 0xffff) + (sum >> 16);
        sum = ~((sum & 0xffff) + (sum >> 16)) & 0xffff;
        request[2] = static_cast<unsigned char>(sum >> 8);
        request[3] = static_cast<unsigned char>(sum);
        ::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&where), length);
        // A raw socket sees every ICMP packet: wait for the reply that carries our identifier.
        for (int tries = 0; tries < 20 && !answered && waitReadable(fd, std::chrono::seconds(2)); ++tries) {
            unsigned char reply[1500];
            const auto got = ::recv(fd, reply, sizeof reply, 0);
            const std::size_t header = got > 0 ? std::size_t{reply[0] & 0x0fu} * 4 : 0;
            answered = got >= static_cast<ssize_t>(header + 16) && reply[header] == 0 &&
                       reply[header + 4] == 0x46 && reply[header + 5] == 0x52 &&
                       std::memcmp(reply + header + 8, request + 8, 8) == 0;
        }
        ::close(fd);
    });
    return answered;
}

std::optional<std::string> resolveIn(const NetworkNamespace& ns, const std::string& resolver,
                                     const std::string& name, bool overTcp, std::uint16_t type,
                                     int* answerCount, std::uint16_t port)
{
    std::string query("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
    std::size_t start = 0;
    while (start < name.size()) {
        const auto dot = std::min(name.find('.', start), name.size());
        query += static_cast<char>(dot - start);
        query += name.substr(start, dot - start);
        start = dot + 1;
    }
    query += std::string("\0\0", 2);
    query += static_cast<char>(type);
    query += std::string("\0\x01", 2);
    std::string answer;
    if (overTcp) {
        std::string framed;
        framed += static_cast<char>(query.size() >> 8);
        framed += static_cast<char>(query.size() & 0xff);
        const int fd = connectIn(ns, resolver, port);
        if (fd >= 0 && sendAll(fd, framed + query)) {
            char buffer[4096];
            while (answer.size() < 2 || answer.size() < 2 + std::size_t((std::uint8_t(answer[0]) << 8) |
                                                                        std::uint8_t(answer[1]))) {
                const auto got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    break;
                }
                answer.append(buffer, static_cast<std::size_t>(got));
            }
            answer = answer.size() > 2 ? answer.substr(2) : std::string();
        }
        if (fd >= 0) {
            ::close(fd);
        }
    } else {
        answer = udpExchange(ns, resolver, port, query);
    }
    if (answer.size() < 12 || answer[0] != '\x12' || answer[1] != '\x34') {
        return std::nullopt;
    }
    const int count = (std::uint8_t(answer[6]) << 8) | std::uint8_t(answer[7]);
    if (answerCount) {
        *answerCount = count;
    }
    // The one question is copied back; the first record's data ends the message here.
    const auto question = tun::parseQuestion(query);
    std::size_t at = question->end;
    if (count == 0 || answer.size() < at + 16) {
        return std::string();
    }
    const std::size_t dataLength = (std::uint8_t(answer[at + 10]) << 8) | std::uint8_t(answer[at + 11]);
    if (dataLength != 4 || answer.size() < at + 16) {
        return std::string();
    }
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, answer.data() + at + 12, text, sizeof text);
    return std::string(text);
}

} // namespace ferrow::test
