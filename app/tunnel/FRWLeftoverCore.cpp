#include "FRWLeftoverCore.h"

#include <array>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "FRWAPIInfo.h"

namespace FRWLeftoverCore {

namespace {

constexpr int kKillWaitMs = 2000;

std::optional<int> portOf(const QString& address)
{
    const qsizetype colon = address.lastIndexOf(u':');
    bool ok = false;
    const int port = colon < 0 ? 0 : address.sliced(colon + 1).toInt(&ok);
    return ok && port > 0 && port < 65536 ? std::optional(port) : std::nullopt;
}

// Inodes of the listening TCP sockets on the port, from the kernel's socket tables.
QSet<QString> listeningSockets(int port)
{
    QSet<QString> inodes;
    const std::string portHex =
        QStringLiteral("%1").arg(port, 4, 16, QLatin1Char('0')).toUpper().toStdString();
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line); // column titles
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot;
            std::string local;
            std::string remote;
            std::string state;
            std::string skip;
            std::string inode;
            fields >> slot >> local >> remote >> state;
            for (int i = 0; i < 5; ++i) {
                fields >> skip; // queues, timer, retransmits, uid, timeout
            }
            fields >> inode;
            const std::size_t colon = local.rfind(':');
            if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == portHex) {
                inodes.insert(QString::fromStdString(inode));
            }
        }
    }
    return inodes;
}

bool ownedByUs(pid_t pid)
{
    struct stat info {};
    return ::stat(QByteArray("/proc/" + QByteArray::number(pid)).constData(), &info) == 0 &&
           info.st_uid == ::geteuid();
}

QString executableOf(pid_t pid)
{
    // A replaced or deleted executable reads as "<path> (deleted)" and matches nothing.
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
}

bool holdsSocket(pid_t pid, const QSet<QString>& inodes)
{
    const QByteArray folder = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR* fds = ::opendir(folder.constData());
    if (!fds) {
        return false;
    }
    bool found = false;
    std::array<char, 64> target{};
    while (const dirent* entry = ::readdir(fds)) {
        const QByteArray link = folder + '/' + entry->d_name;
        const ssize_t length = ::readlink(link.constData(), target.data(), target.size() - 1);
        if (length <= 0) {
            continue;
        }
        const QString text = QString::fromLatin1(target.data(), length);
        if (text.startsWith(QLatin1String("socket:[")) && inodes.contains(text.sliced(8).chopped(1))) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

// Our own children are this run's cores, never an earlier run's.
bool isOurChild(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(file, line);
    // The name in parentheses may hold spaces; the state and the parent follow the last ')'.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long parent = 0;
    rest >> state >> parent;
    return parent == ::getpid();
}

bool isOurCore(pid_t pid, const QString& canonicalCore)
{
    return ownedByUs(pid) && executableOf(pid) == canonicalCore && !isOurChild(pid);
}

bool waitForExit(int pidfd, int timeoutMs)
{
    pollfd entry{pidfd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

std::optional<pid_t> find(const QString& infoPath, const QString& corePath)
{
    const std::optional<QJsonObject> info = FRWAPIInfo::read(infoPath);
    const QString canonicalCore = QFileInfo(corePath).canonicalFilePath();
    const std::optional<int> port = info ? portOf(FRWAPIInfo::address(*info)) : std::nullopt;
    if (!port || canonicalCore.isEmpty()) {
        return std::nullopt;
    }
    const QSet<QString> inodes = listeningSockets(*port);
    if (inodes.isEmpty()) {
        return std::nullopt;
    }
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return std::nullopt;
    }
    std::optional<pid_t> found;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == ::getpid()) {
            continue;
        }
        if (isOurCore(static_cast<pid_t>(pid), canonicalCore) &&
            holdsSocket(static_cast<pid_t>(pid), inodes)) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool stop(const QString& infoPath, const QString& corePath, int graceMs)
{
    const std::optional<pid_t> pid = find(infoPath, corePath);
    if (!pid) {
        return false;
    }
    // Signals go through a pidfd, so a process that ended and whose number was reused since the
    // scan is never hit; the checks are repeated once the pidfd pins the process.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, *pid, 0));
    if (pidfd < 0) {
        return false;
    }
    bool stopped = false;
    if (isOurCore(*pid, QFileInfo(corePath).canonicalFilePath())) {
        qWarning("Ferrow: stopping the core (process %d) that a previous run left running", int(*pid));
        ::syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0);
        stopped = waitForExit(pidfd, graceMs);
        if (!stopped) {
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
            stopped = waitForExit(pidfd, kKillWaitMs);
        }
    }
    ::close(pidfd);
    if (stopped) {
        QFile::remove(infoPath);
    }
    return stopped;
}

} // namespace FRWLeftoverCore
