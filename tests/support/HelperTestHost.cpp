#include "HelperTestHost.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "FRWNames.h"
#include "FRWSignature.h"
#include "FRWSigningKey.h"
#include "TemporaryHome.h"

namespace ferrow::test {

namespace {

int listenOn(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        throw std::runtime_error("cannot make the helper's socket");
    }
    path.copy(address.sun_path, path.size());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on " + path);
    }
    return fd;
}

} // namespace

HelperTestHost::HelperTestHost(const std::function<void(FRWHelperConfig&)>& adjust)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ferrow-helper-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_root = pattern;
    ::chmod(m_root.c_str(), 0755);
    m_config = FRWHelperConfig::system();
    m_config.stagedCorePath = (m_root / "libexec" / "zq.orbel.ferrow-mac.core").string();
    m_config.apiInfoDirectory = (m_root / "run" / "ferrow").string();
    m_config.apiInfoPath = m_config.apiInfoDirectory + "/api-info.json";
    m_config.stateDirectory = (m_root / "lib" / "ferrow").string();
    m_config.coreStateDirectory = (m_root / "lib" / "ferrow-core").string();
    // Open to everyone like the system folders they stand for, whatever the umask (the helper's
    // own, 077, when tests run with the unit's confinement).
    for (const char* folder : {"libexec", "lib", "run", "sys"}) {
        std::filesystem::create_directories(m_root / folder);
        ::chmod((m_root / folder).c_str(), 0755);
    }
    m_config.forwardingSwitches = {(m_root / "sys" / "ip_forward").string(),
                                   (m_root / "sys" / "forwarding").string()};
    for (const std::string& path : m_config.forwardingSwitches) {
        writeFile(path, "0\n");
    }
    m_config.publicKeyPem = testPublicKeyPem();
    m_polkit = std::make_unique<TestPolkitAuthority>(m_root);
    m_config.polkitBusAddress = m_polkit->busAddress();
    m_config.coreOwner = ::geteuid();
    m_config.coreGroup = ::getegid();
    m_config.stopGrace = std::chrono::milliseconds(5000);
    m_config.fallbackStopGrace = std::chrono::milliseconds(3000);
    m_config.orphanDelay = std::chrono::milliseconds(300);
    // The machine's own routing is never a test's to touch; tests that want the clean-up turn
    // it on inside a network namespace of their own.
    m_config.cleanUpRouting = false;
    m_config.extraCoreArguments = {"-no-tun"};
    // Never the machine's own LAN addresses: a UDP and a TCP socket on loopback stand in for them.
    m_config.lanResolverSockets = [](const std::function<void(const std::string&)>&) {
        std::vector<FRWScopedFd> sockets;
        for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
            FRWScopedFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
            sockaddr_in loopback{};
            loopback.sin_family = AF_INET;
            loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0 &&
                (type == SOCK_DGRAM || ::listen(fd.get(), 4) == 0)) {
                sockets.push_back(std::move(fd));
            }
        }
        return sockets;
    };
    auto logs = m_logs;
    auto* lock = &m_logLock;
    m_config.log = [logs, lock](const std::string& line) {
        const std::lock_guard guard(*lock);
        logs->push_back(line);
    };
    if (adjust) {
        adjust(m_config);
    }
    m_listenFd = listenOn(socketPath());
    m_service = FRWHelperService::create(m_config);
    m_server = FRWHelperServer::create(m_config, m_service);
    m_serveThread = std::thread([server = m_server, fd = m_listenFd] { server->serve(fd); });
}

HelperTestHost::~HelperTestHost()
{
    shutdown();
    // A core still running at the end of a test must not outlive it.
    m_service->stopCore();
    ::close(m_listenFd);
    m_polkit.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

void HelperTestHost::shutdown()
{
    if (m_serveThread.joinable()) {
        m_server->stop();
        m_serveThread.join();
    }
}

std::vector<std::string> HelperTestHost::logs() const
{
    const std::lock_guard guard(m_logLock);
    return *m_logs;
}

bool HelperTestHost::hasLog(const std::string& part) const
{
    for (const std::string& line : logs()) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool HelperTestHost::waitForLog(const std::string& part, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (hasLog(part)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return hasLog(part);
}

int HelperTestHost::connect() const
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath();
    path.copy(address.sun_path, path.size());
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

std::string signingKeyPem()
{
    return readFile(FERROW_TEST_SIGNING_KEY);
}

std::string testPublicKeyPem()
{
    return readFile(FERROW_TEST_PUBLIC_KEY);
}

std::string builtCorePath()
{
    return FERROW_TEST_CORE_BINARY;
}

bool copyUnsigned(const std::string& from, const std::string& to)
{
    const auto bytes = signature::readFile(from, signature::kMaxSignedFileSize);
    if (!bytes) {
        return false;
    }
    const auto body = signature::bodyOf(*bytes);
    writeFile(to, std::string(body.begin(), body.end()));
    return ::chmod(to.c_str(), 0755) == 0;
}

bool copySigned(const std::string& from, const std::string& to, const std::string& identifier,
                const std::string& privateKeyPem)
{
    const auto bytes = signature::readFile(from, signature::kMaxSignedFileSize);
    if (!bytes) {
        return false;
    }
    const auto made = signature::sign(signature::bodyOf(*bytes), identifier, privateKeyPem);
    if (!made) {
        return false;
    }
    writeFile(to, std::string(made->begin(), made->end()));
    return ::chmod(to.c_str(), 0755) == 0;
}

std::vector<std::string> exchange(int fd, const std::vector<std::string>& lines,
                                  std::chrono::milliseconds timeout)
{
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    std::size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    std::vector<std::string> replies;
    std::string buffer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (replies.size() < lines.size() && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0) {
            continue;
        }
        char block[4096];
        const ssize_t got = ::recv(fd, block, sizeof block, 0);
        if (got <= 0) {
            break;
        }
        buffer.append(block, static_cast<std::size_t>(got));
        for (std::size_t end = buffer.find('\n'); end != std::string::npos; end = buffer.find('\n')) {
            replies.push_back(buffer.substr(0, end));
            buffer.erase(0, end + 1);
        }
    }
    return replies;
}

} // namespace ferrow::test
