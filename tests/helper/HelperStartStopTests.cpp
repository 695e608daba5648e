#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include <nlohmann/json.hpp>

#include "FRWProcessInspector.h"
#include "FRWSignature.h"
#include "HelperFixture.h"

using namespace ferrow::test;

namespace {

std::vector<std::string> commandLine(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> parts;
    std::string part;
    while (std::getline(file, part, '\0')) {
        parts.push_back(part);
    }
    return parts;
}

bool processGone(pid_t pid)
{
    const int pidfd = FRWProcessInspector::openPidfd(pid);
    if (pidfd < 0) {
        return true;
    }
    const bool gone = !FRWProcessInspector::isAlive(pidfd);
    ::close(pidfd);
    return gone;
}

} // namespace

TEST(HelperTunName, AcceptsUtunWithOneToFourDigitsOnly)
{
    EXPECT_TRUE(FRWHelperService::isValidTunName("utun9"));
    EXPECT_TRUE(FRWHelperService::isValidTunName("utun0"));
    EXPECT_TRUE(FRWHelperService::isValidTunName("utun1234"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("utun"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("utun12345"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("utunx"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("utun9a"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("tun99"));
    EXPECT_FALSE(FRWHelperService::isValidTunName("eth0"));
    EXPECT_FALSE(FRWHelperService::isValidTunName(std::string("utun\0", 5)));
}

TEST(HelperSecret, FortyEightFreshHexDigits)
{
    const std::string one = FRWHelperService::randomSecret();
    const std::string two = FRWHelperService::randomSecret();
    EXPECT_EQ(one.size(), 48u);
    EXPECT_EQ(one.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(one, two);
}

TEST_F(HelperTest, StartsTheRealCoreFromAStagedCopyWithItsCommandLine)
{
    ASSERT_EQ(start(params(builtCorePath())), "");
    EXPECT_TRUE(host->service().isCoreRunning());
    const pid_t pid = startedPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(FRWProcessInspector::executablePath(pid), host->config().stagedCorePath)
        << "the core ran from the caller's path, not the staged copy";

    // The test host adds "-no-tun" last: its cores never route this machine's traffic.
    const std::vector<std::string> expected{host->config().stagedCorePath,
                                            "-config",
                                            configPath,
                                            "-api",
                                            "127.0.0.1:0",
                                            "-api-info",
                                            host->config().apiInfoPath,
                                            "-api-info-uid",
                                            std::to_string(::geteuid()),
                                            "-api-info-gid",
                                            std::to_string(::getegid()),
                                            "-tun-name",
                                            "utun9",
                                            "-stats",
                                            host->config().coreStateDirectory + "/" +
                                                std::to_string(::geteuid()) + "/core-stats.json",
                                            "-no-tun"};
    EXPECT_EQ(commandLine(pid), expected);

    struct stat folder {};
    ASSERT_EQ(::stat(host->config().apiInfoDirectory.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0755u);
    struct stat staged {};
    ASSERT_EQ(::stat(host->config().stagedCorePath.c_str(), &staged), 0);
    EXPECT_EQ(staged.st_mode & 07777, 0755u);
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));

    // The core writes its api-info file with the secret the helper made for it, for the caller.
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }))
        << "the core wrote no api-info file";
    struct stat info {};
    ASSERT_EQ(::stat(host->config().apiInfoPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    const auto record = nlohmann::json::parse(readFile(host->config().apiInfoPath), nullptr, false);
    ASSERT_TRUE(record.is_object());
    const std::string secret = record.value("secret", "");
    EXPECT_EQ(secret.size(), 48u);
    EXPECT_NE(record.value("address", "").find("127.0.0.1:"), std::string::npos);

    host->service().stopCore();
    EXPECT_FALSE(host->service().isCoreRunning());
    EXPECT_TRUE(processGone(pid));
    EXPECT_TRUE(host->waitForLog("ferrow-helper: core exited (status "));
}

TEST_F(HelperTest, OptionalArgumentsOnlyWhenAsked)
{
    auto p = params(builtCorePath());
    p.ruleSetDir = path("rule sets");
    p.gateway = true;
    p.tunName = "utun12";
    p.apiInfoPath = host->config().apiInfoPath;
    ASSERT_EQ(start(p), "");
    const auto line = commandLine(startedPid());
    ASSERT_EQ(line.size(), 23u); // with the test host's "-no-tun" last
    EXPECT_EQ(line[12], "utun12");
    EXPECT_EQ(line[13], "-rule-set-dir");
    EXPECT_EQ(line[14], path("rule sets"));
    EXPECT_EQ(line[15], "-gateway");
    EXPECT_EQ(line[16], "-dns-socket");
    EXPECT_EQ(line[18], "-dns-socket");
    EXPECT_EQ(line[20], "-stats");
}

std::string socketLink(const std::string& fdPath)
{
    std::error_code error;
    const auto target = std::filesystem::read_symlink(fdPath, error).string();
    return target.starts_with("socket:") ? target : std::string();
}

TEST_F(HelperTest, AGatewayCoreHoldsThePort53SocketsAndTheHelperKeepsNoCopy)
{
    ASSERT_TRUE(copySigned(STUBBORN_CORE, path("stubborn"), "ferrow-core", signingKeyPem()));
    auto p = params(path("stubborn"));
    p.gateway = true;
    ASSERT_EQ(start(p), "");
    const pid_t pid = startedPid();
    const auto line = commandLine(pid);
    std::vector<std::string> held;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == "-dns-socket") {
            held.push_back(socketLink("/proc/" + std::to_string(pid) + "/fd/" + line[i + 1]));
            EXPECT_FALSE(held.back().empty())
                << "descriptor " << line[i + 1] << " is not a socket in the core";
        }
    }
    ASSERT_EQ(held.size(), 2u);
    EXPECT_NE(held[0], held[1]);
    // Closed in the helper once handed over: the core alone answers on port 53.
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const auto link = socketLink(entry.path().string());
        EXPECT_TRUE(link.empty() || (link != held[0] && link != held[1]))
            << "the helper still holds " << link;
    }
    ::kill(pid, SIGKILL);
    EXPECT_TRUE(host->waitForLog("ferrow-helper: core exited (status 9)"));
}

TEST_F(HelperTest, ChecksRunInOrderWithTheirTexts)
{
    EXPECT_EQ(start(params(path("missing"))), "core not found at " + path("missing"));
    std::filesystem::create_directories(path("folder"));
    EXPECT_EQ(start(params(path("folder"))), "core not found at " + path("folder"));

    auto p = params(builtCorePath());
    p.apiInfoPath = host->config().apiInfoDirectory + "/other.json";
    p.tunName = "bad";
    EXPECT_EQ(start(p), "unexpected api-info path") << "same folder, other name";
    p.apiInfoPath = "/tmp/api-info.json";
    EXPECT_EQ(start(p), "unexpected api-info path");
    p.apiInfoPath.clear();
    EXPECT_EQ(start(p), "invalid tun name");
    for (const std::string name : {"utun", "utun123456", "utunA", "tun9"}) {
        p.tunName = name;
        EXPECT_EQ(start(p), "invalid tun name") << name;
    }
    p.tunName = "utun7";
    p.configPath.clear();
    EXPECT_EQ(start(p), "no profile supplied");
    EXPECT_FALSE(host->service().isCoreRunning());
    EXPECT_FALSE(host->hasLog("started core"));
}

TEST_F(HelperTest, OverlappingStartsRunOneCore)
{
    auto first = std::async(std::launch::async, [&] { return start(params(builtCorePath())); });
    auto second = std::async(std::launch::async, [&] { return start(params(builtCorePath())); });
    const std::string a = first.get();
    const std::string b = second.get();
    EXPECT_TRUE((a.empty() && b == "core already running") || (b.empty() && a == "core already running"))
        << "first: '" << a << "' second: '" << b << "'";
    int started = 0;
    for (const std::string& line : host->logs()) {
        started += line.find("started core pid") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(started, 1);
}

TEST_F(HelperTest, ACoreKilledFromOutsideLeavesNoApiInfoBehind)
{
    ASSERT_TRUE(copySigned(STUBBORN_CORE, path("stubborn"), "ferrow-core", signingKeyPem()));
    ASSERT_EQ(start(params(path("stubborn"))), "");
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    ::kill(startedPid(), SIGKILL);
    EXPECT_TRUE(host->waitForLog("ferrow-helper: core exited (status 9)"));
    EXPECT_TRUE(waitFor([&] { return !exists(host->config().apiInfoPath); }));
    EXPECT_FALSE(host->service().isCoreRunning());
}

TEST_F(HelperTest, ACoreThatExitsByItselfIsForgotten)
{
    writeFile(configPath, "[Proxy]\nHK = ferrow, host, 99999\n");
    ASSERT_EQ(start(params(builtCorePath())), "");
    ASSERT_TRUE(host->waitForLog("ferrow-helper: core exited (status 1)"));
    EXPECT_TRUE(waitFor([&] { return !host->service().isCoreRunning(); }));
    writeFile(configPath, kTestProfile);
    EXPECT_EQ(start(params(builtCorePath())), "") << "a dead core still blocked the next start";
}

TEST_F(HelperTest, ACoreIgnoringSigtermIsKilledAfterTheGrace)
{
    startHost([](FRWHelperConfig& config) { config.stopGrace = std::chrono::milliseconds(1000); });
    ASSERT_TRUE(copySigned(STUBBORN_CORE, path("stubborn"), "ferrow-core", signingKeyPem()));
    ASSERT_EQ(start(params(path("stubborn"))), "");
    const pid_t pid = startedPid();
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }))
        << "the stubborn core never set up";
    host->service().stopCore();
    EXPECT_TRUE(host->hasLog("ferrow-helper: core did not exit in 1s, killing"));
    EXPECT_TRUE(processGone(pid));
    EXPECT_FALSE(exists(host->config().apiInfoPath)) << "a killed core's api-info file was left behind";
    EXPECT_FALSE(host->service().isCoreRunning());
}

// ---- Staging

TEST_F(HelperTest, SymlinkDirectoryAndFifoAreRefusedBeforeAnythingIsCopied)
{
    std::filesystem::create_symlink(builtCorePath(), path("link"));
    EXPECT_EQ(start(params(path("link"))), "core not found at " + path("link"));
    EXPECT_TRUE(host->hasLog("ferrow-helper: cannot open core at " + path("link")));

    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0755), 0);
    EXPECT_EQ(start(params(path("fifo"))), "core not found at " + path("fifo"));

    EXPECT_FALSE(exists(host->config().stagedCorePath));
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
    EXPECT_FALSE(host->service().isCoreRunning());
}

TEST_F(HelperTest, AnUnreadableCoreIsRefusedBeforeAnythingIsCopied)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "SKIPPED: root reads every file, so an unreadable core cannot be made here";
    }
    ASSERT_TRUE(copySigned(builtCorePath(), path("locked"), "ferrow-core", signingKeyPem()));
    ::chmod(path("locked").c_str(), 0111);
    EXPECT_EQ(start(params(path("locked"))), "core not found at " + path("locked"));
    EXPECT_TRUE(host->hasLog("cannot open core at " + path("locked") + " (Permission denied)"));
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
}

TEST_F(HelperTest, ATamperedCoreIsRefusedItsCopyRemovedAndTheStagedCoreKept)
{
    ASSERT_EQ(start(params(builtCorePath())), "");
    host->service().stopCore();
    const std::string stagedBefore = readFile(host->config().stagedCorePath);

    ASSERT_TRUE(copySigned(builtCorePath(), path("tampered"), "ferrow-core", signingKeyPem()));
    std::string bytes = readFile(path("tampered"));
    bytes[bytes.size() / 2] ^= 0x20;
    writeFile(path("tampered"), bytes);
    EXPECT_EQ(start(params(path("tampered"))),
              "core binary is not signed by Ferrow - refusing to run it as root");
    EXPECT_TRUE(
        host->hasLog("ferrow-helper: staged core at " + path("tampered") + " is not signed by Ferrow"));
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
    EXPECT_EQ(readFile(host->config().stagedCorePath), stagedBefore);
    EXPECT_FALSE(host->service().isCoreRunning());
}

TEST_F(HelperTest, UnsignedOrOtherwiseSignedCoresAreRefused)
{
    ASSERT_TRUE(copyUnsigned(builtCorePath(), path("unsigned")));
    EXPECT_EQ(start(params(path("unsigned"))),
              "core binary is not signed by Ferrow - refusing to run it as root");
    // The application's own signature does not make a program a core.
    ASSERT_TRUE(copySigned(builtCorePath(), path("as-app"), "zq.orbel.ferrow-mac", signingKeyPem()));
    EXPECT_EQ(start(params(path("as-app"))),
              "core binary is not signed by Ferrow - refusing to run it as root");
    const auto otherKey = ferrow::signature::generateKeyPair();
    ASSERT_TRUE(otherKey);
    ASSERT_TRUE(copySigned(builtCorePath(), path("other-key"), "ferrow-core", otherKey->privateKeyPem));
    EXPECT_EQ(start(params(path("other-key"))),
              "core binary is not signed by Ferrow - refusing to run it as root");
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
    EXPECT_FALSE(exists(host->config().stagedCorePath));
}

TEST_F(HelperTest, ReplacingTheCallersFileAfterStartChangesNothingThatRuns)
{
    ASSERT_TRUE(copySigned(builtCorePath(), path("bundle-core"), "ferrow-core", signingKeyPem()));
    ASSERT_EQ(start(params(path("bundle-core"))), "");
    const std::string staged = readFile(host->config().stagedCorePath);
    writeFile(path("bundle-core"), "#!/bin/sh\necho replaced\n");
    EXPECT_EQ(readFile(host->config().stagedCorePath), staged);
    EXPECT_EQ(FRWProcessInspector::executablePath(startedPid()), host->config().stagedCorePath);
    const auto bytes =
        ferrow::signature::readFile(host->config().stagedCorePath, ferrow::signature::kMaxSignedFileSize);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(ferrow::signature::verify(*bytes, "ferrow-core", host->config().publicKeyPem),
              ferrow::signature::VerifyStatus::Valid);
}

TEST_F(HelperTest, TheStagedCoreIsOwnedByRoot)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "SKIPPED: needs root to give the staged core to root";
    }
    startHost([](FRWHelperConfig& config) {
        config.coreOwner = 0;
        config.coreGroup = 0;
    });
    ASSERT_EQ(start(params(builtCorePath())), "");
    struct stat staged {};
    ASSERT_EQ(::stat(host->config().stagedCorePath.c_str(), &staged), 0);
    EXPECT_EQ(staged.st_uid, 0u);
    EXPECT_EQ(staged.st_gid, 0u);
    EXPECT_EQ(staged.st_mode & 07777, 0755u);
}

// ---- Stopping a core the helper lost track of

TEST_F(HelperTest, TheFallbackStopOnlyHitsTheStagedCoreOfItsOwner)
{
    // A core left by an earlier helper: the staged file, running as the core's owner.
    ASSERT_TRUE(copyUnsigned("/bin/sleep", host->config().stagedCorePath));
    ChildProcess lost({host->config().stagedCorePath, "60"});
    // The user's own System Proxy core: same name as every core, another file.
    std::filesystem::create_directories(path("user"));
    ASSERT_TRUE(copyUnsigned("/bin/sleep", path("user/ferrow-core")));
    ChildProcess own({path("user/ferrow-core"), "60"});
    ASSERT_TRUE(waitFor([&] {
        return FRWProcessInspector::executablePath(lost.pid()) == host->config().stagedCorePath &&
               FRWProcessInspector::executablePath(own.pid()) == path("user/ferrow-core");
    }));

    host->service().stopCore();
    EXPECT_TRUE(waitFor([&] { return !lost.running(); })) << "the lost core was not stopped";
    EXPECT_TRUE(own.running()) << "the user's own ferrow-core was signalled";
    EXPECT_TRUE(
        host->hasLog("stopping a core this helper lost track of (pid " + std::to_string(lost.pid()) + ")"));
}

TEST_F(HelperTest, TheFallbackStopOnlyReachesTheCallersOwnCores)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "SKIPPED: needs root to run a process as another user";
    }
    startHost([](FRWHelperConfig& config) {
        config.coreOwner = 0;
        config.coreGroup = 0;
    });
    ASSERT_TRUE(copyUnsigned("/bin/sleep", host->config().stagedCorePath));
    ChildProcess asNobody({host->config().stagedCorePath, "60"}, 65534);
    ChildProcess asRoot({host->config().stagedCorePath, "60"});
    ASSERT_TRUE(waitFor([&] {
        return FRWProcessInspector::effectiveUid(asNobody.pid()) == 65534u &&
               FRWProcessInspector::executablePath(asRoot.pid()) == host->config().stagedCorePath;
    }));
    // A caller reaches only cores running as itself.
    EXPECT_FALSE(host->service().stopCore(FRWPeer{::getpid(), 65534, 65534, nullptr}));
    EXPECT_TRUE(waitFor([&] { return !asNobody.running(); }));
    EXPECT_TRUE(asRoot.running()) << "a process of another user was signalled";
}
