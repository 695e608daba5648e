#include "FRWProbeServices.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include "FRWControllerAPI.h"

namespace {

constexpr qsizetype kLongestEchoAnswer = 63;

std::optional<QJsonObject> objectFrom(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

QString stringOf(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

QUrl withPath(QUrl base, const QString& path)
{
    QString joined = base.path();
    while (joined.endsWith(u'/')) {
        joined.chop(1);
    }
    base.setPath(joined + path);
    return base;
}

} // namespace

QString FRWGeoAnswer::asText() const
{
    if (!asn.isEmpty() && !asName.isEmpty()) {
        return asn + QStringLiteral("  ") + asName;
    }
    return asn.isEmpty() ? asName : asn;
}

std::optional<QString> FRWEchoService::addressFrom(const QByteArray& body, bool v6)
{
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty() || text.size() > kLongestEchoAnswer) {
        return std::nullopt;
    }
    // A captive portal's short page is not an address.
    QHostAddress address;
    if (!address.setAddress(text)) {
        return std::nullopt;
    }
    const bool isV6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (isV6 != v6) {
        return std::nullopt;
    }
    return text;
}

QUrl FRWIpinfoGeoService::lookupUrl(const QString& ipv4) const
{
    QUrl url = withPath(m_base, QStringLiteral("/ipinfo"));
    url.setQuery(QStringLiteral("ip=%1&meituan=false").arg(FRWControllerAPI::percentEncoded(ipv4)));
    return url;
}

std::optional<FRWGeoAnswer> FRWIpinfoGeoService::parse(const QByteArray& body) const
{
    const std::optional<QJsonObject> object = objectFrom(body);
    if (!object) {
        return std::nullopt;
    }
    FRWGeoAnswer answer{stringOf(*object, "country"), stringOf(*object, "country_name"),
                        stringOf(*object, "city"), stringOf(*object, "asn"), stringOf(*object, "as_name")};
    if (answer.countryCode.isEmpty() && answer.country.isEmpty()) {
        return std::nullopt;
    }
    return answer;
}

QUrl FRWIpSbGeoService::lookupUrl(const QString& ipv4) const
{
    return withPath(m_base, QStringLiteral("/geoip/") + FRWControllerAPI::percentEncoded(ipv4));
}

std::optional<FRWGeoAnswer> FRWIpSbGeoService::parse(const QByteArray& body) const
{
    const std::optional<QJsonObject> object = objectFrom(body);
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue asn = object->value(QLatin1String("asn"));
    QString asnText;
    if (asn.isDouble() && asn.toInteger(-1) > 0) {
        asnText = QStringLiteral("AS%1").arg(asn.toInteger());
    } else if (asn.isString()) {
        asnText = asn.toString();
    }
    FRWGeoAnswer answer{stringOf(*object, "country_code"), stringOf(*object, "country"),
                        stringOf(*object, "city"), asnText, stringOf(*object, "asn_organization")};
    if (answer.countryCode.isEmpty() && answer.country.isEmpty()) {
        return std::nullopt;
    }
    return answer;
}

FRWProbeServices FRWProbeServices::standard()
{
    return {FRWEchoService(QUrl(QStringLiteral("https://api-ipv4.ip.sb/ip"))),
            FRWEchoService(QUrl(QStringLiteral("https://api-ipv6.ip.sb/ip"))),
            std::make_shared<FRWIpSbGeoService>(QUrl(QStringLiteral("https://api.ip.sb"))),
            QStringLiteral("223.5.5.5")};
}

FRWProbeServices FRWProbeServices::referenceShaped(const QUrl& echoIPv4Base, const QUrl& echoIPv6Base,
                                                   const QUrl& geoBase, const QString& resolver)
{
    return {FRWEchoService(withPath(echoIPv4Base, QStringLiteral("/ip"))),
            FRWEchoService(withPath(echoIPv6Base, QStringLiteral("/ip"))),
            std::make_shared<FRWIpinfoGeoService>(geoBase), resolver};
}
