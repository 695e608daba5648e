#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "FRWProcessInspector.h"
#include "HelperTestHost.h"
#include "TemporaryHome.h"

namespace ferrow::test {

inline const char kTestProfile[] = "[General]\nlog-history = 50\n\n[Proxy]\n"
                                   "HK = ferrow, hk.example.com, 443, psk=secret, tfo=off\n\n"
                                   "[Rule]\nFINAL,DIRECT\n";

/// A startCore request line as the application sends it.
inline std::string startRequest(int id, const std::string& corePath, const std::string& configPath)
{
    return nlohmann::json{{"id", id},
                          {"method", "startCore"},
                          {"params",
                           {{"corePath", corePath},
                            {"configPath", configPath},
                            {"apiInfoPath", ""},
                            {"ruleSetDir", ""},
                            {"tunName", "utun9"},
                            {"gateway", false}}}}
        .dump();
}

/// A helper service in a temporary folder, with a profile the real core accepts.
class HelperTest : public ::testing::Test {
protected:
    void SetUp() override { startHost(); }

    void startHost(const std::function<void(FRWHelperConfig&)>& adjust = {})
    {
        host.reset();
        host = std::make_unique<HelperTestHost>(adjust);
        configPath = path("profile.conf");
        writeFile(configPath, kTestProfile);
        // The user's own profile, which a core running as another test user must be able to read.
        ::chmod(configPath.c_str(), 0644);
    }

    std::string path(const std::string& name) const { return (host->root() / name).string(); }

    FRWHelperService::StartCoreParams params(const std::string& corePath) const
    {
        FRWHelperService::StartCoreParams p;
        p.corePath = corePath;
        p.configPath = configPath;
        return p;
    }

    /// This test process as a vetted caller: held by a pidfd, named by its start time.
    std::optional<FRWPeer> me() const
    {
        return FRWPeer{::getpid(), ::geteuid(), ::getegid(),
                       std::make_shared<FRWPidfd>(FRWProcessInspector::openPidfd(::getpid())),
                       FRWProcessInspector::startTime(::getpid()).value_or(0)};
    }

    /// The error text of a start, empty on success.
    std::string start(const FRWHelperService::StartCoreParams& p)
    {
        const auto error = host->service().startCore(p, me());
        return error ? error->description : std::string();
    }

    /// The process id in the newest "started core pid N" line, or 0.
    pid_t startedPid() const
    {
        pid_t pid = 0;
        for (const std::string& line : host->logs()) {
            const std::string mark = "started core pid ";
            if (const auto at = line.find(mark); at != std::string::npos) {
                pid = std::stoi(line.substr(at + mark.size()));
            }
        }
        return pid;
    }

    bool exists(const std::string& file) const
    {
        struct stat status {};
        return ::lstat(file.c_str(), &status) == 0;
    }

    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(15))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return condition();
    }

    std::unique_ptr<HelperTestHost> host;
    std::string configPath;
};

} // namespace ferrow::test
