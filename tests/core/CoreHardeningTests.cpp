// ferrow-core under hostile or broken input: documents that are not profiles, files planted
// where the core writes, the controller's connection limits, descriptor exhaustion.

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "LoopbackHttpServer.h"
#include "TemporaryHome.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

const std::string kRejectLoopback = "[Rule]\nIP-CIDR,127.0.0.0/8,REJECT\nFINAL,DIRECT\n";

CoreProcess::Options withProfile(std::string profile, std::filesystem::path folder = {})
{
    CoreProcess::Options options;
    options.profile = std::move(profile);
    options.folder = std::move(folder);
    return options;
}

/// Polls a condition until it holds or the time is up.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// A file the test owns outside the core's folder, and a symbolic link to it at `link`.
struct PlantedLink {
    PlantedLink(const std::filesystem::path& victimFolder, const std::filesystem::path& link)
        : victim(victimFolder / (link.filename().string() + ".victim"))
    {
        writeFile(victim, "victim bytes\n");
        std::filesystem::create_directories(link.parent_path());
        std::filesystem::create_symlink(victim, link);
    }
    bool untouched() const { return readText(victim) == "victim bytes\n"; }

    std::filesystem::path victim;
};

int socks5Reply(CoreProcess& core, const std::string& host, std::uint16_t port)
{
    Socket client(core.socksPort());
    return socks5Connect(client, host, port);
}

} // namespace

TEST(CoreFailClosed, DocumentsThatAreNotProfilesAreRefusedAndTheRulesStay)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile(kRejectLoopback));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const std::vector<std::pair<std::string, std::string>> notProfiles = {
        {"", "line 1:"},
        {"<html><head><title>502 Bad Gateway</title></head></html>\n", "line 1:"},
        {"# Ferrow profile. A profile can define many nodes;\n# switch between them\n", "line "},
        {"# comment\nDIRECT traffic only\n[Rule]\nFINAL,DIRECT\n", "line 2:"},
    };
    for (const auto& [text, prefix] : notProfiles) {
        core.writeProfile(text);
        const auto answer = core.post("/reload");
        EXPECT_EQ(answer["ok"], false) << text;
        EXPECT_EQ(answer.value("error", std::string()).rfind(prefix, 0), 0u) << answer.dump();
        EXPECT_EQ(socks5Reply(core, "127.0.0.1", echo->port()), 2) << "the last good rules still apply";
    }
    // A node that cannot be used is that node's problem, not the profile's.
    core.writeProfile("[Proxy]\nHK = ferrow, hk.example, 443, psk=psk-goes-here\n[Rule]\nFINAL,DIRECT\n");
    EXPECT_EQ(core.post("/reload")["ok"], true);
    EXPECT_EQ(socks5Reply(core, "127.0.0.1", echo->port()), 0);
}

TEST(CoreFailClosed, PlaceholderKeysAreOneLinePerLoadNotOnePerNodeOrTest)
{
    std::string profile = "[Proxy]\n";
    for (int i = 0; i < 40; ++i) {
        profile += "N" + std::to_string(i) + " = ferrow, n.example, 443, psk=psk-goes-here\n";
    }
    profile += "[Rule]\nFINAL,DIRECT\n";
    CoreProcess core(withProfile(profile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto keyLines = [&] {
        std::vector<std::string> found;
        const auto logs = core.get("/logs?cursor=-1");
        for (const auto& line : logs["lines"]) {
            if (line.get<std::string>().find("psk-goes-here") != std::string::npos ||
                line.get<std::string>().find("too short") != std::string::npos) {
                found.push_back(line.get<std::string>());
            }
        }
        return found;
    };
    auto lines = keyLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("40 nodes cannot be used"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"N0\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("and 37 more"), std::string::npos) << lines[0];
    for (int round = 0; round < 3; ++round) {
        const auto answer = core.get("/test?node=N" + std::to_string(round));
        EXPECT_EQ(answer["ms"], -1);
    }
    EXPECT_EQ(keyLines().size(), 1u) << "tests of such a node add nothing to the log";
    EXPECT_EQ(core.post("/reload")["ok"], true);
    EXPECT_EQ(keyLines().size(), 2u) << "a reload says it once more";
}

TEST(CoreFailClosed, HugeInvalidLineIsClippedInAnswerAndLog)
{
    CoreProcess core(withProfile(kRejectLoopback));
    ASSERT_TRUE(core.started()) << core.stderrText();
    core.writeProfile("[Proxy]\nA = ferrow, h, " + std::string(4 << 20, '9') + "\n[Rule]\nFINAL,DIRECT\n");
    const auto answer = core.post("/reload");
    EXPECT_EQ(answer["ok"], false);
    EXPECT_LT(answer["error"].get<std::string>().size(), 1000u);
    EXPECT_NE(answer["error"].get<std::string>().find("\u2026"), std::string::npos);
    const auto lines = core.get("/logs?cursor=-1")["lines"];
    for (const auto& line : lines) {
        EXPECT_LT(line.get<std::string>().size(), 2000u);
    }
}

TEST(CoreFailClosed, EmptyProfileAtStartExitsOne)
{
    TemporaryHome home;
    writeFile(home.root() / "profile.conf", "");
    const auto apiInfo = home.root() / "api.json";
    const auto result = runCore({"-config", (home.root() / "profile.conf").string(), "-api", "127.0.0.1:0",
                                 "-api-info", apiInfo.string()});
    EXPECT_EQ(result.first, 1);
    EXPECT_NE(result.second.find("this is not a profile"), std::string::npos) << result.second;
    EXPECT_FALSE(std::filesystem::exists(apiInfo));
}

TEST(CoreFailClosed, AProfileThatCannotBeUsedLeavesTheTrafficTotalsAlone)
{
    TemporaryHome home;
    writeFile(home.root() / "profile.conf", "[Rule]\nDOMAN-SUFFIX,example.com,DIRECT\nFINAL,DIRECT\n");
    const std::string totals =
        R"({"version":1,"today":{"day":"2026-01-01","up":123456,"down":654321},"month":{},"hourly":[]})";
    const auto stats = home.root() / "stats.json";
    writeFile(stats, totals);
    const auto result = runCore({"-config", (home.root() / "profile.conf").string(), "-api", "127.0.0.1:0",
                                 "-stats", stats.string()});
    EXPECT_EQ(result.first, 1);
    EXPECT_NE(result.second.find("[error] cannot use the configuration: line 2: unknown rule type"),
              std::string::npos)
        << result.second;
    EXPECT_EQ(readFile(stats), totals);
}

TEST(CoreFailClosed, ConfigurationSwappedForDeviceOrFifoIsRefused)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile(kRejectLoopback));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto config = core.configPath();
    std::filesystem::remove(config);
    std::filesystem::create_symlink("/dev/zero", config);
    auto answer = core.post("/reload");
    EXPECT_EQ(answer["ok"], false);
    EXPECT_NE(answer.value("error", std::string()).find("not a regular file"), std::string::npos) << answer;

    std::filesystem::remove(config);
    ASSERT_EQ(::mkfifo(config.c_str(), 0600), 0);
    answer = core.post("/reload"); // no writer: a blocking open would hang the core here
    EXPECT_EQ(answer["ok"], false);
    EXPECT_NE(answer.value("error", std::string()).find("not a regular file"), std::string::npos) << answer;
    EXPECT_EQ(socks5Reply(core, "127.0.0.1", echo->port()), 2) << "the last good rules still apply";
}

TEST(CorePlantedFiles, StatisticsLinksAreNeitherReadNorWrittenThrough)
{
    TemporaryHome home;
    TemporaryHome elsewhere;
    const PlantedLink statistics(elsewhere.root(), home.root() / "stats.json");
    const PlantedLink temporary(elsewhere.root(), home.root() / "stats.json.tmp");
    auto echo = makeEchoServer();
    {
        CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n", home.root()));
        ASSERT_TRUE(core.started()) << core.stderrText();
        EXPECT_TRUE(core.logContains("symbolic link"));
        Socket client(core.socksPort());
        ASSERT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0);
        client.send("counted");
        EXPECT_EQ(client.receiveExactly(7), "counted");
        EXPECT_EQ(core.terminate(SIGTERM), 0); // saves the statistics
    }
    EXPECT_TRUE(statistics.untouched());
    EXPECT_TRUE(temporary.untouched());
    EXPECT_TRUE(std::filesystem::is_symlink(home.root() / "stats.json.tmp"));
}

TEST(CorePlantedFiles, RuleSetAndCountryDatabaseTemporariesAreNotWrittenThrough)
{
    auto origin = makeOriginServer();
    LoopbackHttpServer server;
    server.setResponse(200, "not a country database", "application/octet-stream");
    TemporaryHome home;
    TemporaryHome elsewhere;
    const auto url = "http://127.0.0.1:" + std::to_string(origin->port()) + "/rules/a.list";
    const auto cached = home.root() / "RuleSets" / (sha256Hex(url).substr(0, 24) + ".list");
    const PlantedLink ruleSet(elsewhere.root(), cached.string() + ".tmp");
    const PlantedLink download(elsewhere.root(), home.root() / "Country.mmdb.download");
    CoreProcess core(withProfile("[General]\ngeoip-maxmind-url = http://" + server.address() +
                                     "/Country.mmdb\n[Rule]\nGEOIP,AU,REJECT\nRULE-SET," + url +
                                     ",REJECT\nFINAL,DIRECT\n",
                                 home.root()));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.post("/rulesets")["ok"], true);
    EXPECT_TRUE(eventually([&] { return core.logContains("country database from"); }));
    EXPECT_TRUE(ruleSet.untouched());
    EXPECT_TRUE(download.untouched());
    EXPECT_TRUE(std::filesystem::is_regular_file(cached)) << "the set itself was saved";
    EXPECT_FALSE(std::filesystem::exists(home.root() / "Country.mmdb")) << "an unusable download is dropped";
    struct stat info {};
    ASSERT_EQ(::stat(cached.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(CoreHostValidation, HostsOutsideRegNamesAndLiteralsAreRefusedEverywhere)
{
    auto origin = makeOriginServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto port = std::to_string(origin->port());
    for (const std::string& head : std::vector<std::string>{
             "CONNECT MMM[:298 HTTP/1.1\r\n\r\n", "GET http://a]b:" + port + "/ HTTP/1.1\r\n\r\n",
             "GET http://127.0.0.1:" + port + "/ HTTP/1.1\r\nHost: MMM[\r\n\r\n",
             "GET http://127.0.0.1:" + port + "/ HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n"}) {
        Socket client(core.socksPort());
        client.send(head);
        const auto reply = readHttpReply(client);
        ASSERT_TRUE(reply) << head;
        EXPECT_EQ(reply->status, 400) << head;
    }
    Socket socks(core.socksPort());
    EXPECT_NE(socks5Connect(socks, "a[b", origin->port()), 0);
    EXPECT_EQ(origin->accepted(), 0u) << "nothing reached the origin";
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreHttpFraming, AmbiguousFramingIsRefusedNotForwarded)
{
    auto origin = makeOriginServer();
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const std::string target = "http://127.0.0.1:" + std::to_string(origin->port()) + "/echo";
    // The smuggled GET would be the origin's next request if it preferred Content-Length.
    const std::string smuggled = "0\r\n\r\nGET /bytes/5 HTTP/1.1\r\nHost: x\r\n\r\n";
    for (const std::string& framing : std::vector<std::string>{
             "Content-Length: " + std::to_string(smuggled.size()) + "\r\nTransfer-Encoding: chunked\r\n",
             "Transfer-Encoding: chunked\r\nTransfer-Encoding: identity\r\n",
             "Transfer-Encoding: gzip, chunked\r\n"}) {
        Socket client(core.socksPort());
        client.send("POST " + target + " HTTP/1.1\r\n" + framing + "\r\n" + smuggled);
        const auto reply = readHttpReply(client);
        ASSERT_TRUE(reply) << framing;
        EXPECT_EQ(reply->status, 400) << framing;
        EXPECT_TRUE(client.peerClosed());
    }
    EXPECT_EQ(origin->accepted(), 0u);
}

TEST(CoreApiLockout, UnfinishedRequestsCannotKeepTheAppOut)
{
    CoreProcess core(withProfile(kRejectLoopback));
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::vector<Socket> flood;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 200; ++i) {
            flood.emplace_back(core.apiPort());
            flood.back().send("GET /status HTTP/1.1\r\nHost: " + core.apiAddress() +
                              "\r\n"); // never finished
        }
        const auto reply = core.request("GET", "/status");
        EXPECT_EQ(reply.status, 200) << "round " << round;
    }
    // A caller without the secret is answered once and then closed.
    Socket stranger(core.apiPort());
    stranger.send("GET /status HTTP/1.1\r\nHost: " + core.apiAddress() + "\r\n\r\n");
    const auto refused = readHttpReply(stranger);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    EXPECT_TRUE(stranger.peerClosed());
}

namespace {

long cpuTicks(int pid)
{
    const auto stat = readText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

std::size_t openDescriptors(int pid)
{
    const auto folder = "/proc/" + std::to_string(pid) + "/fd";
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

} // namespace

TEST(CoreDescriptors, ExhaustionPausesAcceptsAndTheRequestIsAnsweredLater)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer runtime needs descriptors of its own (it probes memory through a pipe) and
    // reports false faults when there are none.
    GTEST_SKIP() << "not meaningful in a sanitizer build";
#endif
    CoreProcess core(withProfile(kRejectLoopback));
    ASSERT_TRUE(core.started()) << core.stderrText();
    rlimit limit{};
    ASSERT_EQ(::prlimit(core.pid(), RLIMIT_NOFILE, nullptr, &limit), 0);
    limit.rlim_cur = openDescriptors(core.pid()) + 6;
    ASSERT_EQ(::prlimit(core.pid(), RLIMIT_NOFILE, &limit, nullptr), 0);
    std::vector<Socket> idle; // each holds one of the core's descriptors until it is closed
    for (int i = 0; i < 12; ++i) {
        idle.emplace_back(core.socksPort());
    }
    ASSERT_TRUE(eventually([&] { return openDescriptors(core.pid()) >= limit.rlim_cur; }));
    Socket api(core.apiPort());
    ASSERT_TRUE(api.connected()) << "the kernel queues it in the backlog";
    api.send("GET /status HTTP/1.1\r\nHost: " + core.apiAddress() + "\r\nAuthorization: Bearer " +
             core.secret() + "\r\nConnection: close\r\n\r\n");
    const long before = cpuTicks(core.pid());
    EXPECT_TRUE(api.receiveSome(1, std::chrono::seconds(1)).empty()) << "no descriptor, no answer yet";
    const long spent = cpuTicks(core.pid()) - before;
    EXPECT_LT(spent, ::sysconf(_SC_CLK_TCK) / 4) << "waiting for descriptors must not spin";
    idle.clear();
    const auto reply = readHttpReply(api);
    ASSERT_TRUE(reply) << "answered once descriptors are free";
    EXPECT_EQ(reply->status, 200);
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(::prlimit(core.pid(), RLIMIT_NOFILE, &limit, nullptr), 0);
    const auto lines = core.get("/logs?cursor=-1")["lines"];
    const auto warnings = std::count_if(lines.begin(), lines.end(), [](const json& line) {
        return line.get<std::string>().find("controller API: out of file descriptors") != std::string::npos;
    });
    EXPECT_EQ(warnings, 1) << "logged once per shortage";
}

namespace {

constexpr const char* kLanAddress = "192.0.2.10"; // an extra address on the namespace's loopback

/// Runs `body` on a thread of its own inside a new network namespace with loopback up and
/// kLanAddress added; processes spawned from that thread live in it too. False when the
/// namespace cannot be made (not root).
bool inPrivateNetwork(const std::function<void()>& body)
{
    bool made = false;
    std::thread runner([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            return;
        }
        const std::string setup =
            std::string("ip link set lo up && ip addr add ") + kLanAddress + "/32 dev lo";
        if (std::system(setup.c_str()) != 0) {
            return;
        }
        made = true;
        body();
    });
    runner.join(); // the namespace goes with the thread's last socket
    return made;
}

/// Sends an HTTP request head through the proxy and returns the status, or 0.
int httpStatusThrough(Socket& client, const std::string& head)
{
    client.send(head);
    const auto reply = readHttpReply(client);
    return reply ? reply->status : 0;
}

} // namespace

TEST(CoreLanLane, OtherDevicesNeverReachThisMachinesOwnServices)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private network namespace";
    }
    const bool ran = inPrivateNetwork([] {
        auto loopbackOnly = makeEchoServer(); // listens on 127.0.0.1 only
        const auto port = std::to_string(loopbackOnly->port());
        // Names whose only answer is loopback in IPv4-mapped form.
        FakeDnsServer dns(std::map<std::string, std::string>{{"mapped.test", "::ffff:127.0.0.1"},
                                                             {"unspecified.test", "::ffff:0.0.0.0"}});
        auto options = withProfile("[General]\ndns-server = 127.0.0.1:" + std::to_string(dns.port()) +
                                   "\n[Rule]\nFINAL,DIRECT\n");
        options.socks = false;
        options.extraArguments = {"-socks", "0.0.0.0:7891"};
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        const auto lanClient = [] { return Socket(7891, kLanAddress, kLanAddress); };
        {
            auto client = lanClient();
            EXPECT_EQ(socks5Connect(client, "127.0.0.1", loopbackOnly->port()), 2);
        }
        {
            auto client = lanClient();
            EXPECT_EQ(socks5Connect(client, "localhost", loopbackOnly->port()), 2);
        }
        {
            auto client = lanClient();
            EXPECT_EQ(socks5Connect(client, kLanAddress, loopbackOnly->port()), 2) << "own address";
        }
        {
            auto client = lanClient();
            EXPECT_EQ(socks5Connect(client, "127.0.0.1", core.apiPort()), 2) << "the controller API";
        }
        for (const char* name : {"mapped.test", "unspecified.test", "::ffff:127.0.0.1"}) {
            auto client = lanClient();
            EXPECT_EQ(socks5Connect(client, name, loopbackOnly->port()), 2) << name;
            auto api = lanClient();
            EXPECT_EQ(socks5Connect(api, name, core.apiPort()), 2) << name << " to the controller API";
        }
        {
            auto client = lanClient();
            EXPECT_EQ(httpStatusThrough(client, "GET http://mapped.test:" + port + "/ HTTP/1.1\r\n\r\n"),
                      403);
        }
        {
            auto client = lanClient();
            EXPECT_EQ(httpStatusThrough(client, "CONNECT 127.0.0.1:" + port + " HTTP/1.1\r\n\r\n"), 403);
        }
        {
            auto client = lanClient();
            EXPECT_EQ(httpStatusThrough(client, "GET http://127.0.0.1:" + port + "/ HTTP/1.1\r\n\r\n"), 403);
        }
        {
            auto client = lanClient();
            EXPECT_EQ(httpStatusThrough(client, "GET http://[::1]:" + port + "/ HTTP/1.1\r\n\r\n"), 403);
        }
        EXPECT_EQ(loopbackOnly->accepted(), 0u);
        EXPECT_TRUE(core.logContains("not reachable for other devices"));
        Socket local(7891); // a program on this machine still reaches its own services
        ASSERT_EQ(socks5Connect(local, "127.0.0.1", loopbackOnly->port()), 0);
        local.send("mine");
        EXPECT_EQ(local.receiveExactly(4), "mine");
    });
    if (!ran) {
        GTEST_SKIP() << "no private network namespace here";
    }
}

TEST(CoreLanLane, LoopsThroughAnyOwnAddressAreRefused)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private network namespace";
    }
    const bool ran = inPrivateNetwork([] {
        auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
        options.socks = false;
        options.extraArguments = {"-socks", "0.0.0.0:7891"};
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        const auto before = openDescriptors(core.pid());
        {
            // Pipelined: each tunnel would carry the next CONNECT back into the core.
            Socket client(7891);
            std::string heads;
            for (int i = 0; i < 50; ++i) {
                heads += std::string("CONNECT ") + kLanAddress + ":7891 HTTP/1.1\r\n\r\n";
            }
            client.send(heads);
            const auto reply = readHttpReply(client);
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->status, 403);
        }
        Socket socks(7891);
        EXPECT_EQ(socks5Connect(socks, kLanAddress, 7891), 2);
        EXPECT_TRUE(core.logContains("refusing to connect the proxy to itself"));
        EXPECT_LE(openDescriptors(core.pid()), before + 4) << "no chain of tunnels was built";
    });
    if (!ran) {
        GTEST_SKIP() << "no private network namespace here";
    }
}

TEST(CoreProcessAttribution, ConnectionsAnswerWithoutWaitingForProgramLookups)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[Rule]\nPROCESS-NAME,core_integration_tests,DIRECT\nFINAL,REJECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::vector<Socket> tunnels;
    for (int i = 0; i < 400; ++i) {
        tunnels.emplace_back(core.socksPort());
        ASSERT_EQ(socks5Connect(tunnels.back(), "127.0.0.1", echo->port()), 0) << "the rule found us, " << i;
    }
    for (int poll = 0; poll < 3; ++poll) {
        const auto started = std::chrono::steady_clock::now();
        const auto connections = core.get("/connections");
        // The app gives each request 3 s; a core walking /proc on its I/O thread took longer.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
        ASSERT_TRUE(connections.is_array());
        EXPECT_GE(connections.size(), 400u);
    }
    Socket late(core.socksPort());
    EXPECT_EQ(socks5Connect(late, "127.0.0.1", echo->port()), 0);
}

namespace {

/// An origin for one connection: waits for the client's first byte (a whole request head when
/// `http`), sends `bytes`, then resets the connection.
class ResettingOrigin {
public:
    ResettingOrigin(std::string bytes, bool http)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, bytes = std::move(bytes), http] {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                return;
            }
            // Nothing is sent before the client's first bytes: by then the proxy has finished
            // connecting, so the reset cannot land in the middle of its connect.
            std::string head;
            char c = 0;
            while ((http ? head.find("\r\n\r\n") == std::string::npos : head.empty()) &&
                   ::recv(fd, &c, 1, 0) == 1) {
                head += c;
            }
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(fd);
        });
    }
    ~ResettingOrigin()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

/// Reads to the end and tells how the stream ended: "eof", "reset" or "timeout".
std::string endOfStream(Socket& socket, std::size_t& received)
{
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd item{socket.fd(), POLLIN, 0};
        if (::poll(&item, 1, 200) <= 0) {
            continue;
        }
        const auto got = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            continue;
        }
        return got == 0 ? "eof" : (errno == ECONNRESET ? "reset" : std::strerror(errno));
    }
    return "timeout";
}

} // namespace

TEST(CoreRelayEndings, OriginResetReachesTheClientAsAReset)
{
    auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto body = patternBytes(300000);
    {
        ResettingOrigin origin(body, false);
        Socket client(core.socksPort());
        ASSERT_EQ(socks5Connect(client, "127.0.0.1", origin.port()), 0);
        client.send("go");
        std::size_t received = 0;
        EXPECT_EQ(endOfStream(client, received), "reset") << "SOCKS5, after " << received << " bytes";
    }
    {
        ResettingOrigin origin(body, false);
        Socket client(core.socksPort());
        client.send("CONNECT 127.0.0.1:" + std::to_string(origin.port()) + " HTTP/1.1\r\n\r\n");
        client.receiveUntil("\r\n\r\n");
        client.send("go");
        std::size_t received = 0;
        EXPECT_EQ(endOfStream(client, received), "reset") << "CONNECT, after " << received << " bytes";
    }
    {
        // A body that runs until close is only whole when it ends in an orderly way.
        ResettingOrigin origin("HTTP/1.1 200 OK\r\n\r\n" + body, true);
        Socket client(core.socksPort());
        client.send("GET http://127.0.0.1:" + std::to_string(origin.port()) + "/ HTTP/1.1\r\n\r\n");
        std::size_t received = 0;
        EXPECT_EQ(endOfStream(client, received), "reset") << "plain HTTP, after " << received << " bytes";
    }
}

TEST(CoreRelayEndings, IdleTunnelsAreCutAndBusyOnesKept)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[General]\nrelay-idle-timeout = 1\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket idle(core.socksPort());
    ASSERT_EQ(socks5Connect(idle, "127.0.0.1", echo->port()), 0);
    Socket busy(core.socksPort());
    ASSERT_EQ(socks5Connect(busy, "127.0.0.1", echo->port()), 0);
    const auto outcome = keepBusyUntilIdleCut(idle, busy, std::chrono::seconds(4));
    ASSERT_TRUE(outcome.busyKept) << "a tunnel in use is never cut";
    EXPECT_TRUE(outcome.cut) << "a tunnel silent for longer than the limit is cut";
    EXPECT_GE(outcome.after, std::chrono::milliseconds(900)) << "not before it";
    ASSERT_TRUE(busy.send("tock"));
    EXPECT_EQ(busy.receiveExactly(4), "tock");
}

TEST(CoreRelayEndings, OriginSilentInTheMiddleOfABodyIsCut)
{
    TcpServer stalling([](int fd) {
        char buffer[4096];
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
        const std::string part = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nonly this";
        ::send(fd, part.data(), part.size(), MSG_NOSIGNAL);
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) { // silent until the proxy gives up
        }
    });
    CoreProcess core(withProfile("[General]\nrelay-idle-timeout = 1\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    client.send("GET http://127.0.0.1:" + std::to_string(stalling.port()) + "/ HTTP/1.1\r\n\r\n");
    std::size_t received = 0;
    EXPECT_EQ(endOfStream(client, received), "reset") << "after " << received << " bytes";
}

TEST(CoreRelayEndings, ClientsBeyondTheLimitAreClosedWithALogLine)
{
    auto echo = makeEchoServer();
    CoreProcess core(withProfile("[General]\nmax-connections = 16\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::vector<Socket> held;
    for (int i = 0; i < 16; ++i) {
        held.emplace_back(core.socksPort());
        ASSERT_EQ(socks5Connect(held.back(), "127.0.0.1", echo->port()), 0);
    }
    Socket extra(core.socksPort());
    EXPECT_TRUE(extra.peerClosed());
    EXPECT_TRUE(core.logContains("max-connections limit"));
    held.pop_back();
    EXPECT_TRUE(eventually([&] {
        Socket again(core.socksPort());
        return socks5Connect(again, "127.0.0.1", echo->port()) == 0;
    }));
}

TEST(CoreHttpProxy, AnUploadLongerThanTheResponseTimeOutIsNotCut)
{
    LoopbackHttpServer origin;
    origin.setResponse(200, "stored", "text/plain");
    CoreProcess core(withProfile("[General]\nhttp-response-timeout = 1\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    constexpr std::size_t kPiece = 32 * 1024;
    constexpr int kPieces = 8; // one every 300 ms: 2.4 s in all, more than the time-out
    ASSERT_TRUE(client.send("POST http://" + origin.address() +
                            "/upload HTTP/1.1\r\nHost: " + origin.address() +
                            "\r\nContent-Length: " + std::to_string(kPiece * kPieces) + "\r\n\r\n"));
    for (int i = 0; i < kPieces; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the client's own pace
        ASSERT_TRUE(client.send(std::string(kPiece, static_cast<char>('a' + i)))) << "piece " << i;
    }
    const auto reply = readHttpReply(client);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    ASSERT_EQ(origin.requestCount(), 1u);
    EXPECT_EQ(origin.requests()[0].body.size(), kPiece * kPieces);
}

TEST(CoreHttpProxy, SilentOriginIsAGatewayTimeout)
{
    std::atomic<bool> done{false};
    TcpServer silent([&done](int fd) {
        char buffer[4096];
        while (!done && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    });
    CoreProcess core(withProfile("[General]\nhttp-response-timeout = 1\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Socket client(core.socksPort());
    client.send("GET http://127.0.0.1:" + std::to_string(silent.port()) + "/ HTTP/1.1\r\n\r\n");
    const auto reply = readHttpReply(client);
    done = true;
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 504);
}

TEST(CoreLanLane, ListenerMovesBetweenLoopbackAndAllAddressesOnOnePort)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private network namespace";
    }
    const bool ran = inPrivateNetwork([] {
        auto echo = makeEchoServer();
        auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
        options.socks = false;
        options.extraArguments = {"-socks", "127.0.0.1:7891"};
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        auto moved = core.post("/socks?listen=0.0.0.0%3A7891");
        EXPECT_EQ(moved["ok"], true) << moved;
        EXPECT_EQ(moved["address"], "0.0.0.0:7891");
        EXPECT_TRUE(Socket(7891, kLanAddress).connected());
        moved = core.post("/socks?listen=127.0.0.1%3A7891");
        EXPECT_EQ(moved["ok"], true) << moved;
        EXPECT_FALSE(Socket(7891, kLanAddress).connected());

        // The new address is taken: the old one is bound again and keeps serving.
        const int occupier = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(7891);
        ::inet_pton(AF_INET, kLanAddress, &address.sin_addr);
        ASSERT_EQ(::bind(occupier, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(occupier, 1), 0);
        const auto refused = core.request("POST", std::string("/socks?listen=") + kLanAddress + "%3A7891");
        EXPECT_EQ(refused.status, 400);
        EXPECT_EQ(core.get("/socks")["address"], "127.0.0.1:7891");
        Socket client(7891);
        EXPECT_EQ(socks5Connect(client, "127.0.0.1", echo->port()), 0);
        ::close(occupier);
    });
    if (!ran) {
        GTEST_SKIP() << "no private network namespace here";
    }
}

TEST(CoreStartup, TakenProxyPortExitsNonZeroWithoutApiInfo)
{
    TemporaryHome home;
    writeFile(home.root() / "profile.conf", "[Rule]\nFINAL,DIRECT\n");
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const auto apiInfo = home.root() / "api.json";
    const auto result =
        runCore({"-config", (home.root() / "profile.conf").string(), "-api", "127.0.0.1:0", "-api-info",
                 apiInfo.string(), "-socks", "127.0.0.1:" + std::to_string(ntohs(address.sin_port))});
    ::close(holder);
    EXPECT_NE(result.first, 0);
    EXPECT_NE(result.second.find("cannot listen"), std::string::npos) << result.second;
    EXPECT_FALSE(std::filesystem::exists(apiInfo));
    for (const auto& entry : std::filesystem::directory_iterator(home.root())) {
        EXPECT_EQ(entry.path().filename().string().rfind("api.json", 0), std::string::npos)
            << "no api-info file or temporary left: " << entry.path();
    }
}

TEST(CoreStartup, ApiInfoAppearsOnlyOnceTheProxyAccepts)
{
    // The app takes the file as "ready": the moment it exists, the proxy must take clients.
    for (int round = 0; round < 5; ++round) {
        TemporaryHome home;
        const auto port = freePort();
        auto options = withProfile("[Rule]\nFINAL,DIRECT\n", home.root());
        options.socks = false;
        options.extraArguments = {"-socks", "127.0.0.1:" + std::to_string(port)};
        std::optional<Socket> client;
        options.whenApiInfoAppears = [&] { client.emplace(port); };
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        ASSERT_TRUE(client && client->connected()) << "round " << round;
        EXPECT_EQ(socks5Connect(*client, "127.0.0.1", core.apiPort()), 0);
    }
}

TEST(CoreDelayTest, LargeTestPageIsMeasuredToItsHead)
{
    auto origin = makeOriginServer();
    CoreProcess core(withProfile("[General]\nproxy-test-url = http://127.0.0.1:" +
                                 std::to_string(origin->port()) + "/bytes/4000000\n[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto answer = core.get("/test?node=DIRECT");
    EXPECT_GE(answer.value("ms", -1), 1) << answer;
}

TEST(CorePlantedFiles, FifosWhereTheCoreReadsDoNotHangIt)
{
    TemporaryHome home;
    const std::string url = "http://127.0.0.1:1/rules.list";
    std::filesystem::create_directories(home.root() / "RuleSets");
    const auto cached = home.root() / "RuleSets" / (sha256Hex(url).substr(0, 24) + ".list");
    ASSERT_EQ(::mkfifo(cached.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((home.root() / "Country.mmdb").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((home.root() / "stats.json").c_str(), 0600), 0);
    CoreProcess core(
        withProfile("[Rule]\nGEOIP,AU,REJECT\nRULE-SET," + url + ",REJECT\nFINAL,DIRECT\n", home.root()));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto sets = core.get("/rulesets");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]["rules"], 0);
    EXPECT_TRUE(core.logContains("not a regular file"));
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreRuleSetCache, ASetThatCannotBeCachedStillServesFromMemory)
{
    auto origin = makeOriginServer();
    TemporaryHome home;
    // Enhanced Mode's core sees the home read-only; a file where the cache folder belongs makes the
    // same failure here, whoever runs the test.
    writeFile(home.root() / "RuleSets", "not a folder");
    const auto url = "http://127.0.0.1:" + std::to_string(origin->port()) + "/rules/a.list";
    CoreProcess core(withProfile("[Rule]\nRULE-SET," + url + ",REJECT\nFINAL,DIRECT\n", home.root()));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.post("/rulesets")["ok"], true);
    const auto sets = core.get("/rulesets");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]["rules"], 2);
    EXPECT_EQ(sets[0]["error"], "");
    EXPECT_NE(sets[0]["updated"], "");
    EXPECT_TRUE(core.logContains("kept in memory"));
}
