#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

/// Blocking socket measurements for a worker thread. Each is bounded by its time-out.
namespace FRWSocketProbe {

/// The domain name asked in the DNS round trip.
inline constexpr char kQueryName[] = "example.com";

/// One standard query: identifier 0x1234, recursion desired, one question of type A, class IN.
/// Empty when the name is not a valid DNS name.
QByteArray dnsQuery(const QByteArray& name);

/// Milliseconds until a TCP connection to the IPv4 address is established; nothing on any failure.
/// A non-empty `bindInterface` pins the socket to that link, bypassing tunnel routes.
std::optional<double> connectTime(const QString& ipv4, quint16 port, const QString& bindInterface,
                                  int timeoutMs);
/// Milliseconds until any answer to one DNS query arrives; nothing on any failure.
std::optional<double> dnsRoundTrip(const QString& resolverIPv4, quint16 port, const QString& bindInterface,
                                   int timeoutMs);

} // namespace FRWSocketProbe
