// What a caller can make the helper do: polkit decides every start, the core runs as the caller
// with only the tunnel's capabilities, and nothing the caller names is touched with root's rights.

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <netinet/in.h>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <nlohmann/json.hpp>

#include "FRWCoreProcess.h"
#include "FRWCoreStaging.h"
#include "FRWNames.h"
#include "FRWProcessInspector.h"
#include "HelperFixture.h"

using namespace ferrow::test;

namespace {

constexpr uid_t kNobody = 65534;

std::string statusField(pid_t pid, const std::string& name)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            std::string value = line.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    }
    return {};
}

std::set<std::string> environmentNames(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::set<std::string> names;
    std::string entry;
    while (std::getline(file, entry, '\0')) {
        names.insert(entry.substr(0, entry.find('=')));
    }
    return names;
}

/// Sends one HTTP request to 127.0.0.1:`port` and answers the whole response, empty when none came.
std::string httpExchange(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char block[4096];
        ssize_t got = 0;
        while ((got = ::recv(fd, block, sizeof block, 0)) > 0) {
            response.append(block, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return response;
}

/// Sends one HTTP request to 127.0.0.1:`port` and answers its status code, 0 when none came.
int httpStatus(int port, const std::string& request)
{
    const std::string response = httpExchange(port, request);
    return response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
}

/// Takes CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from this thread's effective set while it lives,
/// as the helper's unit does for good: root's permission checks then apply to what the thread does.
class WithoutPermissionOverrides {
public:
    WithoutPermissionOverrides()
    {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutPermissionOverrides() { ::syscall(SYS_capset, &m_header, m_saved); }
    WithoutPermissionOverrides(const WithoutPermissionOverrides&) = delete;
    WithoutPermissionOverrides& operator=(const WithoutPermissionOverrides&) = delete;
    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_active = false;
};

bool portAnswers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answers = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

} // namespace

class HelperConfinementTest : public HelperTest {
protected:
    FRWPeer caller(uid_t uid) const
    {
        auto peer = *me();
        peer.uid = uid;
        peer.gid = uid;
        return peer;
    }

    std::string startAs(const FRWPeer& peer, const FRWHelperService::StartCoreParams& p)
    {
        const auto error = host->service().startCore(p, peer);
        return error ? error->description : std::string();
    }

    void requireRoot()
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "SKIPPED: needs root to start a core as another user";
        }
    }
};

// ---- Who may start and stop

TEST_F(HelperConfinementTest, PolkitDecidesEveryStartBeforeAnyFileIsTouched)
{
    host->polkit().setDecision(TestPolkitAuthority::Decision::Deny);
    EXPECT_EQ(start(params(builtCorePath())),
              "not authorised to start Enhanced Mode: this user is not allowed to start Enhanced Mode");
    EXPECT_FALSE(exists(host->config().stagedCorePath)) << "a refused caller got the core staged";
    const auto question = host->polkit().lastQuestion();
    EXPECT_EQ(question.kind, "unix-process");
    EXPECT_EQ(question.action, "zq.orbel.ferrow-mac.helper.start-core");
    EXPECT_EQ(question.pid, ::getpid());
    EXPECT_EQ(question.uid, ::geteuid());
    EXPECT_GT(question.startTime, 0u);

    host->polkit().withdraw();
    const std::string unanswered = start(params(builtCorePath()));
    EXPECT_EQ(unanswered.rfind("not authorised to start Enhanced Mode: polkit did not answer", 0), 0u)
        << unanswered;
    EXPECT_FALSE(host->service().isCoreRunning());
}

TEST_F(HelperConfinementTest, OnlyTheUserWhoStartedTheCoreMayStopIt)
{
    ASSERT_EQ(start(params(builtCorePath())), "");
    const auto refused = host->service().stopCore(caller(::geteuid() + 1));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->description, "the core belongs to another user");
    EXPECT_TRUE(host->service().isCoreRunning());
    EXPECT_FALSE(host->service().stopCore(caller(::geteuid())));
    EXPECT_FALSE(host->service().isCoreRunning());
}

// ---- Staging

TEST_F(HelperConfinementTest, AHugeCoreIsRefusedBeforeAByteIsCopied)
{
    const std::string huge = path("huge");
    const int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0755);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{800} << 20), 0) << "a sparse 800 MB file";
    ::close(fd);
    EXPECT_EQ(start(params(huge)), "core binary is not signed by Ferrow - refusing to run it as root");
    EXPECT_TRUE(host->hasLog("ferrow-helper: core at " + huge + " is larger than any core"));
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
}

TEST_F(HelperConfinementTest, StagingChecksTheDescriptorItCopies)
{
    FRWCodeCheck check(host->config());
    FRWCoreStaging staging(host->config(), check);
    std::filesystem::create_directories(path("folder"));
    const int folder = ::open(path("folder").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_FALSE(staging.stageCore(folder, path("folder")));
    ::close(folder);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0755), 0);
    const int fifo = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0);
    EXPECT_FALSE(staging.stageCore(fifo, path("fifo"))) << "a FIFO would block the start lock";
    ::close(fifo);
    EXPECT_TRUE(host->hasLog("ferrow-helper: core at " + path("folder") + " is not a regular file"));
    EXPECT_FALSE(exists(host->config().stagedCorePath + ".new"));
}

// ---- Gateway mode's forwarding switches

TEST_F(HelperConfinementTest, GatewayModeTurnsForwardingOnAndPutsItBack)
{
    const auto& switches = host->config().forwardingSwitches;
    writeFile(switches[0], "0\n");
    writeFile(switches[1], "2\n");
    auto p = params(builtCorePath());
    p.gateway = true;
    ASSERT_EQ(start(p), "");
    EXPECT_EQ(readFile(switches[0]), "1\n");
    EXPECT_EQ(readFile(switches[1]), "1\n");
    host->service().stopCore();
    EXPECT_EQ(readFile(switches[0]), "0\n");
    EXPECT_EQ(readFile(switches[1]), "2\n");
    EXPECT_FALSE(exists(host->config().stateDirectory + "/forwarding.saved"));
}

TEST_F(HelperConfinementTest, ValuesSavedBeforeACrashComeBackWhenTheHelperStarts)
{
    const auto switches = host->config().forwardingSwitches;
    std::filesystem::create_directories(host->config().stateDirectory);
    // What a helper that died during a gateway run leaves: its save, and the switches it turned on.
    const std::string boot = readFile(host->config().bootIdPath);
    writeFile(host->config().stateDirectory + "/forwarding.saved",
              "boot=" + boot.substr(0, boot.find('\n')) + "\n" + switches[0] + "=0\n" + switches[1] +
                  "=0\n/etc/passwd=hacked\n");
    writeFile(switches[0], "1\n");
    writeFile(switches[1], "1\n");
    FRWHelperService::create(host->config());
    EXPECT_EQ(readFile(switches[0]), "0\n");
    EXPECT_EQ(readFile(switches[1]), "0\n");
    EXPECT_FALSE(exists(host->config().stateDirectory + "/forwarding.saved"));

    // Saved during an earlier boot: the switches now hold the system's own settings.
    writeFile(host->config().stateDirectory + "/forwarding.saved",
              "boot=00000000-0000-0000-0000-000000000000\n" + switches[0] + "=0\n");
    writeFile(switches[0], "1\n");
    FRWHelperService::create(host->config());
    EXPECT_EQ(readFile(switches[0]), "1\n") << "a stale save was written back";
    EXPECT_FALSE(exists(host->config().stateDirectory + "/forwarding.saved"));
}

// The unit puts forwarding back after the helper ends however it ended, without waiting for
// the next connection to start the helper again.
TEST_F(HelperConfinementTest, TheUnitRestoresForwardingAfterTheHelperEnds)
{
    requireRoot();
    if (::prctl(PR_CAPBSET_READ, CAP_SYS_ADMIN) != 1) {
        GTEST_SKIP() << "SKIPPED: needs CAP_SYS_ADMIN for namespaces of its own";
    }
    std::ifstream unit(FERROW_HELPER_UNIT);
    const std::string text((std::istreambuf_iterator<char>(unit)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nExecStopPost=/usr/local/libexec/zq.orbel.ferrow-mac.helper --after-stop\n"),
              std::string::npos);
    // The shipped program, in a network and mount namespace of its own with a crashed gateway
    // run's leftovers: forwarding on, the earlier value saved for this boot.
    const std::string script =
        "mount -t tmpfs none /var/lib && mkdir -m 700 /var/lib/ferrow && "
        "printf 'boot=%s\\n/proc/sys/net/ipv4/ip_forward=0\\n' \"$(cat /proc/sys/kernel/random/boot_id)\" "
        "> /var/lib/ferrow/forwarding.saved && echo 1 > /proc/sys/net/ipv4/ip_forward && "
        "\"$0\" --after-stop && cat /proc/sys/net/ipv4/ip_forward && ls -A /var/lib/ferrow";
    ChildProcess stopped({"/usr/bin/unshare", "--net", "--mount", "--propagation", "private", "/bin/sh", "-c",
                          script, FERROW_HELPER_BINARY});
    EXPECT_EQ(stopped.readLine(), "0");
    EXPECT_EQ(stopped.wait(), 0);
}

// ---- The core runs as the caller (root only)

TEST_F(HelperConfinementTest, TheCoreRunsAsTheCallerWithOnlyTheTunnelsCapabilities)
{
    requireRoot();
    ::setenv("LD_PRELOAD", "/nonexistent/preload.so", 1);
    const std::string started = startAs(caller(kNobody), params(builtCorePath()));
    ::unsetenv("LD_PRELOAD");
    ASSERT_EQ(started, "");
    const pid_t pid = startedPid();
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); })) << "the core wrote no api-info";

    EXPECT_EQ(statusField(pid, "Uid"), "65534\t65534\t65534\t65534");
    EXPECT_EQ(statusField(pid, "Gid"), "65534\t65534\t65534\t65534");
    EXPECT_EQ(statusField(pid, "Groups"), "");
    const std::string tunnelOnly = "0000000000003000";
    EXPECT_EQ(statusField(pid, "CapEff"), tunnelOnly);
    EXPECT_EQ(statusField(pid, "CapPrm"), tunnelOnly);
    EXPECT_EQ(statusField(pid, "CapAmb"), tunnelOnly);
    EXPECT_EQ(statusField(pid, "CapBnd"), tunnelOnly);
    EXPECT_EQ(environmentNames(pid), (std::set<std::string>{"PATH", "LANG", "FERROW_API_SECRET"}));

    struct stat info {};
    ASSERT_EQ(::stat(host->config().apiInfoPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    struct stat state {};
    ASSERT_EQ(::stat((host->config().coreStateDirectory + "/65534").c_str(), &state), 0);
    EXPECT_EQ(state.st_uid, kNobody);
    EXPECT_EQ(state.st_mode & 07777, 0700u);

    // The controller API cannot bind what the user could not.
    const auto record = nlohmann::json::parse(readFile(host->config().apiInfoPath));
    const std::string address = record["address"];
    const int port = std::stoi(address.substr(address.rfind(':') + 1));
    const std::string secret = record["secret"];
    const int status = httpStatus(port, "POST /socks?listen=127.0.0.1:81 HTTP/1.1\r\nHost: " + address +
                                            "\r\nAuthorization: Bearer " + secret +
                                            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_NE(status, 0) << "the API did not answer";
    EXPECT_NE(status, 200) << "the core bound a privileged port";
    EXPECT_FALSE(portAnswers(81));

    EXPECT_TRUE(host->service().stopCore(caller(1000))) << "another user stopped the core";
    EXPECT_FALSE(host->service().stopCore(caller(kNobody)));
    struct stat folder {};
    ASSERT_EQ(::stat(host->config().apiInfoDirectory.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_uid, host->config().coreOwner) << "the api-info folder stayed the user's";
}

// The packaged helper keeps the staged core in its root-only state folder, where the user the
// core runs as cannot reach it by path: the core is started through the verified descriptor.
TEST_F(HelperConfinementTest, APackagedHelperRunsTheCoreFromItsRootOnlyStateFolder)
{
    requireRoot();
    startHost([](FRWHelperConfig& config) {
        config.stagedCorePath = config.stateDirectory + "/ferrow-core";
        config.coreOwner = 0;
        config.coreGroup = 0;
        std::filesystem::create_directories(config.stateDirectory);
        ::chmod(config.stateDirectory.c_str(), 0700);
    });
    const std::string staged = host->config().stagedCorePath;
    ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
    const pid_t pid = startedPid();
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); })) << "the core wrote no api-info";
    EXPECT_EQ(statusField(pid, "Uid"), "65534\t65534\t65534\t65534");
    EXPECT_EQ(FRWProcessInspector::executablePath(pid), staged);
    EXPECT_EQ(statusField(pid, "Name"), "ferrow-core") << "named after the descriptor it was started from";

    struct stat folder {};
    ASSERT_EQ(::stat(host->config().stateDirectory.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    EXPECT_EQ(folder.st_uid, 0u);
    // As the core's user, the staged file's path leads nowhere.
    ChildProcess probe({"/usr/bin/test", "-r", staged}, kNobody);
    EXPECT_EQ(probe.wait(), 1);

    EXPECT_FALSE(host->service().stopCore(caller(kNobody)));
    EXPECT_TRUE(waitFor([&] { return !exists("/proc/" + std::to_string(pid)); }));
}

TEST_F(HelperConfinementTest, AReloadReadsTheUsersEditedProfile)
{
    requireRoot();
    ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    const auto record = nlohmann::json::parse(readFile(host->config().apiInfoPath));
    const std::string address = record["address"];
    const int port = std::stoi(address.substr(address.rfind(':') + 1));
    const std::string reload = "POST /reload HTTP/1.1\r\nHost: " + address + "\r\nAuthorization: Bearer " +
                               std::string(record["secret"]) +
                               "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    // The user's edit reaches the core: a broken rule is reported, a good profile is taken.
    writeFile(configPath, std::string(kTestProfile) + "NOT-A-RULE,x,DIRECT\n");
    const std::string refused = httpExchange(port, reload);
    EXPECT_NE(refused.find("\"ok\":false"), std::string::npos) << refused;
    writeFile(configPath, kTestProfile);
    const std::string taken = httpExchange(port, reload);
    EXPECT_NE(taken.find("\"ok\":true"), std::string::npos) << taken;
    EXPECT_FALSE(host->service().stopCore(caller(kNobody)));
}

TEST_F(HelperConfinementTest, LinksPlantedWhereTheCoreWritesGetOnlyTheUsersRights)
{
    requireRoot();
    ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    host->service().stopCore(caller(kNobody));

    // Root's file, which the user can read but not write.
    const std::string victim = path("root-owned");
    writeFile(victim, "root's own bytes\n");
    ::chmod(victim.c_str(), 0644);
    const std::string state = host->config().coreStateDirectory + "/65534";
    for (const std::string name : {"core-stats.json", "core-stats.json.tmp"}) {
        std::filesystem::remove(state + "/" + name);
        std::filesystem::create_symlink(victim, state + "/" + name);
    }
    // The api-info folder is the user's while their core runs; a link there is only ever removed.
    ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    std::filesystem::create_symlink(victim, host->config().apiInfoDirectory + "/planted");
    host->service().stopCore(caller(kNobody));
    ASSERT_EQ(startAs(caller(0), params(builtCorePath())), "");
    host->service().stopCore();

    EXPECT_EQ(readFile(victim), "root's own bytes\n");
    struct stat info {};
    ASSERT_EQ(::stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(HelperConfinementTest, ACoreTheCallerCannotReadIsNotStaged)
{
    requireRoot();
    ASSERT_TRUE(copySigned(builtCorePath(), path("root-only"), "ferrow-core", signingKeyPem()));
    ::chmod(path("root-only").c_str(), 0700);
    EXPECT_EQ(startAs(caller(kNobody), params(path("root-only"))), "core not found at " + path("root-only"));
    EXPECT_TRUE(host->hasLog("cannot open core at " + path("root-only") + " (Permission denied)"));
    EXPECT_FALSE(exists(host->config().stagedCorePath));
}

TEST_F(HelperConfinementTest, WhatAUserLeftInTheApiInfoFolderIsClearedForTheNextStart)
{
    requireRoot();
    ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
    ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
    // A locked folder of the user's own, with something inside, made while the folder was theirs.
    const std::string planted = host->config().apiInfoDirectory + "/planted";
    std::filesystem::create_directories(planted + "/inner");
    writeFile(planted + "/inner/file", "x");
    for (const std::string& path : {planted, planted + "/inner", planted + "/inner/file"}) {
        ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0);
    }
    ::chmod((planted + "/inner").c_str(), 0);
    ::chmod(planted.c_str(), 0);
    // And a tree deeper than any fixed limit, every level the user's and locked.
    std::string deep = host->config().apiInfoDirectory + "/deep";
    std::vector<std::string> levels;
    for (int level = 0; level < 40; ++level, deep += "/d") {
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
        levels.push_back(deep);
    }
    writeFile(deep + "-file", "x");
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        ASSERT_EQ(::lchown(level->c_str(), kNobody, kNobody), 0);
        ::chmod(level->c_str(), 0);
    }
    EXPECT_FALSE(host->service().stopCore(caller(kNobody)));
    // Taken back and emptied as the core ends, not at the next start: nothing the user left can
    // pass for a later core's api-info file meanwhile.
    struct stat folder {};
    ASSERT_EQ(::stat(host->config().apiInfoDirectory.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_uid, host->config().coreOwner);
    EXPECT_TRUE(std::filesystem::is_empty(host->config().apiInfoDirectory)) << "left until the next start";
    {
        // The installed helper has no permission overrides; neither does this start.
        const WithoutPermissionOverrides confined;
        ASSERT_TRUE(confined.active());
        EXPECT_EQ(startAs(caller(kNobody), params(builtCorePath())), "")
            << "the leftovers blocked the next start";
    }
    EXPECT_FALSE(exists(planted));
}

TEST_F(HelperConfinementTest, TheUsersStateFolderIsReopenedWithoutPermissionOverrides)
{
    requireRoot();
    const WithoutPermissionOverrides confined;
    ASSERT_TRUE(confined.active());
    const std::string stats = host->config().coreStateDirectory + "/65534/core-stats.json";
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(startAs(caller(kNobody), params(builtCorePath())), "");
        ASSERT_TRUE(waitFor([&] { return exists(host->config().apiInfoPath); }));
        EXPECT_TRUE(host->hasLog("started core")) << run;
        std::ifstream file("/proc/" + std::to_string(startedPid()) + "/cmdline", std::ios::binary);
        const std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_NE(line.find(std::string("-stats") + '\0' + stats), std::string::npos)
            << "start " << run + 1 << " lost the statistics";
        EXPECT_FALSE(host->service().stopCore(caller(kNobody)));
    }
    EXPECT_FALSE(host->hasLog("cannot prepare the core's state folder"));
}

// ---- The packaged and the build folder's layouts

namespace {

std::string unitText(const char* path)
{
    std::ifstream unit(path);
    return {std::istreambuf_iterator<char>(unit), std::istreambuf_iterator<char>()};
}

std::vector<std::string> unitValues(const std::string& text, const std::string& key)
{
    std::vector<std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) {
            std::istringstream words(line.substr(key.size() + 1));
            for (std::string word; words >> word;) {
                values.push_back(word);
            }
        }
    }
    return values;
}

std::string folderOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

} // namespace

TEST(HelperLayout, OnlyThePackagedHelpersOwnPathChoosesThePackagedLayout)
{
    const FRWHelperConfig packaged = FRWHelperConfig::forExecutable(ferrow::kPackagedHelperPath);
    EXPECT_EQ(packaged.stagedCorePath, ferrow::kPackagedStagedCorePath);
    EXPECT_EQ(folderOf(packaged.stagedCorePath), packaged.stateDirectory);
    EXPECT_EQ(packaged.stateDirectory, ferrow::kHelperStateDirectory);
    for (const std::string& other :
         {std::string(ferrow::kInstalledHelperPath), std::string("/usr/libexec/ferrow/ferrow-helper.new"),
          std::string("/usr/libexec/ferrow/../ferrow/ferrow-helper"), std::string()}) {
        const FRWHelperConfig config = FRWHelperConfig::forExecutable(other);
        EXPECT_EQ(config.stagedCorePath, ferrow::kStagedCorePath) << other;
        // Everything else is the same in both layouts.
        EXPECT_EQ(config.stateDirectory, packaged.stateDirectory);
        EXPECT_EQ(config.apiInfoPath, packaged.apiInfoPath);
        EXPECT_EQ(config.publicKeyPem, packaged.publicKeyPem);
    }
}

// Each unit lets its helper write where that helper stages the core (ProtectSystem=strict makes
// everything else read-only), and names its own helper.
TEST(HelperUnits, EachUnitCanWriteWhereItsHelperStagesTheCore)
{
    const std::string buildFolder = unitText(FERROW_HELPER_UNIT);
    const std::string packaged = unitText(FERROW_PACKAGED_HELPER_UNIT);
    ASSERT_FALSE(packaged.empty()) << "the build made no packaged unit";

    EXPECT_EQ(unitValues(buildFolder, "ReadWritePaths"),
              std::vector<std::string>{folderOf(ferrow::kStagedCorePath)});
    EXPECT_EQ(unitValues(buildFolder, "ExecStart"), std::vector<std::string>{ferrow::kInstalledHelperPath});

    EXPECT_TRUE(unitValues(packaged, "ReadWritePaths").empty())
        << "the package writes nothing outside its state";
    EXPECT_EQ(packaged.find("/usr/local"), std::string::npos);
    const auto states = unitValues(packaged, "StateDirectory");
    ASSERT_FALSE(states.empty());
    EXPECT_EQ("/var/lib/" + states.front(), folderOf(ferrow::kPackagedStagedCorePath));
    EXPECT_EQ(unitValues(packaged, "StateDirectoryMode"), std::vector<std::string>{"0700"});
    EXPECT_EQ(unitValues(packaged, "ExecStart"), std::vector<std::string>{ferrow::kPackagedHelperPath});
    EXPECT_EQ(unitValues(packaged, "ExecStopPost"),
              (std::vector<std::string>{ferrow::kPackagedHelperPath, "--after-stop"}));
    EXPECT_EQ(unitValues(packaged, "ProtectSystem"), std::vector<std::string>{"strict"});
    // Nothing else differs from the build folder's unit.
    std::string expected = buildFolder;
    expected.erase(expected.find("ReadWritePaths="),
                   std::string("ReadWritePaths=/usr/local/libexec\n").size());
    for (std::size_t at; (at = expected.find(ferrow::kInstalledHelperPath)) != std::string::npos;) {
        expected.replace(at, std::strlen(ferrow::kInstalledHelperPath), ferrow::kPackagedHelperPath);
    }
    EXPECT_EQ(packaged, expected);
}
