#include "LoopbackHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::test {

namespace {

constexpr std::size_t kMaxRequestBytes = 1 << 20;
constexpr int kReadTimeoutMs = 2000;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

const char* reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Reads until the headers and the announced body are complete, the peer closes, or the time is up.
bool readRequest(int client, RecordedRequest& request)
{
    std::string data;
    std::size_t headerEnd = std::string::npos;
    std::size_t contentLength = 0;
    char buffer[8192];
    while (data.size() < kMaxRequestBytes) {
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) {
            break;
        }
        pollfd pfd{client, POLLIN, 0};
        if (poll(&pfd, 1, kReadTimeoutMs) <= 0) {
            return false;
        }
        const ssize_t n = read(client, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos) {
            headerEnd = data.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::size_t lineStart = data.find("\r\n") + 2;
                const std::string requestLine = data.substr(0, lineStart - 2);
                const auto firstSpace = requestLine.find(' ');
                const auto secondSpace = requestLine.find(' ', firstSpace + 1);
                if (firstSpace == std::string::npos || secondSpace == std::string::npos) {
                    return false;
                }
                request.method = requestLine.substr(0, firstSpace);
                request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
                while (lineStart < headerEnd) {
                    const std::size_t lineEnd = data.find("\r\n", lineStart);
                    const std::string line = data.substr(lineStart, lineEnd - lineStart);
                    const auto colon = line.find(':');
                    if (colon != std::string::npos) {
                        request.headers[lower(trim(line.substr(0, colon)))] = trim(line.substr(colon + 1));
                    }
                    lineStart = lineEnd + 2;
                }
                const auto length = request.headers.find("content-length");
                if (length != request.headers.end()) {
                    contentLength = std::min<std::size_t>(std::stoul(length->second), kMaxRequestBytes);
                }
            }
        }
    }
    if (headerEnd == std::string::npos) {
        return false;
    }
    request.body = data.substr(headerEnd + 4, contentLength);
    return true;
}

void writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

} // namespace

std::string RecordedRequest::header(const std::string& lowerName) const
{
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackHttpServer::LoopbackHttpServer()
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 64) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("loopback server cannot listen");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    const char stop = 'x';
    (void)!write(m_wakePipe[1], &stop, 1);
    m_thread.join();
    for (Worker& worker : m_workers) {
        worker.thread.join();
    }
    close(m_listener);
    close(m_wakePipe[0]);
    close(m_wakePipe[1]);
}

std::string LoopbackHttpServer::address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

void LoopbackHttpServer::setResponse(int status, std::string body, std::string contentType)
{
    std::lock_guard lock(m_mutex);
    m_status = status;
    m_body = std::move(body);
    m_contentType = std::move(contentType);
}

void LoopbackHttpServer::setResponseFor(const std::string& targetPrefix, int status, std::string body)
{
    std::lock_guard lock(m_mutex);
    m_responsesByPrefix[targetPrefix] = {status, std::move(body)};
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t LoopbackHttpServer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

void LoopbackHttpServer::serve()
{
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            // A client that connects and says nothing must not hold up the others for the read
            // time-out: each connection is served on its own thread.
            // Finished workers are joined as new connections come, so a long test holds few.
            std::erase_if(m_workers, [](Worker& worker) {
                if (!worker.done->load()) {
                    return false;
                }
                worker.thread.join();
                return true;
            });
            auto done = std::make_shared<std::atomic<bool>>(false);
            m_workers.push_back({std::thread([this, client, done] {
                                     handle(client);
                                     close(client);
                                     done->store(true);
                                 }),
                                 done});
        }
    }
}

void LoopbackHttpServer::handle(int client)
{
    RecordedRequest request;
    if (!readRequest(client, request)) {
        return;
    }
    std::string response;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        int status = m_status;
        const std::string* body = &m_body;
        for (const auto& [prefix, answer] : m_responsesByPrefix) {
            if (request.target.rfind(prefix, 0) == 0) {
                status = answer.status;
                body = &answer.body;
            }
        }
        response = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n" +
                   "Content-Type: " + m_contentType + "\r\n" +
                   "Content-Length: " + std::to_string(body->size()) + "\r\n" + "Connection: close\r\n\r\n" +
                   *body;
    }
    m_arrived.notify_all();
    writeAll(client, response);
}

} // namespace ferrow::test
