#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/sha.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace ferrow::test {

namespace {

using Clock = std::chrono::steady_clock;

int waitReadable(int fd, std::chrono::milliseconds timeout)
{
    pollfd item{fd, POLLIN, 0};
    return ::poll(&item, 1, static_cast<int>(timeout.count()));
}

std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool sendAllFd(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace

Socket::Socket(std::uint16_t port, const char* host, const char* source)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (std::strchr(host, ':')) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(port);
        ::inet_pton(AF_INET6, host, &address->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(port);
        ::inet_pton(AF_INET, host, &address->sin_addr);
        length = sizeof(sockaddr_in);
    }
    m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 && source != nullptr) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &local.sin_addr);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Socket::~Socket()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

Socket::Socket(Socket&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

bool Socket::send(std::string_view bytes)
{
    return m_fd >= 0 && sendAllFd(m_fd, bytes);
}

std::string Socket::receiveSome(std::size_t count, std::chrono::milliseconds timeout)
{
    if (m_fd < 0 || waitReadable(m_fd, timeout) <= 0) {
        return {};
    }
    std::string out(count, '\0');
    const auto received = ::recv(m_fd, out.data(), count, 0);
    out.resize(received > 0 ? static_cast<std::size_t>(received) : 0);
    return out;
}

std::string Socket::receiveExactly(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const auto chunk = receiveSome(std::min<std::size_t>(count - out.size(), 1 << 20), left);
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

std::string Socket::receiveAll(std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const auto chunk = receiveSome(1 << 20, left);
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

std::string Socket::receiveUntil(std::string_view delimiter, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.find(delimiter) == std::string::npos && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const auto chunk = receiveSome(1, left);
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

void Socket::shutdownWrite()
{
    ::shutdown(m_fd, SHUT_WR);
}

bool Socket::peerClosed(std::chrono::milliseconds timeout)
{
    if (waitReadable(m_fd, timeout) <= 0) {
        return false;
    }
    char byte;
    return ::recv(m_fd, &byte, 1, MSG_PEEK) <= 0;
}

std::optional<HttpReply> readHttpReply(Socket& socket, bool headRequest)
{
    const auto head = socket.receiveUntil("\r\n\r\n");
    if (head.size() < 12 || head.find("\r\n\r\n") == std::string::npos) {
        return std::nullopt;
    }
    HttpReply reply;
    reply.status = std::atoi(head.c_str() + 9);
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line != "\r") {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, colon);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ')) {
            value.erase(0, 1);
        }
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
            value.pop_back();
        }
        reply.headers[name] = value;
    }
    if (headRequest || reply.status == 204 || reply.status == 304 || reply.status / 100 == 1) {
        return reply;
    }
    if (reply.headers.count("content-length")) {
        const auto length = std::stoull(reply.headers["content-length"]);
        reply.body = socket.receiveExactly(length);
        if (reply.body.size() != length) {
            return std::nullopt;
        }
    } else if (reply.headers["transfer-encoding"] == "chunked") {
        while (true) {
            const auto sizeLine = socket.receiveUntil("\r\n");
            if (sizeLine.empty()) {
                return std::nullopt;
            }
            const auto size = std::stoull(sizeLine, nullptr, 16);
            if (size == 0) {
                socket.receiveUntil("\r\n");
                break;
            }
            reply.body += socket.receiveExactly(size);
            socket.receiveExactly(2);
        }
    } else {
        reply.body = socket.receiveAll();
    }
    return reply;
}

TcpServer::TcpServer(Handler serve) : m_serve(std::move(serve))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, 512);
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

TcpServer::~TcpServer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
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

void TcpServer::run()
{
    while (!m_stopping) {
        if (waitReadable(m_listener, std::chrono::milliseconds(100)) <= 0) {
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

std::unique_ptr<TcpServer> makeEchoServer()
{
    return std::make_unique<TcpServer>([](int fd) {
        std::vector<char> buffer(256 * 1024);
        while (true) {
            const auto received = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (received <= 0) {
                break;
            }
            if (!sendAllFd(fd, std::string_view(buffer.data(), static_cast<std::size_t>(received)))) {
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
            if (!sendAllFd(fd, patternBytes(std::min(chunk, size - sent), sent))) {
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
            if (!sendAllFd(fd, response) || closeAfter) {
                return;
            }
        }
    });
}

std::string patternBytes(std::size_t size, std::size_t offset)
{
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t n = offset + i;
        out[i] = static_cast<char>((n * 2654435761u >> 13) ^ (n >> 7));
    }
    return out;
}

std::string sha256Hex(std::string_view bytes)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string out;
    char two[3];
    for (unsigned char byte : digest) {
        std::snprintf(two, sizeof two, "%02x", byte);
        out += two;
    }
    return out;
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
        if (waitReadable(m_fd, std::chrono::milliseconds(100)) <= 0) {
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

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

namespace {

int spawnCore(const std::vector<std::string>& arguments, const std::string& secret,
              const std::string& stderrPath)
{
    std::vector<std::string> all = {FERROW_CORE_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** item = environ; *item; ++item) {
        if (std::strncmp(*item, "FERROW_API_SECRET=", 18) != 0) {
            environment.emplace_back(*item);
        }
    }
    environment.push_back("FERROW_API_SECRET=" + secret);
    std::vector<char*> envp;
    for (auto& item : environment) {
        envp.push_back(item.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, FERROW_CORE_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

int waitPid(int pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        int status = 0;
        const auto result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

} // namespace

std::pair<int, std::string> runCore(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds timeout)
{
    const auto stderrPath =
        std::filesystem::temp_directory_path() / ("ferrow-core-run-" + std::to_string(::getpid()));
    const int pid = spawnCore(arguments, "", stderrPath.string());
    int status = waitPid(pid, timeout);
    if (status < 0) {
        ::kill(pid, SIGKILL);
        waitPid(pid, std::chrono::seconds(2));
    }
    const auto text = readWholeFile(stderrPath);
    std::filesystem::remove(stderrPath);
    return {status, text};
}

CoreProcess::CoreProcess(Options options) : m_secret(options.secret)
{
    if (options.folder.empty()) {
        char pattern[] = "/tmp/ferrow-core-test-XXXXXX";
        m_folder = ::mkdtemp(pattern);
        m_ownFolder = true;
    } else {
        m_folder = options.folder;
    }
    writeProfile(options.profile);
    std::filesystem::remove(apiInfoPath());
    std::vector<std::string> arguments = {"-config",
                                          configPath().string(),
                                          "-no-tun",
                                          "-api",
                                          "127.0.0.1:0",
                                          "-api-info",
                                          apiInfoPath().string(),
                                          "-stats",
                                          statsPath().string()};
    if (options.socks) {
        m_socksPort = freePort();
        arguments.push_back("-socks");
        arguments.push_back("127.0.0.1:" + std::to_string(m_socksPort));
    }
    arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
    // Woken by the folder's changes, so a test sees the file the moment it is renamed in place.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0) {
        ::inotify_add_watch(watch, m_folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    m_pid = spawnCore(arguments, m_secret, (m_folder / "stderr.log").string());
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (m_pid > 0 && Clock::now() < deadline) {
        const auto text = readWholeFile(apiInfoPath());
        const auto info = nlohmann::json::parse(text, nullptr, false);
        if (info.is_object() && info.contains("address") && info["address"].is_string()) {
            if (options.whenApiInfoAppears) {
                options.whenApiInfoAppears();
            }
            m_apiAddress = info["address"].get<std::string>();
            m_started = true;
            break;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        if (watch >= 0) {
            waitReadable(watch, std::chrono::milliseconds(50));
            char events[4096];
            while (::read(watch, events, sizeof events) > 0) {
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (watch >= 0) {
        ::close(watch);
    }
}

CoreProcess::~CoreProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        if (waitPid(m_pid, std::chrono::seconds(5)) < 0) {
            ::kill(m_pid, SIGKILL);
            waitPid(m_pid, std::chrono::seconds(5));
        }
    }
    // In sanitizer builds the core reports memory and undefined-behaviour faults on its stderr.
    const auto errors = stderrText();
    for (const char* marker :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer", "runtime error:"}) {
        if (errors.find(marker) != std::string::npos) {
            ADD_FAILURE() << "ferrow-core reported a sanitizer fault:\n" << errors;
            break;
        }
    }
    if (m_ownFolder) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

std::uint16_t CoreProcess::apiPort() const
{
    return static_cast<std::uint16_t>(std::stoi(m_apiAddress.substr(m_apiAddress.rfind(':') + 1)));
}

void CoreProcess::writeProfile(const std::string& profile)
{
    const auto temporary = configPath().string() + ".tmp";
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << profile;
    std::filesystem::rename(temporary, configPath());
}

HttpReply CoreProcess::request(const std::string& method, const std::string& target, const std::string& body,
                               std::vector<std::string> headers, bool authorise, std::string host)
{
    Socket socket(apiPort());
    std::string text =
        method + " " + target + " HTTP/1.1\r\nHost: " + (host.empty() ? m_apiAddress : host) + "\r\n";
    if (authorise && !m_secret.empty()) {
        text += "Authorization: Bearer " + m_secret + "\r\n";
    }
    for (const auto& header : headers) {
        text += header + "\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    socket.send(text);
    auto reply = readHttpReply(socket);
    return reply ? *reply : HttpReply{};
}

nlohmann::json CoreProcess::get(const std::string& target)
{
    return nlohmann::json::parse(request("GET", target).body, nullptr, false);
}

nlohmann::json CoreProcess::post(const std::string& target, const std::string& body)
{
    return nlohmann::json::parse(request("POST", target, body, {"Content-Type: application/json"}).body,
                                 nullptr, false);
}

int CoreProcess::terminate(int signal, std::chrono::milliseconds timeout)
{
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, signal);
    return waitForExit(timeout);
}

int CoreProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const int status = waitPid(m_pid, timeout);
    if (status >= 0) {
        m_pid = -1;
    }
    return status;
}

std::string CoreProcess::stderrText() const
{
    return readWholeFile(m_folder / "stderr.log");
}

bool CoreProcess::logContains(const std::string& text)
{
    const auto logs = get("/logs?cursor=-1");
    if (!logs.is_object()) {
        return false;
    }
    for (const auto& line : logs["lines"]) {
        if (line.get<std::string>().find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int socks5Connect(Socket& socket, const std::string& host, std::uint16_t port)
{
    if (!socket.send(std::string("\x05\x01\x00", 3)) ||
        socket.receiveExactly(2) != std::string("\x05\x00", 2)) {
        return -1;
    }
    std::string request("\x05\x01\x00", 3);
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        request += '\x01';
        request.append(reinterpret_cast<const char*>(&v4), 4);
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        request += '\x04';
        request.append(reinterpret_cast<const char*>(&v6), 16);
    } else {
        request += '\x03';
        request += static_cast<char>(host.size());
        request += host;
    }
    request += static_cast<char>(port >> 8);
    request += static_cast<char>(port & 0xff);
    if (!socket.send(request)) {
        return -1;
    }
    const auto reply = socket.receiveExactly(10);
    if (reply.size() != 10 || reply[0] != 5) {
        return -1;
    }
    return static_cast<std::uint8_t>(reply[1]);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace ferrow::test
