#include "FRWSocketProbe.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QList>

#include "FRWScopedFd.h"

namespace {

using Clock = std::chrono::steady_clock;

std::optional<sockaddr_in> ipv4Address(const QString& text, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, text.toLatin1().constData(), &address.sin_addr) != 1) {
        return std::nullopt;
    }
    return address;
}

// Pinning to the link needs CAP_NET_RAW on older kernels; without it the probe still measures,
// only through whatever route the kernel picks.
void bindToInterface(int fd, const QString& interface)
{
    if (interface.isEmpty()) {
        return;
    }
    const QByteArray name = interface.toLocal8Bit();
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name.constData(), socklen_t(name.size())) != 0) {
        // Probes run on several threads at once; one line is enough.
        static std::atomic_flag warned = ATOMIC_FLAG_INIT;
        if (!warned.test_and_set()) {
            qWarning("ferrow: probes cannot bind to %s (%s); measuring over the default route",
                     name.constData(), strerror(errno));
        }
    }
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

namespace FRWSocketProbe {

QByteArray dnsQuery(const QByteArray& name)
{
    QByteArray query;
    const auto put16 = [&query](quint16 value) {
        query.append(char(value >> 8));
        query.append(char(value & 0xff));
    };
    put16(0x1234); // identifier
    put16(0x0100); // recursion desired
    put16(1);      // one question
    put16(0);
    put16(0);
    put16(0);
    if (name.isEmpty() || name.size() > 253) {
        return {};
    }
    for (const QByteArray& label : name.split('.')) {
        if (label.isEmpty() || label.size() > 63) {
            return {};
        }
        query.append(char(label.size()));
        query.append(label);
    }
    query.append('\0');
    put16(1); // A
    put16(1); // IN
    return query;
}

std::optional<double> connectTime(const QString& ipv4, quint16 port, const QString& bindInterface,
                                  int timeoutMs)
{
    const std::optional<sockaddr_in> address = ipv4Address(ipv4, port);
    if (!address) {
        return std::nullopt;
    }
    const FRWScopedFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) {
        return std::nullopt;
    }
    bindToInterface(socket.get(), bindInterface);
    const Clock::time_point start = Clock::now();
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 &&
        errno != EINPROGRESS) {
        return std::nullopt;
    }
    pollfd entry{socket.get(), POLLOUT, 0};
    int ready = 0;
    do {
        const int left = timeoutMs - int(millisecondsSince(start));
        ready = left > 0 ? ::poll(&entry, 1, left) : 0;
    } while (ready < 0 && errno == EINTR);
    if (ready != 1) {
        return std::nullopt;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        return std::nullopt;
    }
    return millisecondsSince(start);
}

std::optional<double> dnsRoundTrip(const QString& resolverIPv4, quint16 port, const QString& bindInterface,
                                   int timeoutMs)
{
    const std::optional<sockaddr_in> address = ipv4Address(resolverIPv4, port);
    const QByteArray query = dnsQuery(kQueryName);
    if (!address || query.isEmpty()) {
        return std::nullopt;
    }
    const FRWScopedFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) {
        return std::nullopt;
    }
    bindToInterface(socket.get(), bindInterface);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    // Connected, so only the resolver's own datagrams count as its answer.
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0) {
        return std::nullopt;
    }
    const Clock::time_point start = Clock::now();
    const ssize_t sent = ::send(socket.get(), query.constData(), size_t(query.size()), 0);
    if (sent != query.size()) {
        return std::nullopt;
    }
    char answer[512];
    ssize_t received = -1;
    do {
        received = ::recv(socket.get(), answer, sizeof(answer), 0);
    } while (received < 0 && errno == EINTR && millisecondsSince(start) < timeoutMs);
    if (received < 0) {
        return std::nullopt;
    }
    return millisecondsSince(start);
}

} // namespace FRWSocketProbe
