#include "FRWHelperService.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <net/if.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FRWCallerFiles.h"
#include "FRWNames.h"
#include "FRWProcessInspector.h"

namespace proto = ferrow::helperprotocol;

namespace {

constexpr auto kKillWait = std::chrono::milliseconds(1000);

FRWHelperService::HelperError helperError(const std::string& text)
{
    FRWHelperService::HelperError error;
    error.description = text;
    return error;
}

std::string notSignedText()
{
    return "core binary is not signed by Ferrow - refusing to run it as root";
}

/// Closes a descriptor at the end of a scope.
struct ClosingFd {
    explicit ClosingFd(int descriptor) : fd(descriptor) {}
    ClosingFd(const ClosingFd&) = delete;
    ClosingFd& operator=(const ClosingFd&) = delete;
    ~ClosingFd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd;
};

bool isExecutableFile(int fd)
{
    struct stat status {};
    return fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0111) != 0;
}

std::string seconds(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

} // namespace

std::shared_ptr<FRWHelperService> FRWHelperService::create(FRWHelperConfig config)
{
    return std::shared_ptr<FRWHelperService>(new FRWHelperService(std::move(config)));
}

FRWHelperService::FRWHelperService(FRWHelperConfig config)
    : m_config(std::move(config))
    , m_codeCheck(m_config)
    , m_staging(m_config, m_codeCheck)
    , m_folders(m_config)
    , m_forwarding(m_config)
    , m_tunnelCleanup(m_config)
    , m_polkit(m_config.polkitBusAddress, m_config.polkitActionId)
{
    if (!m_config.log) {
        m_config.log = [](const std::string&) {};
    }
    // Values a gateway run changed and could not put back (a crash, a kill) come back first,
    // and so does the routing a tunnel left. No core of ours runs now and a TUN link goes with
    // its core, so a link of that name belongs to some other program and stays.
    m_forwarding.restore();
    m_tunnelCleanup.run({});
}

// ---- Connections

FRWHelperCaller FRWHelperService::connectionOpened(int fd)
{
    FRWHelperCaller caller;
    // Anyone may ask for the version (the application counts a helper that does not answer as
    // missing); every other method needs a vetted caller.
    caller.peer = FRWCodeCheck::identifyPeer(fd, caller.untrustedWhy);
    if (caller.peer && !m_codeCheck.isTrustedPeer(*caller.peer, caller.untrustedWhy)) {
        caller.peer.reset();
    }
    if (caller.peer) {
        const std::lock_guard guard(m_lock);
        ++m_clients;
    }
    return caller;
}

std::optional<std::string> FRWHelperService::answer(const std::string& line, const FRWHelperCaller& caller)
{
    auto parsed = proto::parseRequest(line);
    if (const auto* error = std::get_if<proto::ProtocolError>(&parsed)) {
        log("ferrow-helper: closing a connection: " + error->text);
        return std::nullopt;
    }
    const proto::Request& request = std::get<proto::Request>(parsed);
    if (!caller.peer && request.method != proto::Method::GetVersion) {
        log("ferrow-helper: rejected untrusted peer (" + caller.untrustedWhy + ")");
        return std::nullopt;
    }
    switch (request.method) {
    case proto::Method::GetVersion:
        return proto::formatVersionReply(request.id, getVersion());
    case proto::Method::StartCore:
        return proto::formatErrorReply(request.id, startCore(request.start, caller.peer));
    case proto::Method::StopCore:
        return proto::formatErrorReply(request.id, stopCore(caller.peer));
    case proto::Method::IsCoreRunning:
        return proto::formatRunningReply(request.id, isCoreRunning());
    }
    return std::nullopt;
}

// ---- The application going away

std::optional<FRWHelperLaterTask> FRWHelperService::trustedCallerLeft()
{
    std::uint64_t epoch = 0;
    {
        const std::lock_guard guard(m_lock);
        if (m_clients > 0) {
            --m_clients;
        }
        if (m_clients > 0) {
            return std::nullopt;
        }
        epoch = ++m_orphanEpoch;
    }
    return FRWHelperLaterTask{m_config.orphanDelay,
                              [self = shared_from_this(), epoch] { self->orphanCheck(epoch); }};
}

void FRWHelperService::orphanCheck(std::uint64_t epoch)
{
    {
        const std::lock_guard guard(m_lock);
        if (m_clients > 0 || m_orphanEpoch != epoch || !m_coreTask || !m_coreTask->isRunning()) {
            return;
        }
    }
    if (starterIsRunning()) {
        log("ferrow-helper: no client connected, but the app is running \u2014 leaving the core alone");
        return;
    }
    log("ferrow-helper: the app is gone and no client is left, stopping the core");
    stopCore();
}

bool FRWHelperService::starterIsRunning() const
{
    const std::lock_guard guard(m_lock);
    return m_starter && FRWProcessInspector::isAlive(m_starter->get());
}

// ---- The protocol's methods

std::int64_t FRWHelperService::getVersion() const
{
    return ferrow::kHelperProtocolVersion;
}

bool FRWHelperService::isCoreRunning() const
{
    const std::lock_guard guard(m_lock);
    return m_coreTask && m_coreTask->isRunning();
}

std::int64_t FRWHelperService::clients() const
{
    const std::lock_guard guard(m_lock);
    return m_clients;
}

bool FRWHelperService::isValidTunName(const std::string& name)
{
    if (name.size() < 5 || name.size() > 8 || !name.starts_with("utun")) {
        return false;
    }
    for (std::size_t i = 4; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return true;
}

std::string FRWHelperService::randomSecret()
{
    unsigned char bytes[24];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (errno != EINTR) {
            // No randomness means no secret worth having; a root process must not guess one.
            std::abort();
        }
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

// Nothing of the helper's own environment reaches the core: it runs as the user with
// capabilities the user lacks, so variables such as LD_PRELOAD must never be the caller's to set.
std::vector<std::string> FRWHelperService::coreEnvironment()
{
    return {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8",
            std::string(ferrow::kAPISecretEnvironmentVariable) + "=" + randomSecret()};
}

std::optional<FRWHelperService::HelperError> FRWHelperService::startCore(const StartCoreParams& params,
                                                                         const std::optional<FRWPeer>& caller)
{
    const std::lock_guard start(m_startLock);
    {
        const std::lock_guard guard(m_lock);
        if (m_coreTask && m_coreTask->isRunning()) {
            return helperError("core already running");
        }
    }
    if (caller) {
        // polkit judges the process that holds the caller's id when it answers. Only while the
        // vetted process still lives is that process the caller, so it is asked before and after.
        const auto callerExited = [&caller] {
            return !caller->process || !FRWProcessInspector::isAlive(caller->process->get());
        };
        if (callerExited()) {
            log("ferrow-helper: start refused for uid " + std::to_string(caller->uid) +
                ": the calling process has exited");
            return helperError("not authorised to start Enhanced Mode: the calling process has exited");
        }
        const auto refusal = m_polkit.authorize(caller->pid, caller->startTime, caller->uid);
        if (refusal) {
            log("ferrow-helper: start refused by polkit for uid " + std::to_string(caller->uid) + ": " +
                *refusal);
            return helperError("not authorised to start Enhanced Mode: " + *refusal);
        }
        if (callerExited()) {
            log("ferrow-helper: start refused for uid " + std::to_string(caller->uid) +
                ": the calling process exited while polkit decided");
            return helperError("not authorised to start Enhanced Mode: the calling process has exited");
        }
    }
    // A direct call (no connection) runs the core as the helper's own user.
    const uid_t uid = caller ? caller->uid : ::geteuid();
    const gid_t gid = caller ? caller->gid : ::getegid();

    // The caller's file is opened with the caller's rights only: root neither reads nor probes a
    // path the caller could not.
    int openError = 0;
    const ClosingFd source{
        params.corePath.empty() ? -1 : FRWCallerFiles::openForReading(params.corePath, uid, gid, openError)};
    if (source.fd < 0 && !params.corePath.empty()) {
        log("ferrow-helper: cannot open core at " + params.corePath + " (" + std::strerror(openError) + ")");
    }
    if (!isExecutableFile(source.fd)) {
        return helperError("core not found at " + params.corePath);
    }
    const std::optional<FRWStagedCore> staged = m_staging.stageCore(source.fd, params.corePath);
    if (!staged) {
        return helperError(notSignedText());
    }
    if (!params.apiInfoPath.empty() && params.apiInfoPath != m_config.apiInfoPath) {
        return helperError("unexpected api-info path");
    }
    const std::string tunName = params.tunName.empty() ? m_config.defaultTunName : params.tunName;
    if (!isValidTunName(tunName)) {
        return helperError("invalid tun name");
    }
    if (params.configPath.empty()) {
        return helperError("no profile supplied");
    }
    // No core of ours runs now and a TUN link goes with its core, so a link of this name is
    // another program's: the core would fail on it, and the clean-up after it would delete it.
    if (::if_nametoindex(tunName.c_str()) != 0) {
        log("ferrow-helper: " + tunName + " already exists, refusing to start");
        return helperError(tunName + " already exists: another program is using it");
    }
    if (!m_folders.prepareApiInfoFolder(uid, gid)) {
        return helperError("cannot prepare " + m_config.apiInfoDirectory);
    }
    std::vector<std::string> arguments{
        "-config",       params.configPath,    "-api",          ferrow::kAPIBindAddress,
        "-api-info",     m_config.apiInfoPath, "-api-info-uid", std::to_string(uid),
        "-api-info-gid", std::to_string(gid),  "-tun-name",     tunName};
    if (!params.ruleSetDir.empty()) {
        arguments.insert(arguments.end(), {"-rule-set-dir", params.ruleSetDir});
    }
    // Devices that use this machine as their resolver ask its LAN address on port 53, which the
    // core may not bind; it answers on sockets bound here.
    std::vector<FRWScopedFd> resolverSockets;
    if (params.gateway) {
        arguments.emplace_back("-gateway");
        if (m_config.lanResolverSockets) {
            resolverSockets = m_config.lanResolverSockets([this](const std::string& line) { log(line); });
        }
    }
    std::vector<int> inherited;
    for (const FRWScopedFd& socket : resolverSockets) {
        arguments.insert(arguments.end(), {"-dns-socket", std::to_string(socket.get())});
        inherited.push_back(socket.get());
    }
    // The user's home is read-only to the core here; its statistics go to the user's own folder.
    if (const auto state = m_folders.userStateFolder(uid, gid)) {
        arguments.insert(arguments.end(), {"-stats", *state + "/core-stats.json"});
    }
    arguments.insert(arguments.end(), m_config.extraCoreArguments.begin(), m_config.extraCoreArguments.end());
    if (params.gateway && !m_forwarding.enable()) {
        m_forwarding.restore();
        return helperError("cannot turn on IP forwarding for gateway mode");
    }

    const std::weak_ptr<FRWHelperService> weakSelf = weak_from_this();
    const auto onExit = [weakSelf](FRWCoreProcess& process, int status) {
        if (const auto self = weakSelf.lock()) {
            self->coreEnded(process, status);
        }
    };
    std::string launchError;
    const auto process = FRWCoreProcess::launch(staged->fd(), staged->path(), arguments, coreEnvironment(),
                                                {uid, gid}, inherited, onExit, launchError);
    if (!process) {
        if (params.gateway) {
            m_forwarding.restore();
        }
        return helperError(launchError.empty() ? "failed to launch core" : launchError);
    }
    const bool signedCore = m_codeCheck.isRunningProcessSignedByUs(process->pid(), process->pidfd());
    if (!signedCore && !FRWProcessInspector::isAlive(process->pidfd())) {
        // It ran the verified copy and is already gone (a profile it rejected, say); its exit is
        // logged and the application finds no api-info file, as with any core that dies early.
        log("ferrow-helper: core exited right after launch (pid " + std::to_string(process->pid()) + ")");
        if (params.gateway) {
            m_forwarding.restore();
        }
        return std::nullopt;
    }
    if (!signedCore) {
        log("ferrow-helper: launched core failed signature check; killing pid " +
            std::to_string(process->pid()));
        process->signal(SIGKILL);
        if (params.gateway) {
            m_forwarding.restore();
        }
        return helperError(notSignedText());
    }
    const std::lock_guard guard(m_lock);
    m_coreTask = process;
    m_coreUser = uid;
    m_starter = caller ? caller->process : nullptr;
    m_coreGateway = params.gateway;
    m_coreTunName = tunName;
    log("ferrow-helper: started core pid " + std::to_string(process->pid()) + " as uid " +
        std::to_string(uid));
    return std::nullopt;
}

void FRWHelperService::coreEnded(FRWCoreProcess& process, int status)
{
    const int code = WIFEXITED(status)     ? WEXITSTATUS(status)
                     : WIFSIGNALED(status) ? WTERMSIG(status)
                                           : status;
    log("ferrow-helper: core exited (status " + std::to_string(code) + ")");
    // Held so that no new core starts while this one's routing is removed: the clean-up must
    // never take a successor's rules.
    const std::lock_guard start(m_startLock);
    bool gateway = false;
    std::string tunName;
    {
        const std::lock_guard guard(m_lock);
        if (m_coreTask.get() != &process && m_coreTask) {
            return;
        }
        if (m_coreTask.get() == &process) {
            m_coreTask.reset();
            m_starter.reset();
        }
        gateway = m_coreGateway;
        m_coreGateway = false;
        tunName = m_coreTunName.empty() ? m_config.defaultTunName : m_coreTunName;
    }
    // A core that died without its orderly shutdown leaves its api-info file behind, and the
    // application would take it for a running core.
    m_folders.releaseApiInfoFolder();
    m_tunnelCleanup.run(tunName);
    if (gateway) {
        m_forwarding.restore();
    }
}

std::optional<FRWHelperService::HelperError> FRWHelperService::stopCore(const std::optional<FRWPeer>& caller)
{
    const std::lock_guard start(m_startLock);
    std::shared_ptr<FRWCoreProcess> task;
    {
        const std::lock_guard guard(m_lock);
        const bool running = m_coreTask && m_coreTask->isRunning();
        if (running && caller && caller->uid != 0 && caller->uid != m_coreUser) {
            log("ferrow-helper: uid " + std::to_string(caller->uid) + " may not stop the core of uid " +
                std::to_string(m_coreUser));
            return helperError("the core belongs to another user");
        }
        task = std::move(m_coreTask);
        m_coreTask.reset();
        m_starter.reset();
        m_coreGateway = false;
    }
    if (task && task->isRunning()) {
        task->signal(SIGTERM);
        waitForExit(*task, m_config.stopGrace);
    } else {
        stopLostCores(caller && caller->uid != 0 ? std::optional<uid_t>(caller->uid) : std::nullopt);
    }
    // Gone either way; a core killed at the end does not remove its own file or routing.
    m_folders.releaseApiInfoFolder();
    m_tunnelCleanup.run(m_coreTunName.empty() ? m_config.defaultTunName : m_coreTunName);
    m_forwarding.restore();
    return std::nullopt;
}

void FRWHelperService::waitForExit(const FRWCoreProcess& process, std::chrono::milliseconds timeout) const
{
    if (FRWProcessInspector::waitForExit(process.pidfd(), timeout)) {
        return;
    }
    log("ferrow-helper: core did not exit in " + seconds(timeout) + "s, killing");
    process.signal(SIGKILL);
    FRWProcessInspector::waitForExit(process.pidfd(), kKillWait);
}

// A helper that was restarted no longer knows the core it launched. Only processes that run the
// staged core are ours (the user's own System Proxy and probe cores, which share the name
// "ferrow-core", are left alone), and a caller may stop only those running as itself.
void FRWHelperService::stopLostCores(const std::optional<uid_t>& owner) const
{
    const auto pids = FRWProcessInspector::allProcesses();
    if (!pids) {
        return;
    }
    const auto isStagedCore = [this, owner](pid_t pid) {
        const auto path = FRWProcessInspector::executablePath(pid);
        const auto uid = FRWProcessInspector::effectiveUid(pid);
        return path && *path == m_config.stagedCorePath && uid && (!owner || *uid == *owner);
    };
    std::vector<std::pair<pid_t, int>> signalled;
    for (const pid_t pid : *pids) {
        if (pid == ::getpid() || !isStagedCore(pid)) {
            continue;
        }
        const int pidfd = FRWProcessInspector::openPidfd(pid);
        // Checked again through the pidfd's lifetime, so the signal reaches the process checked.
        if (pidfd < 0 || !isStagedCore(pid) || !FRWProcessInspector::sendSignal(pidfd, SIGTERM)) {
            if (pidfd >= 0) {
                ::close(pidfd);
            }
            continue;
        }
        log("ferrow-helper: stopping a core this helper lost track of (pid " + std::to_string(pid) + ")");
        signalled.emplace_back(pid, pidfd);
    }
    const auto deadline = std::chrono::steady_clock::now() + m_config.fallbackStopGrace;
    for (const auto& [pid, pidfd] : signalled) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!FRWProcessInspector::waitForExit(pidfd, std::max(left, std::chrono::milliseconds(0)))) {
            log("ferrow-helper: core did not exit in " + seconds(m_config.fallbackStopGrace) + "s, killing");
            FRWProcessInspector::sendSignal(pidfd, SIGKILL);
        }
        ::close(pidfd);
    }
}
