#include "FRWGSettingsProxyBackend.h"

#include <array>

#include "FRWGVariantText.h"
#include "FRWToolRunner.h"

namespace {

constexpr std::array<FRWProxyKind, 3> kKinds{FRWProxyKind::Web, FRWProxyKind::Secure, FRWProxyKind::Socks};

// The keys a restore writes back, in order: the mode last, so the proxies it switches on are
// already in place.
struct ExtraKey {
    const char* subschema; // empty for the main schema
    const char* key;
};
constexpr std::array<ExtraKey, 10> kExtraKeys{{{"http", "host"},
                                               {"http", "port"},
                                               {"https", "host"},
                                               {"https", "port"},
                                               {"socks", "host"},
                                               {"socks", "port"},
                                               {"", "ignore-hosts"},
                                               {"", "use-same-proxy"},
                                               {"", "autoconfig-url"},
                                               {"", "mode"}}};

template <typename Parse>
auto parsed(const std::optional<QString>& raw, Parse parse) -> decltype(parse(QString()))
{
    if (!raw) {
        return std::nullopt;
    }
    return parse(*raw);
}

QString extraName(const ExtraKey& key)
{
    return *key.subschema ? QLatin1String(key.subschema) + u'.' + QLatin1String(key.key)
                          : QLatin1String(key.key);
}

} // namespace

FRWGSettingsProxyBackend::FRWGSettingsProxyBackend(FRWToolRunner& runner, QString serviceName, QString schema,
                                                   QString gsettingsPath)
    : m_runner(runner)
    , m_service(std::move(serviceName))
    , m_schema(std::move(schema))
    , m_gsettings(std::move(gsettingsPath))
{
}

QString FRWGSettingsProxyBackend::schemaFor(FRWProxyKind kind) const
{
    switch (kind) {
    case FRWProxyKind::Web:
        return m_schema + QStringLiteral(".http");
    case FRWProxyKind::Secure:
        return m_schema + QStringLiteral(".https");
    case FRWProxyKind::Socks:
        break;
    }
    return m_schema + QStringLiteral(".socks");
}

std::optional<QString> FRWGSettingsProxyBackend::get(const QString& schema, const QString& key)
{
    const FRWToolResult result = m_runner.run(m_gsettings, {QStringLiteral("get"), schema, key});
    if (result.status != 0) {
        return std::nullopt;
    }
    return result.output.trimmed();
}

bool FRWGSettingsProxyBackend::set(const QString& schema, const QString& key, const QString& value)
{
    const int status = m_runner.run(m_gsettings, {QStringLiteral("set"), schema, key, value}).status;
    if (status != 0) {
        qWarning("Ferrow: gsettings set %s %s failed (%d)", qPrintable(schema), qPrintable(key), status);
        return false;
    }
    return true;
}

QString FRWGSettingsProxyBackend::primaryNetworkService()
{
    return get(m_schema, QStringLiteral("mode")) ? m_service : QString();
}

std::optional<FRWProxyKindSettings> FRWGSettingsProxyBackend::queryProxy(FRWProxyKind kind,
                                                                         const QString& /*service*/)
{
    using namespace FRWGVariantText;
    const auto mode = parsed(get(m_schema, QStringLiteral("mode")), parseString);
    const auto host = parsed(get(schemaFor(kind), QStringLiteral("host")), parseString);
    const auto port = parsed(get(schemaFor(kind), QStringLiteral("port")), parseInt);
    if (!mode || !host || !port) {
        return std::nullopt;
    }
    bool authenticated = false;
    if (kind == FRWProxyKind::Web) {
        const auto useAuthentication =
            parsed(get(schemaFor(kind), QStringLiteral("use-authentication")), parseBool);
        if (!useAuthentication) {
            return std::nullopt;
        }
        authenticated = *useAuthentication;
    }
    const bool enabled = *mode == u"manual" && !host->isEmpty();
    return FRWProxyKindSettings{
        {QStringLiteral("Enabled"), enabled ? QStringLiteral("Yes") : QStringLiteral("No")},
        {QStringLiteral("Server"), *host},
        {QStringLiteral("Port"), QString::number(*port)},
        {QStringLiteral("Authenticated Proxy Enabled"),
         authenticated ? QStringLiteral("1") : QStringLiteral("0")}};
}

bool FRWGSettingsProxyBackend::setProxy(FRWProxyKind kind, const QString& /*service*/, const QString& server,
                                        const QString& port)
{
    bool numeric = false;
    const int portNumber = port.toInt(&numeric);
    if (!numeric) {
        return false;
    }
    const bool hostSet = set(schemaFor(kind), QStringLiteral("host"), FRWGVariantText::quoted(server));
    const bool portSet = set(schemaFor(kind), QStringLiteral("port"), QString::number(portNumber));
    return hostSet && portSet;
}

bool FRWGSettingsProxyBackend::setProxyState(FRWProxyKind kind, const QString& /*service*/, bool enabled)
{
    if (enabled) {
        return set(m_schema, QStringLiteral("mode"), FRWGVariantText::quoted(QStringLiteral("manual")));
    }
    // One mode serves all kinds: a kind is switched off by clearing it, and the mode goes to
    // "none" once no manual proxy is left.
    bool ok = set(schemaFor(kind), QStringLiteral("host"), FRWGVariantText::quoted(QString()));
    ok &= set(schemaFor(kind), QStringLiteral("port"), QStringLiteral("0"));
    const auto mode = parsed(get(m_schema, QStringLiteral("mode")), FRWGVariantText::parseString);
    if (!mode) {
        return false;
    }
    if (*mode != u"manual") {
        return ok;
    }
    for (const FRWProxyKind other : kKinds) {
        const auto host = parsed(get(schemaFor(other), QStringLiteral("host")), FRWGVariantText::parseString);
        if (!host) {
            return false;
        }
        if (!host->isEmpty()) {
            return ok;
        }
    }
    return set(m_schema, QStringLiteral("mode"), FRWGVariantText::quoted(QStringLiteral("none"))) && ok;
}

QString FRWGSettingsProxyBackend::queryBypassDomains(const QString& /*service*/)
{
    const auto hosts =
        parsed(get(m_schema, QStringLiteral("ignore-hosts")), FRWGVariantText::parseStringArray);
    return hosts ? hosts->join(u'\n') : QString();
}

bool FRWGSettingsProxyBackend::setBypassDomains(const QString& /*service*/, const QStringList& domains)
{
    return set(m_schema, QStringLiteral("ignore-hosts"), FRWGVariantText::stringArray(domains));
}

QVariantMap FRWGSettingsProxyBackend::snapshotExtras(const QString& /*service*/)
{
    QVariantMap extras;
    for (const ExtraKey& key : kExtraKeys) {
        const QString schema = *key.subschema ? m_schema + u'.' + QLatin1String(key.subschema) : m_schema;
        if (const std::optional<QString> value = get(schema, QLatin1String(key.key))) {
            extras.insert(extraName(key), *value);
        }
    }
    return extras;
}

bool FRWGSettingsProxyBackend::restoreExtras(const QString& /*service*/, const QVariantMap& extras)
{
    bool ok = true;
    for (const ExtraKey& key : kExtraKeys) {
        const QVariant value = extras.value(extraName(key));
        if (value.typeId() != QMetaType::QString) {
            continue;
        }
        const QString schema = *key.subschema ? m_schema + u'.' + QLatin1String(key.subschema) : m_schema;
        ok &= set(schema, QLatin1String(key.key), value.toString());
    }
    return ok;
}
