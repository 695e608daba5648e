// The real helper removes a tunnel core's routing when the core is killed.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "HelperTestHost.h"
#include "TunTestbed.h"

namespace ferrow::test {
namespace {

/// Starts a helper in the testbed's host namespace, where the helper, its threads and the core it
/// forks live and the core may bring up its tunnel, and asks it for a core; the start's error.
std::string startInHost(TunTestbed& bed, const std::string& profileText,
                        std::unique_ptr<HelperTestHost>& helper)
{
    std::string startError;
    bed.host.run([&] {
        helper = std::make_unique<HelperTestHost>([](FRWHelperConfig& config) {
            config.cleanUpRouting = true;
            config.extraCoreArguments.clear();
        });
        const auto profile = helper->root() / "profile.conf";
        std::ofstream(profile) << profileText;
        FRWHelperService::StartCoreParams params;
        params.corePath = builtCorePath();
        params.configPath = profile.string();
        params.tunName = "utun9";
        const auto error = helper->service().startCore(params, std::nullopt);
        startError = error ? error->description : "";
    });
    return startError;
}

TEST(TunHelperCleanup, KilledCoreLeavesRoutingAsBefore)
{
    if (!canMakeNamespaces()) {
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";
    }
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    const auto before = bed.host.routingSnapshot();
    std::unique_ptr<HelperTestHost> helper;
    ASSERT_EQ(startInHost(bed,
                          std::string("[General]\ndns-server = ") + kInternetDns + "\n[Rule]\nFINAL,DIRECT\n",
                          helper),
              "");
    ASSERT_TRUE(helper->waitForLog("started core pid"));
    // Up: the tunnel carries traffic.
    std::optional<std::string> reply;
    for (int attempt = 0; attempt < 100 && !reply; ++attempt) {
        reply = tcpExchange(bed.host, kOriginAddress, 80, "GET /helper HTTP/1.1\r\nHost: x\r\n\r\n");
        if (!reply && std::filesystem::exists(helper->config().apiInfoPath)) {
            break;
        }
    }
    ASSERT_TRUE(std::filesystem::exists(helper->config().apiInfoPath));
    EXPECT_NE(bed.host.routingSnapshot(), before);
    pid_t pid = 0;
    for (const auto& line : helper->logs()) {
        if (const auto at = line.find("started core pid "); at != std::string::npos) {
            pid = std::stoi(line.substr(at + 17));
        }
    }
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(helper->waitForLog("removed the routing rules a core left behind"));
    EXPECT_EQ(bed.host.routingSnapshot(), before);
    helper.reset();
}

TEST(TunHelperCleanup, AnotherProgramsLinkIsLeftAloneAndTheStartRefused)
{
    if (!canMakeNamespaces()) {
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";
    }
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    ASSERT_TRUE(bed.host.ip("tuntap add dev utun9 mode tun"));
    std::unique_ptr<HelperTestHost> helper;
    const std::string startError = startInHost(bed, "[Rule]\nFINAL,DIRECT\n", helper);
    EXPECT_EQ(startError, "utun9 already exists: another program is using it");
    EXPECT_FALSE(helper->hasLog("started core"));
    EXPECT_TRUE(bed.host.ip("link show dev utun9")) << "the other program's link was deleted";
    helper.reset();
}

} // namespace
} // namespace ferrow::test
