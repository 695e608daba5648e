#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QUrl>

/// What a geolocation service says about an address, in the fields the screens show.
struct FRWGeoAnswer {
    QString countryCode;
    QString country;
    QString city;
    QString asn;    ///< e.g. "AS13335"
    QString asName; ///< e.g. "Cloudflare, Inc."

    /// "asn  as_name" when both are known, else whichever is, else "".
    QString asText() const;
};

/// A service that tells the public address a request came from, as plain text.
class FRWEchoService {
public:
    explicit FRWEchoService(QUrl url) : m_url(std::move(url)) {}
    const QUrl& url() const { return m_url; }
    /// The trimmed address when the body is one (1 to 63 characters, an address of the wanted
    /// family); nothing for anything else, such as an error page.
    static std::optional<QString> addressFrom(const QByteArray& body, bool v6);

private:
    QUrl m_url;
};

/// A service that locates a public IPv4 address. One subclass per answer shape.
class FRWGeoService {
public:
    FRWGeoService() = default;
    virtual ~FRWGeoService() = default;
    FRWGeoService(const FRWGeoService&) = delete;
    FRWGeoService& operator=(const FRWGeoService&) = delete;

    virtual QUrl lookupUrl(const QString& ipv4) const = 0;
    /// Nothing when the answer is not a JSON object or has no country at all.
    virtual std::optional<FRWGeoAnswer> parse(const QByteArray& body) const = 0;
};

/// The reference shape: GET <base>/ipinfo?ip=<address>&meituan=false answering "country",
/// "country_name", "city", "asn" and "as_name". For a user's own service, and for tests.
class FRWIpinfoGeoService : public FRWGeoService {
public:
    explicit FRWIpinfoGeoService(QUrl base) : m_base(std::move(base)) {}
    QUrl lookupUrl(const QString& ipv4) const override;
    std::optional<FRWGeoAnswer> parse(const QByteArray& body) const override;

private:
    QUrl m_base;
};

/// ip.sb's GET /geoip/<address>: "country_code", "country", "city", a numeric "asn" and
/// "asn_organization".
class FRWIpSbGeoService : public FRWGeoService {
public:
    explicit FRWIpSbGeoService(QUrl base) : m_base(std::move(base)) {}
    QUrl lookupUrl(const QString& ipv4) const override;
    std::optional<FRWGeoAnswer> parse(const QByteArray& body) const override;

private:
    QUrl m_base;
};

/// The outside services the probes use, and the reference resolver.
struct FRWProbeServices {
    FRWEchoService echoIPv4;
    FRWEchoService echoIPv6;
    std::shared_ptr<const FRWGeoService> geo;
    QString resolver;
    quint16 connectPort = 443;
    quint16 dnsPort = 53;

    /// The public services Ferrow uses by default: ip.sb's IPv4-only and IPv6-only echo hosts and
    /// its geolocation, and the resolver 223.5.5.5.
    static FRWProbeServices standard();
    /// Services of the reference shape under one base URL each: "<echo>/ip" and "<geo>/ipinfo".
    static FRWProbeServices referenceShaped(const QUrl& echoIPv4Base, const QUrl& echoIPv6Base,
                                            const QUrl& geoBase, const QString& resolver);
};
