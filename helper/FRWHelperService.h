#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "FRWCodeCheck.h"
#include "FRWCoreFolders.h"
#include "FRWCoreProcess.h"
#include "FRWCoreStaging.h"
#include "FRWForwarding.h"
#include "FRWHelperConfig.h"
#include "FRWHelperProtocol.h"
#include "FRWPolkitCheck.h"
#include "FRWTunnelCleanup.h"

/// The root service behind the helper's socket: vets every caller, has polkit authorise each
/// start, runs one signed core with a tunnel as the calling user, and stops that core when the
/// process that started it has gone.
///
/// Locks, always in this order: `m_startLock` (a whole start or stop, waits included), then
/// `m_lock` (briefly, around `m_coreTask`, `m_clients` and `m_orphanEpoch`).
class FRWHelperService : public std::enable_shared_from_this<FRWHelperService> {
public:
    using HelperError = ferrow::helperprotocol::HelperError;
    using StartCoreParams = ferrow::helperprotocol::StartCoreParams;

    static std::shared_ptr<FRWHelperService> create(FRWHelperConfig config);
    ~FRWHelperService();
    FRWHelperService(const FRWHelperService&) = delete;
    FRWHelperService& operator=(const FRWHelperService&) = delete;

    /// Accepts connections on a listening Unix socket until `stop`; each runs on its own thread.
    void serve(int listenFd);
    /// Ends `serve`, closes every connection and waits for their threads. Any thread may call it.
    void stop();

    // The protocol's methods. `caller` names the connection's peer; none for a direct call.
    std::int64_t getVersion() const;
    std::optional<HelperError> startCore(const StartCoreParams& params, const std::optional<FRWPeer>& caller);
    /// Stops the core; a caller may stop only a core it started (root any).
    std::optional<HelperError> stopCore(const std::optional<FRWPeer>& caller = std::nullopt);
    bool isCoreRunning() const;

    static bool isValidTunName(const std::string& name);
    /// 24 random bytes as 48 lower-case hex digits.
    static std::string randomSecret();

    std::int64_t clients() const;

private:
    explicit FRWHelperService(FRWHelperConfig config);

    void handleConnection(int fd, uid_t user);
    void forgetConnection(int fd, uid_t user);
    /// Answers one request line; false when the connection must close.
    bool answer(int fd, const std::string& line, const std::optional<FRWPeer>& peer,
                const std::string& untrustedWhy);
    void connectionClosed();
    void orphanCheck(std::uint64_t epoch);
    /// Whether the process that started the core still runs.
    bool starterIsRunning() const;
    void waitForExit(const FRWCoreProcess& process, std::chrono::milliseconds timeout) const;
    void stopLostCores(const std::optional<uid_t>& owner) const;
    static std::vector<std::string> coreEnvironment();
    void coreEnded(FRWCoreProcess& process, int status);
    void log(const std::string& line) const { m_config.log(line); }

    /// Runs `body` on a thread that `stop` waits for; false when stopping.
    template <typename Body>
    bool spawnTracked(Body body);

    FRWHelperConfig m_config;
    FRWCodeCheck m_codeCheck;
    FRWCoreStaging m_staging;
    FRWCoreFolders m_folders;
    FRWForwarding m_forwarding;
    FRWTunnelCleanup m_tunnelCleanup;
    FRWPolkitCheck m_polkit;

    std::mutex m_startLock;
    mutable std::mutex m_lock;
    std::shared_ptr<FRWCoreProcess> m_coreTask;
    /// Who started `m_coreTask`: the user it runs as, and the starting process.
    uid_t m_coreUser = 0;
    std::shared_ptr<FRWPidfd> m_starter;
    bool m_coreGateway = false;
    std::string m_coreTunName;
    std::int64_t m_clients = 0;
    std::uint64_t m_orphanEpoch = 0;

    std::mutex m_threadsLock;
    std::condition_variable m_threadsChanged;
    int m_activeThreads = 0;
    int m_openConnections = 0;
    std::map<uid_t, int> m_connectionsByUser;
    std::set<int> m_openSockets;
    bool m_stopping = false;
    int m_wake[2] = {-1, -1};
};
