#include "LoopbackOrigins.h"

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LoopbackSocket.h"
#include "TestBytes.h"

namespace ferrow::test {

TcpServer::TcpServer(Handler serve, int acceptors) : m_serve(std::move(serve))
{
    m_listener = listenLoopback(m_port);
    if (acceptors == 0) {
        m_threads.emplace_back([this] { acceptEach(); });
        return;
    }
    // Every thread polls the one listener; a blocking accept would hang the threads that lose
    // the race for a connection, and then the join at the end.
    ::fcntl(m_listener, F_SETFL, ::fcntl(m_listener, F_GETFL) | O_NONBLOCK);
    for (int i = 0; i < acceptors; ++i) {
        m_threads.emplace_back([this] { acceptAndServe(); });
    }
}

TcpServer::~TcpServer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    for (auto& thread : m_threads) {
        thread.join();
    }
    ::close(m_listener);
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_clients) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    for (auto& worker : m_workers) {
        worker.join();
    }
    for (int fd : m_clients) {
        ::close(fd);
    }
}

void TcpServer::acceptEach()
{
    while (!m_stopping) {
        if (!waitReadable(m_listener, std::chrono::milliseconds(100))) {
            continue;
        }
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        ++m_accepted;
        std::lock_guard lock(m_mutex);
        m_clients.push_back(client);
        m_workers.emplace_back([this, client] {
            m_serve(client);
            std::lock_guard inner(m_mutex);
            ::shutdown(client, SHUT_RDWR);
        });
    }
}

void TcpServer::acceptAndServe()
{
    while (!m_stopping) {
        if (!waitReadable(m_listener, std::chrono::milliseconds(100))) {
            continue;
        }
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            continue;
        }
        int blocking = 0;
        ::ioctl(client, FIONBIO, &blocking);
        ++m_accepted;
        m_serve(client);
        ::close(client);
    }
}

HoldingServer::HoldingServer()
{
    m_listener = listenLoopback(m_port);
    m_thread = std::thread([this] {
        while (!m_stopping) {
            if (!waitReadable(m_listener, std::chrono::milliseconds(100))) {
                continue;
            }
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                std::lock_guard lock(m_mutex);
                m_held.push_back(client);
            }
        }
    });
}

HoldingServer::~HoldingServer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
    release();
}

std::size_t HoldingServer::held() const
{
    std::lock_guard lock(m_mutex);
    return m_held.size();
}

void HoldingServer::release()
{
    std::lock_guard lock(m_mutex);
    for (int fd : m_held) {
        ::close(fd);
    }
    m_held.clear();
}

std::unique_ptr<TcpServer> makeEchoServer()
{
    return std::make_unique<TcpServer>([](int fd) {
        std::vector<char> buffer(256 * 1024);
        while (true) {
            const auto received = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (received <= 0) {
                break;
            }
            if (!sendAll(fd, std::string_view(buffer.data(), static_cast<std::size_t>(received)))) {
                break;
            }
        }
        ::shutdown(fd, SHUT_WR);
    });
}

std::unique_ptr<TcpServer> makeSourceServer(std::size_t size)
{
    return std::make_unique<TcpServer>([size](int fd) {
        constexpr std::size_t chunk = 1 << 20;
        for (std::size_t sent = 0; sent < size; sent += chunk) {
            if (!sendAll(fd, patternBytes(std::min(chunk, size - sent), sent))) {
                return;
            }
        }
        ::shutdown(fd, SHUT_WR);
    });
}

std::unique_ptr<TcpServer> makeOriginServer()
{
    return std::make_unique<TcpServer>([](int fd) {
        std::string buffer;
        char chunk[16384];
        while (true) {
            std::size_t headEnd;
            while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
                const auto received = ::recv(fd, chunk, sizeof chunk, 0);
                if (received <= 0) {
                    return;
                }
                buffer.append(chunk, static_cast<std::size_t>(received));
            }
            const std::string head = buffer.substr(0, headEnd + 4);
            buffer.erase(0, headEnd + 4);
            std::istringstream first(head);
            std::string method, target;
            first >> method >> target;
            std::size_t bodyLength = 0;
            std::string lower = head;
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (const auto at = lower.find("content-length:"); at != std::string::npos) {
                bodyLength = std::stoull(lower.substr(at + 15));
            }
            const auto readMore = [&]() {
                const auto received = ::recv(fd, chunk, sizeof chunk, 0);
                if (received > 0) {
                    buffer.append(chunk, static_cast<std::size_t>(received));
                }
                return received > 0;
            };
            std::string body;
            if (lower.find("transfer-encoding: chunked") != std::string::npos) {
                while (true) {
                    std::size_t lineEnd;
                    while ((lineEnd = buffer.find("\r\n")) == std::string::npos) {
                        if (!readMore()) {
                            return;
                        }
                    }
                    const auto size = std::stoull(buffer.substr(0, lineEnd), nullptr, 16);
                    while (buffer.size() < lineEnd + 2 + size + 2) {
                        if (!readMore()) {
                            return;
                        }
                    }
                    body += buffer.substr(lineEnd + 2, size);
                    buffer.erase(0,
                                 lineEnd + 2 + size + 2); // a chunk, or the last chunk and the empty trailer
                    if (size == 0) {
                        break;
                    }
                }
            } else {
                while (buffer.size() < bodyLength) {
                    if (!readMore()) {
                        return;
                    }
                }
                body = buffer.substr(0, bodyLength);
                buffer.erase(0, bodyLength);
            }
            std::string response;
            bool closeAfter = lower.find("connection: close") != std::string::npos;
            const auto sizeAfter = [&](const char* prefix) {
                return std::stoull(target.substr(std::strlen(prefix)));
            };
            if (target.rfind("/bytes/", 0) == 0) {
                const auto data = patternBytes(sizeAfter("/bytes/"));
                response =
                    "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data;
            } else if (target.rfind("/chunked/", 0) == 0) {
                const auto data = patternBytes(sizeAfter("/chunked/"));
                response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
                for (std::size_t at = 0; at < data.size(); at += 1000) {
                    const auto piece = data.substr(at, 1000);
                    char size[16];
                    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                    response += size + piece + "\r\n";
                }
                response += "0\r\n\r\n";
            } else if (target.rfind("/close/", 0) == 0) {
                response = "HTTP/1.1 200 OK\r\n\r\n" + patternBytes(sizeAfter("/close/"));
                closeAfter = true;
            } else if (target == "/echo") {
                response =
                    "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
            } else if (target.rfind("/headers", 0) == 0) {
                response =
                    "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(head.size()) + "\r\n\r\n" + head;
            } else if (target.rfind("/rules/", 0) == 0) {
                const std::string rules = "DOMAIN-SUFFIX,listed.test\nIP-CIDR,203.0.113.0/24,no-resolve\n";
                response =
                    "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(rules.size()) + "\r\n\r\n" + rules;
            } else if (target.rfind("/missing", 0) == 0) {
                response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            } else {
                response = "HTTP/1.1 204 No Content\r\n\r\n";
            }
            if (!sendAll(fd, response) || closeAfter) {
                return;
            }
        }
    });
}

FakeDnsServer::FakeDnsServer(std::map<std::string, std::string> names) : m_names(std::move(names))
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

FakeDnsServer::~FakeDnsServer()
{
    m_stopping = true;
    m_thread.join();
    ::close(m_fd);
}

void FakeDnsServer::run()
{
    char packet[1500];
    while (!m_stopping) {
        if (!waitReadable(m_fd, std::chrono::milliseconds(100))) {
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const auto received =
            ::recvfrom(m_fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 17) {
            continue;
        }
        ++m_queries;
        std::string name;
        std::size_t at = 12;
        while (at < static_cast<std::size_t>(received) && packet[at] != 0) {
            const auto length = static_cast<std::uint8_t>(packet[at]);
            if (!name.empty()) {
                name += '.';
            }
            name.append(packet + at + 1, length);
            at += 1u + length;
        }
        const std::size_t questionEnd = at + 5;
        const int type =
            (static_cast<std::uint8_t>(packet[at + 1]) << 8) | static_cast<std::uint8_t>(packet[at + 2]);
        std::string reply(packet, questionEnd);
        reply[2] = static_cast<char>(0x81);
        reply[3] = static_cast<char>(0x80);
        const auto it = m_names.find(name);
        if (it == m_names.end()) {
            reply[3] = static_cast<char>(0x83); // no such name
        } else if (const bool six = it->second.find(':') != std::string::npos; type == (six ? 28 : 1)) {
            reply[7] = 1; // one answer
            reply += std::string("\xc0\x0c\x00", 3) + static_cast<char>(type) +
                     std::string("\x00\x01\x00\x00\x00\x3c\x00", 7) + static_cast<char>(six ? 16 : 4);
            in6_addr address{};
            ::inet_pton(six ? AF_INET6 : AF_INET, it->second.c_str(), &address);
            reply.append(reinterpret_cast<const char*>(&address), six ? 16 : 4);
        }
        ::sendto(m_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

UdpEchoServer::UdpEchoServer()
{
    m_fd = udpLoopback(m_port);
    m_thread = std::thread([this] { run(); });
}

UdpEchoServer::~UdpEchoServer()
{
    m_stopping = true;
    m_thread.join();
    ::close(m_fd);
}

void UdpEchoServer::run()
{
    std::string packet(65536, '\0');
    while (!m_stopping) {
        if (!waitReadable(m_fd, std::chrono::milliseconds(100))) {
            continue;
        }
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const auto received = ::recvfrom(m_fd, packet.data(), packet.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            continue;
        }
        ++m_received;
        ::sendto(m_fd, packet.data(), static_cast<std::size_t>(received), 0,
                 reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

} // namespace ferrow::test
