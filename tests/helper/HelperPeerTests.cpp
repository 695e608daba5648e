// Peers that try to pass for the application or to crowd it out: a process id taken over after
// the vetted caller left, callers that exit while polkit decides, idle connections of other
// accounts and callers whose executables are huge.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <linux/sched.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>

#include "HelperFixture.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

constexpr uid_t kNobody = 65534;

/// A process that only waits to be killed, created with the given process id; -1 when the id
/// is taken or cannot be chosen here.
pid_t processWithPid(pid_t wanted)
{
    clone_args arguments{};
    arguments.exit_signal = SIGCHLD;
    auto tid = static_cast<std::uint64_t>(wanted);
    arguments.set_tid = reinterpret_cast<std::uint64_t>(&tid);
    arguments.set_tid_size = 1;
    const long pid = ::syscall(SYS_clone3, &arguments, sizeof arguments);
    if (pid == 0) {
        // Nothing of the test's: pipes it holds open would never see their end.
        ::syscall(SYS_close_range, 3u, ~0u, 0u);
        for (;;) {
            ::pause();
        }
    }
    return static_cast<pid_t>(pid);
}

void killAndReap(pid_t pid)
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

int connectTo(const std::string& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, socketPath.size());
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool holdsSocket(pid_t pid)
{
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored).string().starts_with("socket:")) {
            return true;
        }
    }
    return false;
}

} // namespace

class HelperPeerTest : public HelperTest {
protected:
    void SetUp() override
    {
        HelperTest::SetUp();
        ASSERT_TRUE(copySigned(HELPER_TEST_CLIENT, path("app"), "zq.orbel.ferrow-mac", signingKeyPem()));
    }
};

// The vetted process forks and exits; its child keeps the connection, and a process of the
// active session is made to take the old id. polkit, asked about that id, would say yes.
TEST_F(HelperPeerTest, AnIdTakenOverAfterTheVettedCallerLeftIsNotAuthorised)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "SKIPPED: needs root to choose a process id";
    }
    ChildProcess vetted(
        {path("app"), host->socketPath(), "--fork", startRequest(1, builtCorePath(), configPath)});
    const auto line = vetted.readLine();
    ASSERT_TRUE(line && line->starts_with("vetted ")) << line.value_or("no line");
    const pid_t vettedPid = std::stoi(line->substr(7));
    ASSERT_EQ(vetted.wait(), 0);
    const pid_t impostor = processWithPid(vettedPid);
    if (impostor < 0 && errno == EPERM) {
        GTEST_SKIP() << "SKIPPED: needs CAP_SYS_ADMIN to choose a process id";
    }
    ASSERT_EQ(impostor, vettedPid) << "the old process id could not be taken";
    host->polkit().allowOnlyProcess(impostor);

    vetted.closeInput(); // the forked child now asks to start
    const auto reply = vetted.readLine();
    killAndReap(impostor);
    ASSERT_TRUE(reply) << "no reply to the start";
    EXPECT_EQ(json::parse(*reply)["error"]["description"],
              "not authorised to start Enhanced Mode: the calling process has exited");
    EXPECT_FALSE(host->service().isCoreRunning());
    EXPECT_FALSE(host->hasLog("started core"));
}

TEST_F(HelperPeerTest, ACallerThatExitsWhilePolkitDecidesGetsNoCore)
{
    const pid_t caller = ::fork();
    if (caller == 0) {
        for (;;) {
            ::pause();
        }
    }
    FRWPeer peer{caller, ::geteuid(), ::getegid(),
                 std::make_shared<FRWPidfd>(FRWProcessInspector::openPidfd(caller)),
                 FRWProcessInspector::startTime(caller).value_or(0)};
    // polkit says yes about a process that is gone by the time the answer arrives.
    host->polkit().setBeforeAnswer([caller] { killAndReap(caller); });
    const auto error = host->service().startCore(params(builtCorePath()), peer);
    host->polkit().setBeforeAnswer({});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description, "not authorised to start Enhanced Mode: the calling process has exited");
    EXPECT_FALSE(host->service().isCoreRunning());
    EXPECT_FALSE(exists(host->config().stagedCorePath));
}

TEST_F(HelperPeerTest, AnotherAccountCannotHoldEverySlot)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "SKIPPED: needs root to connect as another account";
    }
    startHost([](FRWHelperConfig& config) {
        config.maxConnections = 8;
        config.maxConnectionsPerUser = 3;
        config.untrustedIdle = std::chrono::milliseconds(500);
    });
    // As the system's socket is, this one is open to every account.
    ASSERT_EQ(::chmod(host->root().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(host->socketPath().c_str(), 0666), 0);
    ASSERT_TRUE(copyUnsigned(HELPER_TEST_CLIENT, path("stranger")));
    std::vector<std::unique_ptr<ChildProcess>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{path("stranger"), host->socketPath(), "--hold"}, kNobody));
    }
    ASSERT_TRUE(host->waitForLog("too many connections of uid 65534"));

    const int app = connectTo(host->socketPath());
    ASSERT_GE(app, 0);
    const auto replies = exchange(app, {R"({"id": 1, "method": "isCoreRunning"})"}, std::chrono::seconds(10));
    ::close(app);
    EXPECT_EQ(replies.size(), 1u) << "the application was locked out";
    for (auto& client : idle) {
        EXPECT_EQ(client->readLine(std::chrono::seconds(5)), "dropped") << "an idle connection was kept open";
    }
}

TEST_F(HelperPeerTest, CallersWithHugeExecutablesDoNotDelayTheApplication)
{
    // The same program padded to 500 MB: it still runs, and carries no trailer at its end.
    ASSERT_TRUE(copyUnsigned(HELPER_TEST_CLIENT, path("bloated")));
    ASSERT_EQ(::truncate(path("bloated").c_str(), off_t{500} << 20), 0);
    std::vector<std::unique_ptr<ChildProcess>> bloated;
    for (int i = 0; i < 4; ++i) {
        bloated.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
            path("bloated"), host->socketPath(), "--hold", R"({"id": 1, "method": "getVersion"})"}));
    }
    // They connect first: each holds its connection (or is already done) before the application asks.
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(bloated.begin(), bloated.end(), [](const auto& client) {
            return holdsSocket(client->pid()) || !client->running();
        });
    }));
    const auto before = std::chrono::steady_clock::now();
    const int app = connectTo(host->socketPath());
    ASSERT_GE(app, 0);
    const auto replies = exchange(app, {R"({"id": 2, "method": "isCoreRunning"})"}, std::chrono::seconds(30));
    const auto waited = std::chrono::steady_clock::now() - before;
    ::close(app);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_LT(waited, std::chrono::milliseconds(1500)) << "the application waited behind the huge callers";
    for (auto& client : bloated) {
        EXPECT_TRUE(client->readLine()) << "the version is open to every caller";
    }
}
