// The helper's socket code against a fake service: framing, the untrusted peer's limits, the
// connection caps, the later task after a trusted caller leaves, and stopping.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FRWHelperServer.h"
#include "HelperTestHost.h"

using namespace ferrow::test;
using namespace std::chrono_literals;

namespace {

/// Echoes each line; "close" closes the connection. Trusts every peer unless told otherwise.
class FakeService : public FRWHelperConnectionHandler {
public:
    FRWHelperCaller connectionOpened(int) override
    {
        FRWHelperCaller caller;
        if (trusting) {
            caller.peer = FRWPeer{};
        } else {
            caller.untrustedWhy = "not the application";
        }
        return caller;
    }

    std::optional<std::string> answer(const std::string& line, const FRWHelperCaller&) override
    {
        const std::lock_guard guard(lock);
        lines.push_back(line);
        if (line == "close") {
            return std::nullopt;
        }
        return "echo " + line + "\n";
    }

    std::optional<FRWHelperLaterTask> trustedCallerLeft() override
    {
        {
            const std::lock_guard guard(lock);
            ++departures;
            changed.notify_all();
        }
        return FRWHelperLaterTask{laterDelay, [this] {
                                      const std::lock_guard guard(lock);
                                      laterRan = true;
                                      changed.notify_all();
                                  }};
    }

    bool waitForLater(std::chrono::milliseconds timeout)
    {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, timeout, [this] { return laterRan; });
    }

    bool waitForDepartures(int count, std::chrono::milliseconds timeout)
    {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, timeout, [this, count] { return departures == count; });
    }

    std::atomic<bool> trusting{true};
    std::atomic<int> departures{0};
    std::chrono::milliseconds laterDelay{0};
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> lines;
    bool laterRan = false;
};

/// Up to `count` lines the peer sends within `timeout`.
std::vector<std::string> readLines(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<std::string> lines;
    std::string buffer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char block[256];
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        const ssize_t got = ::recv(fd, block, sizeof block, 0);
        if (got <= 0) {
            break;
        }
        buffer.append(block, static_cast<std::size_t>(got));
        for (auto end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n')) {
            lines.push_back(buffer.substr(0, end));
            buffer.erase(0, end + 1);
        }
    }
    return lines;
}

/// Whether the peer closes `fd` within `timeout` (what it sent before is read and dropped).
bool closedByPeer(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char block[256];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) > 0 && ::recv(fd, block, sizeof block, 0) <= 0) {
            return true;
        }
    }
    return false;
}

class HelperServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config.maxConnections = 4;
        config.maxConnectionsPerUser = 2;
        config.untrustedIdle = 300ms;
        config.log = [this](const std::string& line) {
            const std::lock_guard guard(logLock);
            logs.push_back(line);
        };
        std::string pattern = (std::filesystem::temp_directory_path() / "ferrow-server-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        address.sun_family = AF_UNIX;
        const std::string path = (root / "s").string();
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listenFd, 16), 0);
    }

    void TearDown() override
    {
        stopServer();
        for (const int fd : clients) {
            ::close(fd);
        }
        ::close(listenFd);
        std::filesystem::remove_all(root);
    }

    void startServer()
    {
        server = FRWHelperServer::create(config, service);
        serveThread = std::thread([server = server, fd = listenFd] { server->serve(fd); });
    }

    void stopServer()
    {
        if (serveThread.joinable()) {
            server->stop();
            serveThread.join();
        }
    }

    int connectClient()
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        clients.push_back(fd);
        return fd;
    }

    bool logged(const std::string& part)
    {
        const std::lock_guard guard(logLock);
        return std::any_of(logs.begin(), logs.end(),
                           [&part](const std::string& line) { return line.find(part) != std::string::npos; });
    }

    FRWHelperConfig config;
    std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
    std::shared_ptr<FRWHelperServer> server;
    std::thread serveThread;
    std::filesystem::path root;
    sockaddr_un address{};
    int listenFd = -1;
    std::vector<int> clients;
    std::mutex logLock;
    std::vector<std::string> logs;
};

} // namespace

TEST_F(HelperServerTest, LinesSplitOrJoinedInSendsAreAnsweredOnceInOrder)
{
    startServer();
    const int fd = connectClient();
    ASSERT_EQ(::send(fd, "one\ntw", 6, 0), 6);
    ASSERT_EQ(::send(fd, "o\nthree\n", 9, 0), 9);
    EXPECT_EQ(readLines(fd, 3, 5s), (std::vector<std::string>{"echo one", "echo two", "echo three"}));
    const std::lock_guard guard(service->lock);
    EXPECT_EQ(service->lines, (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(HelperServerTest, AnUntrustedPeerGetsOneAnswerAndAShortTime)
{
    service->trusting = false;
    startServer();
    const int asking = connectClient();
    EXPECT_EQ(exchange(asking, {"a", "b"}, 5s), (std::vector<std::string>{"echo a"}));
    EXPECT_TRUE(closedByPeer(asking, 5s));
    const int idle = connectClient();
    EXPECT_TRUE(closedByPeer(idle, 5s)) << "an idle untrusted peer kept its slot";
    EXPECT_EQ(service->departures, 0) << "an untrusted peer counted as a client leaving";
}

TEST_F(HelperServerTest, OverlongLinesAndRefusedLinesCloseTheConnection)
{
    startServer();
    const int tooLong = connectClient();
    const std::string flood(ferrow::helperprotocol::kMaxLineBytes + 1, 'x');
    EXPECT_TRUE(exchange(tooLong, {flood}, 5s).empty());
    EXPECT_TRUE(closedByPeer(tooLong, 5s));
    EXPECT_TRUE(logged("longer than the limit"));
    const int refused = connectClient();
    EXPECT_TRUE(exchange(refused, {"close", "after"}, 5s).empty());
    EXPECT_TRUE(closedByPeer(refused, 5s));
}

TEST_F(HelperServerTest, ConnectionsBeyondAUsersShareAreRefusedAndTheirSlotsComeBack)
{
    startServer();
    const int first = connectClient();
    const int second = connectClient();
    ASSERT_EQ(exchange(first, {"1"}, 5s).size(), 1u);
    ASSERT_EQ(exchange(second, {"2"}, 5s).size(), 1u);
    const int third = connectClient();
    EXPECT_TRUE(closedByPeer(third, 5s));
    EXPECT_TRUE(logged("too many connections of uid"));
    ::shutdown(first, SHUT_RDWR);
    ASSERT_TRUE(service->waitForLater(5s)) << "the closed connection was never counted out";
    EXPECT_EQ(exchange(connectClient(), {"4"}, 5s), (std::vector<std::string>{"echo 4"}));
}

TEST_F(HelperServerTest, StopClosesConnectionsAndDropsTasksStillWaiting)
{
    service->laterDelay = 1h;
    startServer();
    const int open = connectClient();
    const int leaving = connectClient();
    ASSERT_EQ(exchange(open, {"x"}, 5s).size(), 1u);
    ASSERT_EQ(exchange(leaving, {"y"}, 5s).size(), 1u);
    ::shutdown(leaving, SHUT_RDWR);
    ASSERT_TRUE(service->waitForDepartures(1, 5s));
    const auto before = std::chrono::steady_clock::now();
    stopServer();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "stop waited for the hour-long task";
    EXPECT_TRUE(closedByPeer(open, 1s));
    const std::lock_guard guard(service->lock);
    EXPECT_FALSE(service->laterRan);
}
