// The controller API of the real ferrow-core binary: authorisation, Host check, limits,
// api-info lifecycle, endpoint shapes, reload, stop and signals.

#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "TemporaryHome.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

const std::string kBasicProfile = R"([General]
connection-history = 3
log-history = 50
proxy-test-url = http://127.0.0.1:1/generate_204
some-future-key = kept

[Proxy]
HK = ferrow, hk.example.com, 443, psk=secret, tfo=off
JP = ferrow, jp.example.com, 443, psk=secret, tfo=off

[Proxy Group]
Proxy = select, HK, JP
Exit = select, REJECT, DIRECT

[Unknown Section]
anything at all

[Rule]
DOMAIN-SUFFIX,blocked.test,REJECT
FINAL,Exit
)";

CoreProcess::Options withProfile(std::string profile)
{
    CoreProcess::Options options;
    options.profile = std::move(profile);
    return options;
}

constexpr std::size_t kEchoed = 100000;

/// A SOCKS5 tunnel through `core` to the echo server on `port` that has carried kEchoed bytes
/// there and back, still open.
Socket echoedTunnel(CoreProcess& core, std::uint16_t port)
{
    Socket client(core.socksPort());
    EXPECT_EQ(socks5Connect(client, "127.0.0.1", port), 0);
    client.send(std::string(kEchoed, 'a'));
    EXPECT_EQ(client.receiveExactly(kEchoed).size(), kEchoed);
    return client;
}

} // namespace

TEST(CoreApiInfo, WrittenPrivateOnceListeningAndRemovedAtStop)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    struct stat info {};
    ASSERT_EQ(::stat(core.apiInfoPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const auto record = json::parse(readFile(core.apiInfoPath()));
    EXPECT_EQ(record["secret"], core.secret());
    EXPECT_EQ(record["address"].get<std::string>().rfind("127.0.0.1:", 0), 0u);
    EXPECT_EQ(core.post("/stop")["ok"], true);
    EXPECT_EQ(core.waitForExit(std::chrono::seconds(5)), 0);
    EXPECT_FALSE(std::filesystem::exists(core.apiInfoPath()));
    EXPECT_TRUE(std::filesystem::exists(core.statsPath())) << "statistics are flushed at stop";
}

TEST(CoreApiInfo, StopIsAnsweredInFullBeforeTheCoreGoes)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    // Pipelined on one kept-alive connection: the stop's answer is whole, nothing after it is served.
    Socket api(core.apiPort());
    const std::string headers = " HTTP/1.1\r\nHost: " + core.apiAddress() + "\r\nAuthorization: Bearer " +
                                core.secret() + "\r\nContent-Length: 0\r\n\r\n";
    api.send("POST /stop" + headers + "GET /status" + headers);
    const auto reply = readHttpReply(api);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(json::parse(reply->body, nullptr, false), json({{"ok", true}}));
    EXPECT_TRUE(api.peerClosed()) << "the request after the stop is not answered";
    EXPECT_EQ(core.waitForExit(std::chrono::seconds(5)), 0);
    EXPECT_NE(core.stderrText().find("stopping: stop requested through the controller API"),
              std::string::npos);
}

TEST(CoreApiInfo, FileOfANewerCoreIsLeftAlone)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    // A core started after this one (the application restarting it) has written its own file.
    const std::string newer = R"({"address":"127.0.0.1:1","secret":"newer"})";
    writeFile(core.apiInfoPath(), newer);
    EXPECT_EQ(core.terminate(SIGTERM), 0);
    EXPECT_EQ(readFile(core.apiInfoPath()), newer);
}

TEST(CoreApiInfo, SigtermAndSigintEndCleanly)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        CoreProcess core(withProfile(kBasicProfile));
        ASSERT_TRUE(core.started()) << core.stderrText();
        const auto socksPort = core.socksPort();
        EXPECT_EQ(core.terminate(signal), 0);
        EXPECT_FALSE(std::filesystem::exists(core.apiInfoPath()));
        EXPECT_FALSE(Socket(socksPort).connected()) << "listener closed";
        EXPECT_NE(core.stderrText().find("stopping: signal"), std::string::npos);
    }
}

TEST(CoreApiAuth, BearerSecretRequired)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto missing = core.request("GET", "/status", {}, {}, false);
    EXPECT_EQ(missing.status, 401);
    EXPECT_TRUE(missing.body.empty());
    const auto wrong = core.request("GET", "/status", {}, {"Authorization: Bearer nope"}, false);
    EXPECT_EQ(wrong.status, 401);
    const auto prefix =
        core.request("GET", "/status", {}, {"Authorization: Bearer " + core.secret() + "x"}, false);
    EXPECT_EQ(prefix.status, 401);
    const auto basic = core.request("GET", "/status", {}, {"Authorization: Basic " + core.secret()}, false);
    EXPECT_EQ(basic.status, 401);
    EXPECT_EQ(core.request("GET", "/status").status, 200);
}

TEST(CoreApiAuth, EmptySecretNeedsNoHeader)
{
    auto options = withProfile(kBasicProfile);
    options.secret = "";
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.request("GET", "/status", {}, {}, false).status, 200);
    EXPECT_EQ(json::parse(readFile(core.apiInfoPath()))["secret"], "");
}

TEST(CoreApiAuth, ForeignHostHeaderRefused)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(
        core.request("GET", "/status", {}, {}, true, "attacker.example:" + std::to_string(core.apiPort()))
            .status,
        403);
    EXPECT_EQ(core.request("GET", "/status", {}, {}, true, "127.0.0.1:1").status, 403);
    EXPECT_EQ(
        core.request("GET", "/status", {}, {}, true, "localhost:" + std::to_string(core.apiPort())).status,
        200);
}

TEST(CoreApiLimits, OversizedBodyAndHeadersRefused)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.request("POST", "/select", std::string(70 * 1024, 'x')).status, 413);
    EXPECT_EQ(core.request("GET", "/status", {}, {"X-Filler: " + std::string(9000, 'y')}).status, 413);
    EXPECT_EQ(core.request("GET", "/status").status, 200) << "the core serves on after refusing";
}

TEST(CoreApiLimits, IdleConnectionIsNotNeededForOthers)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::vector<Socket> idle;
    for (int i = 0; i < 20; ++i) {
        idle.emplace_back(core.apiPort());
        idle.back().send("GET /status HTTP/1.1\r\n"); // never finished
    }
    EXPECT_EQ(core.request("GET", "/status").status, 200);
}

TEST(CoreApiShapes, EveryEndpointAnswersInItsShape)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto status = core.get("/status");
    EXPECT_EQ(status["running"], true);
    EXPECT_TRUE(status["uplink"].is_number_integer());
    EXPECT_TRUE(status["downlink"].is_number_integer());
    EXPECT_TRUE(status["version"].is_string());

    const auto stats = core.get("/stats");
    for (const char* period : {"today", "month", "total"}) {
        EXPECT_TRUE(stats[period]["up"].is_number_integer()) << period;
        EXPECT_TRUE(stats[period]["down"].is_number_integer()) << period;
    }
    ASSERT_TRUE(stats["hourly"].is_array());
    EXPECT_EQ(stats["hourly"].size(), 24u);

    EXPECT_TRUE(core.get("/connections").is_array());

    const auto outbound = core.get("/outbound");
    EXPECT_EQ(outbound["mode"], "rule");
    EXPECT_EQ(outbound["global"], "Proxy");
    EXPECT_EQ(outbound["nodes"], json({"Proxy", "Exit", "HK", "JP"}));

    const auto groups = core.get("/groups");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]["name"], "Proxy");
    EXPECT_EQ(groups[0]["type"], "select");
    EXPECT_EQ(groups[0]["members"], json({"HK", "JP"}));
    EXPECT_EQ(groups[0]["selected"], "HK");

    const auto logs = core.get("/logs?cursor=-1");
    EXPECT_EQ(logs["capacity"], 50);
    EXPECT_TRUE(logs["lines"].is_array());
    EXPECT_GT(logs["lines"].size(), 0u);
    EXPECT_TRUE(logs["cursor"].is_number_integer());

    const auto socks = core.get("/socks");
    EXPECT_EQ(socks["running"], true);
    EXPECT_EQ(socks["address"], "127.0.0.1:" + std::to_string(core.socksPort()));

    EXPECT_TRUE(core.get("/rulesets").is_array());
    const auto events = core.get("/events?cursor=0");
    EXPECT_TRUE(events["events"].is_array());
    EXPECT_EQ(events["cursor"], 0);

    EXPECT_EQ(core.request("GET", "/nowhere").status, 404);
    EXPECT_EQ(core.request("GET", "/reload").status, 405);
    EXPECT_EQ(core.request("GET", "/stop").status, 405);
}

TEST(CoreApiOutbound, ModeChangesAndBadValuesAreRefused)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.get("/outbound?mode=direct")["mode"], "direct");
    EXPECT_EQ(core.get("/outbound")["mode"], "direct");
    const auto global = core.get("/outbound?mode=global&node=JP");
    EXPECT_EQ(global["mode"], "global");
    EXPECT_EQ(global["global"], "JP");
    EXPECT_EQ(core.request("GET", "/outbound?mode=sideways").status, 400);
    EXPECT_EQ(core.request("GET", "/outbound?mode=global&node=Nowhere").status, 400);
    EXPECT_EQ(core.get("/outbound")["global"], "JP") << "a refused change leaves the state alone";
}

TEST(CoreApiLogs, CursorReturnsOnlyNewLinesAndCapHolds)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto first = core.get("/logs?cursor=-1");
    const auto cursor = first["cursor"].get<std::int64_t>();
    const auto again = core.get("/logs?cursor=" + std::to_string(cursor));
    EXPECT_TRUE(again["lines"].empty());
    EXPECT_EQ(again["cursor"], cursor);
    core.get("/outbound?mode=direct"); // logs one line
    const auto next = core.get("/logs?cursor=" + std::to_string(cursor));
    ASSERT_EQ(next["lines"].size(), 1u);
    EXPECT_NE(next["lines"][0].get<std::string>().find("outbound mode: direct"), std::string::npos);
    EXPECT_EQ(next["cursor"], cursor + 1);
    // A cursor this core never handed out (an earlier instance's) gets everything held.
    EXPECT_EQ(core.get("/logs?cursor=999999")["lines"].size(), core.get("/logs?cursor=-1")["lines"].size());

    for (int i = 0; i < 60; ++i) {
        core.get(i % 2 ? "/outbound?mode=direct" : "/outbound?mode=rule");
    }
    const auto capped = core.get("/logs?cursor=-1");
    EXPECT_EQ(capped["lines"].size(), 50u);
    EXPECT_GE(capped["cursor"].get<std::int64_t>(), 60);
}

TEST(CoreApiReload, GoodProfileAppliedBadProfileRefusedWithLine)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    core.writeProfile("[Proxy]\nHK = ferrow, h, 443\n\n[Proxy Group]\nProxy = select, HK, Missing\n");
    const auto refused = core.post("/reload");
    EXPECT_EQ(refused["ok"], false);
    EXPECT_EQ(refused["error"].get<std::string>().rfind("line 5:", 0), 0u) << refused.dump();
    EXPECT_NE(refused["error"].get<std::string>().find("Missing"), std::string::npos);
    EXPECT_EQ(core.get("/groups").size(), 2u) << "the old configuration stays";

    core.writeProfile("[Proxy Group]\r\nOnly = select, DIRECT, REJECT\r\n[Rule]\r\nFINAL,Only\r\n");
    EXPECT_EQ(core.post("/reload"), json({{"ok", true}}));
    const auto groups = core.get("/groups");
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]["name"], "Only");
}

TEST(CoreApiReload, UnreadableConfigurationIsRefused)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    std::filesystem::remove(core.configPath());
    const auto refused = core.post("/reload");
    EXPECT_EQ(refused["ok"], false);
    EXPECT_NE(refused["error"].get<std::string>().find("cannot read"), std::string::npos);
    EXPECT_EQ(core.get("/status")["running"], true);
}

TEST(CoreApiSelect, ChoiceValidatedAndKeptAcrossReload)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.post("/select", R"({"group":"Proxy","member":"JP"})")["ok"], true);
    EXPECT_EQ(core.request("POST", "/select", R"({"group":"Proxy","member":"XX"})").status, 400);
    EXPECT_EQ(core.request("POST", "/select", R"({"group":"Nope","member":"HK"})").status, 400);
    EXPECT_EQ(core.request("POST", "/select", "not json").status, 400);
    EXPECT_EQ(core.get("/groups")[0]["selected"], "JP");
    EXPECT_EQ(core.post("/reload")["ok"], true);
    EXPECT_EQ(core.get("/groups")[0]["selected"], "JP") << "kept while the member exists";
    auto without = kBasicProfile;
    without.replace(without.find("Proxy = select, HK, JP"), 22, "Proxy = select, HK");
    core.writeProfile(without);
    EXPECT_EQ(core.post("/reload")["ok"], true);
    EXPECT_EQ(core.get("/groups")[0]["selected"], "HK") << "falls back to the first member";
}

TEST(CoreApiTest, FerrowNodeAnswersMinusOneAndSaysWhy)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.get("/test?node=HK")["ms"], -1);
    EXPECT_TRUE(core.logContains("\"HK\": psk is too short")) << "said once, when the profile was loaded";
    EXPECT_EQ(core.get("/test?node=REJECT")["ms"], -1);
    EXPECT_EQ(core.get("/test?node=Unknown%20Node")["ms"], -1);
    EXPECT_EQ(core.request("GET", "/test").status, 400);
}

TEST(CoreApiTest, DirectDelayMeasuredAgainstTestUrl)
{
    auto origin = makeOriginServer();
    auto profile = "[General]\nproxy-test-url = http://127.0.0.1:" + std::to_string(origin->port()) +
                   "/generate_204\n[Proxy Group]\nAuto = url-test, DIRECT, REJECT\n";
    CoreProcess core(withProfile(profile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto ms = core.get("/test?node=DIRECT")["ms"].get<int>();
    EXPECT_GE(ms, 1);
    EXPECT_LT(ms, 5000);
    EXPECT_GE(core.get("/test?node=Auto")["ms"].get<int>(), 1) << "a group is measured through its member";
    // The url-test group picks the member that answered.
    for (int i = 0; i < 50 && core.get("/groups")[0]["delays"].size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(core.get("/groups")[0]["selected"], "DIRECT");
}

TEST(CoreApiSocks, MoveCloseAndFailedMoveKeepsOldListener)
{
    CoreProcess core(withProfile(kBasicProfile));
    ASSERT_TRUE(core.started()) << core.stderrText();
    const auto oldPort = core.socksPort();
    const auto newPort = freePort();
    const auto moved = core.post("/socks?listen=127.0.0.1%3A" + std::to_string(newPort));
    EXPECT_EQ(moved["ok"], true);
    EXPECT_EQ(core.get("/socks")["address"], "127.0.0.1:" + std::to_string(newPort));
    EXPECT_FALSE(Socket(oldPort).connected());
    EXPECT_TRUE(Socket(newPort).connected());

    Socket occupier(core.apiPort()); // the API port is taken for sure
    const auto refused = core.request("POST", "/socks?listen=127.0.0.1:" + std::to_string(core.apiPort()));
    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(core.get("/socks")["address"], "127.0.0.1:" + std::to_string(newPort));
    EXPECT_TRUE(Socket(newPort).connected());

    EXPECT_EQ(core.request("POST", "/socks?listen=not-an-address").status, 400);
    EXPECT_EQ(core.post("/socks?listen=")["ok"], true);
    const auto closed = core.get("/socks");
    EXPECT_EQ(closed["running"], false);
    EXPECT_EQ(closed["address"], "");
    EXPECT_FALSE(Socket(newPort).connected());
}

TEST(CoreApiRuleSets, FilesUrlsAndMissingSetsReportedHonestly)
{
    auto origin = makeOriginServer();
    const auto base = "http://127.0.0.1:" + std::to_string(origin->port());
    auto options =
        withProfile("[Rule]\nRULE-SET,geoip:private,DIRECT\nRULE-SET,geosite:cn,DIRECT\nRULE-SET," + base +
                    "/rules/a.list,REJECT\nRULE-SET," + base + "/missing,REJECT\nFINAL,DIRECT\n");
    options.extraArguments = {"-rule-set-dir", FERROW_RULE_SET_DIR};
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.post("/rulesets")["ok"], true);
    const auto sets = core.get("/rulesets");
    ASSERT_EQ(sets.size(), 4u);
    std::map<std::string, json> byName;
    for (const auto& set : sets) {
        byName[set["name"]] = set;
        for (const char* key : {"type", "path", "url", "updated", "error"}) {
            EXPECT_TRUE(set[key].is_string()) << key;
        }
        EXPECT_TRUE(set["rules"].is_number_integer());
    }
    EXPECT_GT(byName["geoip:private"]["rules"].get<int>(), 10);
    EXPECT_EQ(byName["geoip:private"]["error"], "");
    EXPECT_EQ(byName["geoip:private"]["url"], "file://" + byName["geoip:private"]["path"].get<std::string>());
    EXPECT_EQ(byName["geosite:cn"]["rules"], 0);
    EXPECT_NE(byName["geosite:cn"]["error"], "");
    const auto good = byName[base + "/rules/a.list"];
    EXPECT_EQ(good["rules"], 2);
    EXPECT_EQ(good["error"], "");
    EXPECT_NE(good["updated"], "");
    EXPECT_TRUE(std::filesystem::exists(good["path"].get<std::string>()));
    const auto bad = byName[base + "/missing"];
    EXPECT_EQ(bad["rules"], 0);
    EXPECT_NE(bad["error"].get<std::string>().find("404"), std::string::npos);
    const auto events = core.get("/events?cursor=0");
    ASSERT_GE(events["events"].size(), 1u);
    EXPECT_EQ(events["events"][0]["title"], "Rule set update failed");
    const auto cursor = events["cursor"].get<std::int64_t>();
    EXPECT_TRUE(core.get("/events?cursor=" + std::to_string(cursor))["events"].empty());
}

TEST(CoreCommandLine, UsageErrorsExitTwoWithOneLine)
{
    const auto unknown = runCore({"-config", "/nonexistent", "-frobnicate"});
    EXPECT_EQ(unknown.first, 2);
    EXPECT_NE(unknown.second.find("unknown flag \"-frobnicate\""), std::string::npos);
    EXPECT_EQ(std::count(unknown.second.begin(), unknown.second.end(), '\n'), 1);
    EXPECT_EQ(runCore({"-config"}).first, 2);
    EXPECT_EQ(runCore({"-no-tun"}).first, 2);
    EXPECT_EQ(runCore({"-config", "x", "-api-info-uid", "abc"}).first, 2);
    EXPECT_EQ(runCore({"-config", "x", "-socks", "nonsense"}).first, 2);
}

TEST(CoreCommandLine, BadProfileExitsOneNamingTheLine)
{
    TemporaryHome home;
    const auto config = home.root() / "profile.conf";
    writeFile(config, "[Proxy]\nHK = ferrow, host, 99999\n");
    const auto result = runCore({"-config", config.string(), "-api", "127.0.0.1:0"});
    EXPECT_EQ(result.first, 1);
    EXPECT_NE(result.second.find("line 2"), std::string::npos) << result.second;
}

TEST(CoreStatistics, KeptAcrossRestarts)
{
    auto echo = makeEchoServer();
    TemporaryHome home;
    std::uint64_t before = 0;
    {
        auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
        options.folder = home.root();
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        Socket client = echoedTunnel(core, echo->port());
        client.shutdownWrite();
        client.receiveAll();
        EXPECT_TRUE(
            waitUntil([&] { return core.get("/stats")["total"]["up"].get<std::uint64_t>() >= kEchoed; }));
        before = core.get("/stats")["total"]["up"].get<std::uint64_t>();
        EXPECT_GE(before, kEchoed);
        EXPECT_EQ(core.get("/stats")["today"]["down"].get<std::uint64_t>(), core.get("/status")["downlink"]);
        EXPECT_EQ(core.terminate(SIGTERM), 0);
    }
    auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
    options.folder = home.root();
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_EQ(core.get("/stats")["total"]["up"].get<std::uint64_t>(), before);
    EXPECT_EQ(core.get("/status")["uplink"], 0) << "the status counters start with the process";
}

TEST(CoreApiRuleSets, ReloadsDuringADownloadStartNoOtherAndAFailureIsOneEvent)
{
    // A listener that never accepts: the download's connection waits in its queue, so the test
    // can count the downloads started by reading the queue afterwards.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 16), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/slow.list";
    CoreProcess core(withProfile("[Rule]\nRULE-SET," + url + ",REJECT\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(core.post("/reload")["ok"], true);
    }
    // Every reload has been handled; a second download would have connected by now.
    int queued = 0;
    pollfd ready{listener, POLLIN, 0};
    while (::poll(&ready, 1, queued == 0 ? 5000 : 300) == 1) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(connection, 0);
        ++queued;
        // Reset at once: the download fails now instead of at its time-out.
        const linger abort{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(connection);
    }
    ::close(listener);
    EXPECT_EQ(queued, 1);
    ASSERT_TRUE(waitUntil([&] { return !core.get("/rulesets")[0]["error"].get<std::string>().empty(); }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(core.post("/reload")["ok"], true);
        EXPECT_EQ(core.post("/rulesets")["ok"], true);
    }
    int failures = 0;
    const auto events = core.get("/events?cursor=0");
    for (const auto& event : events["events"]) {
        failures += event["title"] == "Rule set update failed" ? 1 : 0;
    }
    EXPECT_EQ(failures, 1) << events.dump();
}

TEST(CoreHistory, ProgramDeviceDomainAndPolicyOutliveTheConnectionAndARestart)
{
    auto echo = makeEchoServer();
    TemporaryHome home;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto processUp = [](CoreProcess& core, const std::string& name) {
        const auto answer = core.get("/history?dimension=process&days=7");
        for (const auto& item : answer["items"]) {
            if (item["name"] == name) {
                return item["up"].get<std::uint64_t>();
            }
        }
        return std::uint64_t{0};
    };
    auto options = withProfile("[Rule]\nFINAL,DIRECT\n");
    options.folder = home.root();
    {
        CoreProcess core(options);
        ASSERT_TRUE(core.started()) << core.stderrText();
        Socket client = echoedTunnel(core, echo->port());
        // Programs are looked up in batches while connections are open; nothing here asks for the
        // connection list, which looks them up too.
        ASSERT_TRUE(waitUntil([&] { return processUp(core, self) >= kEchoed; }))
            << core.get("/history?dimension=process&days=7").dump();
        client.shutdownWrite();
        client.receiveAll();
        const auto week = core.get("/history?dimension=process&days=7");
        EXPECT_EQ(week["items"][0]["daily"].size(), 7u);
        EXPECT_EQ(core.get("/history?dimension=device")["items"][0]["name"], "127.0.0.1");
        EXPECT_EQ(core.get("/history?dimension=domain")["items"][0]["name"], "127.0.0.1");
        EXPECT_EQ(core.get("/history?dimension=policy&days=90")["items"][0]["name"], "DIRECT");
        for (const std::string bad : {"dimension=program", "dimension=process&days=0",
                                      "dimension=process&days=91", "dimension=process&days=7x", ""}) {
            EXPECT_EQ(core.request("GET", "/history?" + bad).status, 400) << bad;
        }
        EXPECT_EQ(core.terminate(SIGTERM), 0);
    }
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    EXPECT_GE(processUp(core, self), kEchoed);
}
