#include "HelperFixture.h"

#include <csignal>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include "FRWProcessInspector.h"
#include "FRWSignature.h"

#include <atomic>

using namespace ferrow::test;
using nlohmann::json;

namespace {

/// Closes a client socket at the end of a scope.
struct Connection {
    explicit Connection(int descriptor) : fd(descriptor) {}
    ~Connection()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int fd;
};

} // namespace

// This test program is itself signed as the application, so it may talk to the helper directly.
TEST_F(HelperTest, AnswersEveryRequestOnceInOrder)
{
    Connection client(host->connect());
    ASSERT_GE(client.fd, 0);
    const auto replies =
        exchange(client.fd, {R"({"id": 1, "method": "getVersion"})",
                             R"({"id": 2, "method": "isCoreRunning"})", R"({"id": 3, "method": "stopCore"})",
                             R"({"id": 18446744073709551615, "method": "getVersion"})"});
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(json::parse(replies[0]), json::parse(R"({"id": 1, "version": 4})"));
    EXPECT_EQ(json::parse(replies[1]), json::parse(R"({"id": 2, "running": false})"));
    EXPECT_EQ(json::parse(replies[2]), json::parse(R"({"id": 3, "error": null})"));
    EXPECT_EQ(json::parse(replies[3])["id"].get<std::uint64_t>(), 18446744073709551615ull);
}

TEST_F(HelperTest, StartOverTheSocketReportsErrorsAndRunsTheCoreForTheCaller)
{
    Connection client(host->connect());
    ASSERT_GE(client.fd, 0);
    auto replies = exchange(client.fd, {startRequest(7, path("nothing"), configPath)});
    ASSERT_EQ(replies.size(), 1u);
    const json refused = json::parse(replies[0]);
    EXPECT_EQ(refused["id"], 7);
    EXPECT_EQ(refused["error"]["domain"], "FerrowHelper");
    EXPECT_EQ(refused["error"]["code"], 1);
    EXPECT_EQ(refused["error"]["description"], "core not found at " + path("nothing"));

    replies = exchange(
        client.fd, {startRequest(8, builtCorePath(), configPath), R"({"id": 9, "method": "isCoreRunning"})"});
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(json::parse(replies[0]), json::parse(R"({"id": 8, "error": null})"));
    EXPECT_EQ(json::parse(replies[1]), json::parse(R"({"id": 9, "running": true})"));
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    struct stat info {};
    ASSERT_EQ(::stat(host->config().apiInfoPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid()) << "the api-info file does not belong to the caller";
    EXPECT_EQ(info.st_gid, ::getegid());
}

TEST_F(HelperTest, MalformedMessagesCloseOnlyTheirConnection)
{
    const std::vector<std::string> bad{"not json",
                                       "[1, 2]",
                                       R"({"method": "getVersion"})",
                                       R"({"id": -1, "method": "getVersion"})",
                                       R"({"id": 1, "method": "launchMissiles"})",
                                       R"({"id": 1, "method": "startCore"})",
                                       R"({"id": 1, "method": "startCore", "params": {"corePath": 5}})",
                                       "{\"id\": 1, \"method\": \"getVersion\"\xff}"};
    for (const std::string& line : bad) {
        Connection client(host->connect());
        ASSERT_GE(client.fd, 0);
        EXPECT_TRUE(exchange(client.fd, {line}).empty()) << "answered: " << line;
    }
    EXPECT_TRUE(host->waitForLog("ferrow-helper: closing a connection: "));
    Connection client(host->connect());
    ASSERT_EQ(exchange(client.fd, {R"({"id": 5, "method": "getVersion"})"}).size(), 1u)
        << "the helper stopped serving after bad input";
    EXPECT_EQ(host->service().clients(), 1);
}

TEST_F(HelperTest, AnOversizedLineClosesTheConnection)
{
    Connection client(host->connect());
    ASSERT_GE(client.fd, 0);
    const std::string huge =
        R"({"id": 1, "method": "getVersion", "pad": ")" + std::string(70 * 1024, 'x') + "\"}";
    EXPECT_TRUE(exchange(client.fd, {huge}).empty());
    EXPECT_TRUE(host->waitForLog("message longer than the limit"));
    // A path with a NUL inside would be cut short by the system: refused as well.
    Connection second(host->connect());
    EXPECT_TRUE(
        exchange(second.fd, {startRequest(1, builtCorePath() + std::string(1, '\0') + "x", configPath)})
            .empty());
    EXPECT_FALSE(host->service().isCoreRunning());
}

TEST_F(HelperTest, ConnectionsBeyondTheLimitAreRefusedUntilOneCloses)
{
    startHost([](FRWHelperConfig& config) { config.maxConnections = 3; });
    std::vector<std::unique_ptr<Connection>> open;
    for (int i = 0; i < 3; ++i) {
        open.push_back(std::make_unique<Connection>(host->connect()));
        ASSERT_EQ(exchange(open.back()->fd, {R"({"id": 1, "method": "getVersion"})"}).size(), 1u);
    }
    {
        Connection extra(host->connect());
        EXPECT_TRUE(
            exchange(extra.fd, {R"({"id": 1, "method": "getVersion"})"}, std::chrono::seconds(5)).empty());
    }
    EXPECT_TRUE(host->hasLog("ferrow-helper: too many connections, refusing one"));
    open.pop_back();
    ASSERT_TRUE(waitFor([&] { return host->service().clients() == 2; }));
    Connection again(host->connect());
    EXPECT_EQ(exchange(again.fd, {R"({"id": 2, "method": "getVersion"})"}).size(), 1u);
}

TEST_F(HelperTest, ManyClientsStartingAndStoppingNeverRunTwoCores)
{
    // Four clients race start and stop; whatever interleaving, at most one core runs at a time.
    std::atomic<int> started{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            Connection client(host->connect());
            for (int round = 0; round < 3; ++round) {
                const auto replies =
                    exchange(client.fd, {startRequest(round, builtCorePath(), configPath),
                                         c % 2 == 0 ? R"({"id": 99, "method": "stopCore"})"
                                                    : R"({"id": 99, "method": "isCoreRunning"})"});
                if (replies.size() == 2 && json::parse(replies[0])["error"].is_null()) {
                    ++started;
                }
            }
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    EXPECT_GE(started.load(), 1);
    int running = 0;
    const auto pids = FRWProcessInspector::allProcesses();
    ASSERT_TRUE(pids);
    for (const pid_t pid : *pids) {
        running += FRWProcessInspector::executablePath(pid) == host->config().stagedCorePath ? 1 : 0;
    }
    EXPECT_LE(running, 1) << "two cores ran side by side";
    EXPECT_EQ(running == 1, host->service().isCoreRunning());
    host->service().stopCore();
    EXPECT_FALSE(host->service().isCoreRunning());
}

// ---- Vetting: other programs are refused before any method runs

class HelperVettingTest : public HelperTest {
protected:
    /// Runs a copy of the test client, signed as given (or not at all), asking to start the core.
    std::pair<int, std::optional<std::string>> tryClient(const std::string& name,
                                                         const std::function<bool(const std::string&)>& make)
    {
        const std::string program = path(name);
        EXPECT_TRUE(make(program));
        ChildProcess client({program, host->socketPath(), startRequest(1, builtCorePath(), configPath)});
        const auto reply = client.readLine(std::chrono::seconds(30));
        const auto status = client.wait(std::chrono::seconds(30));
        return {status.value_or(-1), reply};
    }
};

TEST_F(HelperVettingTest, TheSignedApplicationIsAccepted)
{
    const auto [status, reply] = tryClient("app", [&](const std::string& program) {
        return copySigned(HELPER_TEST_CLIENT, program, "zq.orbel.ferrow-mac", signingKeyPem());
    });
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(reply);
    EXPECT_EQ(json::parse(*reply), json::parse(R"({"id": 1, "error": null})"));
    EXPECT_TRUE(host->service().isCoreRunning());
}

TEST_F(HelperVettingTest, UnsignedWrongKeyAndOtherIdentifierAreRefused)
{
    const auto otherKey = ferrow::signature::generateKeyPair();
    ASSERT_TRUE(otherKey);
    const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> clients{
        {"unsigned", [](const std::string& p) { return copyUnsigned(HELPER_TEST_CLIENT, p); }},
        {"other-key",
         [&](const std::string& p) {
             return copySigned(HELPER_TEST_CLIENT, p, "zq.orbel.ferrow-mac", otherKey->privateKeyPem);
         }},
        {"helper-id",
         [](const std::string& p) {
             return copySigned(HELPER_TEST_CLIENT, p, "zq.orbel.ferrow-mac.helper", signingKeyPem());
         }},
        {"core-id",
         [](const std::string& p) {
             return copySigned(HELPER_TEST_CLIENT, p, "ferrow-core", signingKeyPem());
         }},
    };
    for (const auto& [name, make] : clients) {
        const auto [status, reply] = tryClient(name, make);
        EXPECT_EQ(status, 3) << name << " was not refused";
        EXPECT_FALSE(reply) << name << " got a reply";
    }
    EXPECT_TRUE(host->hasLog("ferrow-helper: rejected untrusted peer"));
    EXPECT_FALSE(host->hasLog("started core"));
    EXPECT_FALSE(exists(host->config().stagedCorePath)) << "a refused caller reached a method";
    EXPECT_EQ(host->service().clients(), 0);
}

TEST_F(HelperVettingTest, ACallerTooLargeToReadIsRefused)
{
    startHost([](FRWHelperConfig& config) { config.maxCallerExecutableSize = 4096; });
    const auto [status, reply] = tryClient("big-app", [&](const std::string& program) {
        return copySigned(HELPER_TEST_CLIENT, program, "zq.orbel.ferrow-mac", signingKeyPem());
    });
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(reply);
    EXPECT_TRUE(host->hasLog("ferrow-helper: rejected untrusted peer"));
}

// ---- The application going away

class HelperOrphanTest : public HelperTest {
protected:
    void SetUp() override
    {
        HelperTest::SetUp();
        ASSERT_TRUE(copySigned(HELPER_TEST_CLIENT, path("app"), "zq.orbel.ferrow-mac", signingKeyPem()));
    }

    /// A client that stays connected until its input closes.
    std::unique_ptr<ChildProcess> holdingClient(const std::string& request)
    {
        auto client = std::make_unique<ChildProcess>(
            std::vector<std::string>{path("app"), host->socketPath(), "--hold", request});
        EXPECT_TRUE(client->readLine(std::chrono::seconds(30))) << "the client got no reply";
        return client;
    }

    void leave(ChildProcess& client)
    {
        client.closeInput();
        EXPECT_EQ(client.wait(), 0);
    }
};

TEST_F(HelperOrphanTest, TheCoreStopsWhenTheLastClientLeavesAndTheAppIsGone)
{
    auto client = holdingClient(startRequest(1, builtCorePath(), configPath));
    ASSERT_TRUE(host->service().isCoreRunning());
    EXPECT_EQ(host->service().clients(), 1);
    leave(*client);
    EXPECT_TRUE(host->waitForLog("ferrow-helper: the app is gone and no client is left, stopping the core"));
    EXPECT_TRUE(waitFor([&] { return !host->service().isCoreRunning(); }));
    EXPECT_EQ(host->service().clients(), 0);
}

TEST_F(HelperOrphanTest, NothingHappensWhenAClientReconnectsInTime)
{
    startHost([](FRWHelperConfig& config) { config.orphanDelay = std::chrono::milliseconds(1500); });
    ASSERT_TRUE(copySigned(HELPER_TEST_CLIENT, path("app"), "zq.orbel.ferrow-mac", signingKeyPem()));
    auto first = holdingClient(startRequest(1, builtCorePath(), configPath));
    leave(*first);
    auto second = holdingClient(R"({"id": 1, "method": "getVersion"})");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(host->service().isCoreRunning()) << "the core was stopped although a client came back";
    EXPECT_FALSE(host->hasLog("stopping the core"));
    // The later departure owns the next check.
    leave(*second);
    EXPECT_TRUE(host->waitForLog("ferrow-helper: the app is gone and no client is left, stopping the core"));
}

TEST_F(HelperOrphanTest, TheCoreIsLeftAloneWhileTheProcessThatStartedItRuns)
{
    ChildProcess starter(
        {path("app"), host->socketPath(), "--linger", startRequest(1, builtCorePath(), configPath)});
    ASSERT_TRUE(starter.readLine(std::chrono::seconds(30)));
    starter.closeInput();
    ASSERT_EQ(starter.readLine(), "closed");
    EXPECT_TRUE(host->waitForLog("ferrow-helper: no client connected, but the app is running"));
    EXPECT_TRUE(host->service().isCoreRunning());
    // Another process running the same program is not the starter: once the starter is gone, so is the core.
    ChildProcess other({path("app"), host->socketPath(), "--linger", R"({"id": 1, "method": "getVersion"})"});
    ASSERT_TRUE(other.readLine());
    ::kill(starter.pid(), SIGKILL);
    ASSERT_TRUE(starter.wait().has_value() || !starter.running());
    other.closeInput();
    ASSERT_EQ(other.readLine(), "closed");
    EXPECT_TRUE(host->waitForLog("ferrow-helper: the app is gone and no client is left, stopping the core"));
}

TEST_F(HelperOrphanTest, AnEarlierDepartureDoesNotStopTheCoreEarly)
{
    startHost([](FRWHelperConfig& config) { config.orphanDelay = std::chrono::milliseconds(1500); });
    ASSERT_TRUE(copySigned(HELPER_TEST_CLIENT, path("app"), "zq.orbel.ferrow-mac", signingKeyPem()));
    auto first = holdingClient(startRequest(1, builtCorePath(), configPath));
    leave(*first);
    const auto firstLeft = std::chrono::steady_clock::now();
    auto second = holdingClient(R"({"id": 1, "method": "getVersion"})");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    leave(*second);
    // The first departure's check falls due at 1.5 s and must see that a later one owns the check.
    std::this_thread::sleep_until(firstLeft + std::chrono::milliseconds(1800));
    EXPECT_TRUE(host->service().isCoreRunning()) << "the first departure's check stopped the core";
    EXPECT_TRUE(host->waitForLog("ferrow-helper: the app is gone and no client is left, stopping the core"));
}

TEST_F(HelperTest, AnyoneMayAskTheVersionButNothingElse)
{
    ASSERT_TRUE(copyUnsigned(HELPER_TEST_CLIENT, path("stranger")));
    ChildProcess asking({path("stranger"), host->socketPath(), R"({"id": 5, "method": "getVersion"})"});
    EXPECT_EQ(asking.readLine(), R"({"id":5,"version":4})");
    EXPECT_EQ(asking.wait(), 0);
    ChildProcess stopping({path("stranger"), host->socketPath(), R"({"id": 6, "method": "stopCore"})"});
    EXPECT_EQ(stopping.wait(), 3);
    EXPECT_TRUE(host->hasLog("ferrow-helper: rejected untrusted peer"));
    EXPECT_EQ(host->service().clients(), 0);
}

// ---- The shipped program under socket activation

namespace {

/// Runs ferrow-helper the way systemd does: a listening socket as descriptor 3, LISTEN_PID and
/// LISTEN_FDS naming it. Null when it could not run.
std::unique_ptr<ChildProcess> activateHelper(const std::string& socketPath, bool passSocket)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, socketPath.size());
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        return nullptr;
    }
    // LISTEN_PID names the helper's own process: a shell that sets it to its own number and then
    // becomes the helper.
    const std::vector<std::string> argv =
        passSocket
            ? std::vector<std::string>{"/bin/sh", "-c", "export LISTEN_PID=$$ LISTEN_FDS=1; exec \"$0\"",
                                       FERROW_HELPER_BINARY}
            : std::vector<std::string>{FERROW_HELPER_BINARY};
    ChildProcess::Options options;
    options.error = ChildStream::null();
    options.descriptors = {{fd, 3}};
    auto helper = std::make_unique<ChildProcess>(argv, std::move(options));
    ::close(fd);
    return helper->started() ? std::move(helper) : nullptr;
}

/// The helper's exit status; -1 when a signal ended it, -2 when it did not end in time.
int waitExit(ChildProcess& helper)
{
    const auto status = helper.waitStatus(std::chrono::seconds(20));
    if (!status) {
        return -2;
    }
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

} // namespace

TEST(HelperProgram, ServesTheSocketSystemdPassesAndEndsOnSigterm)
{
    TemporaryHome home;
    const std::string socket = (home.root() / "activated.sock").string();
    const auto helper = activateHelper(socket, true);
    ASSERT_TRUE(helper);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket.copy(address.sun_path, socket.size());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto replies =
        exchange(fd, {R"({"id": 1, "method": "getVersion"})", R"({"id": 2, "method": "isCoreRunning"})"});
    ::close(fd);
    // This test program carries the test key, which the shipped helper does not trust: the version
    // is open to it, nothing else.
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(json::parse(replies[0]), json::parse(R"({"id": 1, "version": 4})"));
    ::kill(helper->pid(), SIGTERM);
    EXPECT_EQ(waitExit(*helper), 0);
}

TEST(HelperProgram, RefusesToRunWithoutASocketFromSystemd)
{
    TemporaryHome home;
    const auto helper = activateHelper((home.root() / "plain.sock").string(), false);
    ASSERT_TRUE(helper);
    EXPECT_EQ(waitExit(*helper), 1);
}
