#include "FRWHelperServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "FRWHelperProtocol.h"

namespace proto = ferrow::helperprotocol;

namespace {

constexpr auto kStopWait = std::chrono::seconds(30);

bool sendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::shared_ptr<FRWHelperServer> FRWHelperServer::create(const FRWHelperConfig& config,
                                                         std::shared_ptr<FRWHelperConnectionHandler> handler)
{
    return std::shared_ptr<FRWHelperServer>(new FRWHelperServer(config, std::move(handler)));
}

FRWHelperServer::FRWHelperServer(const FRWHelperConfig& config,
                                 std::shared_ptr<FRWHelperConnectionHandler> handler)
    : m_handler(std::move(handler))
    , m_log(config.log ? config.log : [](const std::string&) {})
    , m_maxConnections(config.maxConnections)
    , m_maxConnectionsPerUser(config.maxConnectionsPerUser)
    , m_untrustedIdle(config.untrustedIdle)
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_wake[0] = m_wake[1] = -1;
    }
}

FRWHelperServer::~FRWHelperServer()
{
    for (const int fd : m_wake) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool FRWHelperServer::spawnTracked(std::function<void()> body)
{
    {
        const std::lock_guard guard(m_threadsLock);
        if (m_stopping) {
            return false;
        }
        ++m_activeThreads;
    }
    std::thread([self = shared_from_this(), body = std::move(body)] {
        body();
        const std::lock_guard guard(self->m_threadsLock);
        --self->m_activeThreads;
        self->m_threadsChanged.notify_all();
    }).detach();
    return true;
}

void FRWHelperServer::serve(int listenFd)
{
    for (;;) {
        pollfd entries[2] = {{listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            log(std::string("ferrow-helper: cannot wait for connections (") + std::strerror(errno) + ")");
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
                log(std::string("ferrow-helper: accept failed (") + std::strerror(errno) + ")");
                // Out of descriptors and the like: do not spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
            !admit(fd, credentials.uid)) {
            ::close(fd);
            continue;
        }
        const uid_t user = credentials.uid;
        if (!spawnTracked([this, fd, user] { handleConnection(fd, user); })) {
            forgetConnection(fd, user);
            ::close(fd);
        }
    }
}

bool FRWHelperServer::admit(int fd, uid_t user)
{
    const std::lock_guard guard(m_threadsLock);
    if (m_openConnections >= m_maxConnections) {
        log("ferrow-helper: too many connections, refusing one");
        return false;
    }
    if (m_connectionsByUser[user] >= m_maxConnectionsPerUser) {
        log("ferrow-helper: too many connections of uid " + std::to_string(user) + ", refusing one");
        return false;
    }
    ++m_openConnections;
    ++m_connectionsByUser[user];
    m_openSockets.insert(fd);
    return true;
}

void FRWHelperServer::forgetConnection(int fd, uid_t user)
{
    const std::lock_guard guard(m_threadsLock);
    m_openSockets.erase(fd);
    --m_openConnections;
    if (--m_connectionsByUser[user] <= 0) {
        m_connectionsByUser.erase(user);
    }
}

void FRWHelperServer::stop()
{
    std::unique_lock guard(m_threadsLock);
    m_stopping = true;
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &byte, 1);
    }
    for (const int fd : m_openSockets) {
        ::shutdown(fd, SHUT_RDWR);
    }
    m_threadsChanged.notify_all();
    if (!m_threadsChanged.wait_for(guard, kStopWait, [this] { return m_activeThreads == 0; })) {
        log("ferrow-helper: connections did not end in time");
    }
}

void FRWHelperServer::handleConnection(int fd, uid_t user)
{
    const FRWHelperCaller caller = m_handler->connectionOpened(fd);
    converse(fd, caller);
    forgetConnection(fd, user);
    ::close(fd);
    if (caller.peer) {
        if (auto later = m_handler->trustedCallerLeft()) {
            runLater(std::move(*later));
        }
    }
}

void FRWHelperServer::converse(int fd, const FRWHelperCaller& caller)
{
    const bool trusted = caller.peer.has_value();
    const auto deadline = std::chrono::steady_clock::now() + m_untrustedIdle;
    std::string buffer;
    std::string line;
    char block[4096];
    for (;;) {
        if (!trusted) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd entry{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
                return;
            }
        }
        const ssize_t got = ::recv(fd, block, sizeof block, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        buffer.append(block, static_cast<std::size_t>(got));
        for (;;) {
            const proto::LineStatus status = proto::takeLine(buffer, line);
            if (status == proto::LineStatus::NeedMore) {
                break;
            }
            if (status == proto::LineStatus::TooLong) {
                log("ferrow-helper: closing a connection: message longer than the limit");
                return;
            }
            const auto reply = m_handler->answer(line, caller);
            if (!reply || !sendAll(fd, *reply) || !trusted) {
                return;
            }
        }
    }
}

void FRWHelperServer::runLater(FRWHelperLaterTask task)
{
    spawnTracked([this, task = std::move(task)] {
        {
            std::unique_lock guard(m_threadsLock);
            if (m_threadsChanged.wait_for(guard, task.delay, [this] { return m_stopping; })) {
                return;
            }
        }
        task.run();
    });
}
