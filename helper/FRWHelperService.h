#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "FRWCodeCheck.h"
#include "FRWCoreFolders.h"
#include "FRWCoreProcess.h"
#include "FRWCoreStaging.h"
#include "FRWForwarding.h"
#include "FRWHelperConfig.h"
#include "FRWHelperConnectionHandler.h"
#include "FRWHelperProtocol.h"
#include "FRWPolkitCheck.h"
#include "FRWTunnelCleanup.h"

/// The root service behind the helper's socket (`FRWHelperServer`): vets every caller, has polkit
/// authorise each start, runs one signed core with a tunnel as the calling user, and stops that
/// core when the process that started it has gone.
///
/// Locks, always in this order: `m_startLock` (a whole start or stop, waits included), then
/// `m_lock` (briefly, around `m_coreTask`, `m_clients` and `m_orphanEpoch`).
class FRWHelperService : public FRWHelperConnectionHandler,
                         public std::enable_shared_from_this<FRWHelperService> {
public:
    using HelperError = ferrow::helperprotocol::HelperError;
    using StartCoreParams = ferrow::helperprotocol::StartCoreParams;

    static std::shared_ptr<FRWHelperService> create(FRWHelperConfig config);
    FRWHelperService(const FRWHelperService&) = delete;
    FRWHelperService& operator=(const FRWHelperService&) = delete;
    ~FRWHelperService() override = default;

    FRWHelperCaller connectionOpened(int fd) override;
    std::optional<std::string> answer(const std::string& line, const FRWHelperCaller& caller) override;
    /// When the last trusted caller has gone, a later check stops a core whose starter has gone too.
    std::optional<FRWHelperLaterTask> trustedCallerLeft() override;

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

    void orphanCheck(std::uint64_t epoch);
    /// Whether the process that started the core still runs.
    bool starterIsRunning() const;
    void waitForExit(const FRWCoreProcess& process, std::chrono::milliseconds timeout) const;
    void stopLostCores(const std::optional<uid_t>& owner) const;
    static std::vector<std::string> coreEnvironment();
    void coreEnded(FRWCoreProcess& process, int status);
    void log(const std::string& line) const { m_config.log(line); }

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
};
