#include "FRWKDEProxyBackend.h"

#include <array>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>

#include "FRWToolRunner.h"

namespace {

const QString kGroup = QStringLiteral("Proxy Settings");
const QString kProxyType = QStringLiteral("ProxyType");
const QString kNoProxyFor = QStringLiteral("NoProxyFor");
const QString kAbsentMarker = QStringLiteral("\x1f"
                                             "ferrow-absent");

// kioslaverc's ProxyType values.
constexpr int kNoProxy = 0;
constexpr int kManualProxy = 1;

// Restored in this order; the type last, so the proxies it switches on are in place.
const std::array<QString, 7> kExtraKeys{QStringLiteral("httpProxy"),
                                        QStringLiteral("httpsProxy"),
                                        QStringLiteral("socksProxy"),
                                        kNoProxyFor,
                                        QStringLiteral("Proxy Config Script"),
                                        QStringLiteral("ReversedException"),
                                        kProxyType};

QString keyFor(FRWProxyKind kind)
{
    switch (kind) {
    case FRWProxyKind::Web:
        return QStringLiteral("httpProxy");
    case FRWProxyKind::Secure:
        return QStringLiteral("httpsProxy");
    case FRWProxyKind::Socks:
        break;
    }
    return QStringLiteral("socksProxy");
}

} // namespace

FRWKDEProxyBackend::FRWKDEProxyBackend(FRWToolRunner& runner, Tools tools,
                                       std::function<void()> notifyChanged)
    : m_runner(runner), m_tools(std::move(tools)), m_notifyChanged(std::move(notifyChanged))
{
}

void FRWKDEProxyBackend::sendReparseSignal()
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/KIO/Scheduler"), QStringLiteral("org.kde.KIO.Scheduler"),
                                   QStringLiteral("reparseSlaveConfiguration"));
    signal << QString();
    QDBusConnection::sessionBus().send(signal);
}

FRWKDEProxyBackend::Tools FRWKDEProxyBackend::installedTools()
{
    Tools tools;
    if (!QStandardPaths::findExecutable(QStringLiteral("kwriteconfig6")).isEmpty()) {
        tools.kwriteconfig = QStringLiteral("kwriteconfig6");
        tools.kreadconfig = QStringLiteral("kreadconfig6");
    }
    return tools;
}

std::variant<QString, FRWKDEProxyBackend::Entry> FRWKDEProxyBackend::read(const QString& key)
{
    if (const auto known = m_known.find(key); known != m_known.end()) {
        return known->second;
    }
    const FRWToolResult result = m_runner.run(
        m_tools.kreadconfig, {QStringLiteral("--file"), m_tools.file, QStringLiteral("--group"), kGroup,
                              QStringLiteral("--key"), key, QStringLiteral("--default"), kAbsentMarker});
    if (result.status != 0) {
        return Entry::Failed;
    }
    QString value = result.output;
    if (value.endsWith(u'\n')) {
        value.chop(1);
    }
    std::variant<QString, Entry> entry = value == kAbsentMarker ? std::variant<QString, Entry>(Entry::Absent)
                                                                : std::variant<QString, Entry>(value);
    if (m_batchDepth > 0) {
        m_known[key] = entry;
    }
    return entry;
}

std::optional<QString> FRWKDEProxyBackend::readOrEmpty(const QString& key)
{
    const auto entry = read(key);
    if (const QString* value = std::get_if<QString>(&entry)) {
        return *value;
    }
    if (std::get<Entry>(entry) == Entry::Absent) {
        return QString();
    }
    return std::nullopt;
}

bool FRWKDEProxyBackend::write(const QString& key, const QString& value)
{
    if (const auto known = m_known.find(key); known != m_known.end()) {
        if (const QString* current = std::get_if<QString>(&known->second); current && *current == value) {
            return true;
        }
        m_known.erase(known);
    }
    const int status =
        m_runner
            .run(m_tools.kwriteconfig, {QStringLiteral("--file"), m_tools.file, QStringLiteral("--group"),
                                        kGroup, QStringLiteral("--key"), key, value})
            .status;
    if (status != 0) {
        qWarning("Ferrow: %s %s failed (%d)", qPrintable(m_tools.kwriteconfig), qPrintable(key), status);
        return false;
    }
    if (m_batchDepth > 0) {
        m_known[key] = value;
    }
    return true;
}

bool FRWKDEProxyBackend::remove(const QString& key)
{
    m_known.erase(key);
    const int status = m_runner
                           .run(m_tools.kwriteconfig,
                                {QStringLiteral("--file"), m_tools.file, QStringLiteral("--group"), kGroup,
                                 QStringLiteral("--key"), key, QStringLiteral("--delete"), QString()})
                           .status;
    if (status == 0 && m_batchDepth > 0) {
        m_known[key] = Entry::Absent;
    }
    return status == 0;
}

void FRWKDEProxyBackend::changed()
{
    if (m_batchDepth > 0) {
        m_changedInBatch = true;
    } else {
        m_notifyChanged();
    }
}

void FRWKDEProxyBackend::beginBatch()
{
    ++m_batchDepth;
}

bool FRWKDEProxyBackend::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0) {
        m_known.clear();
        if (std::exchange(m_changedInBatch, false)) {
            m_notifyChanged();
        }
    }
    return true;
}

FRWKDEProxyBackend::ProxyAddress FRWKDEProxyBackend::parseProxyAddress(const QString& value)
{
    ProxyAddress address;
    QString rest = value.trimmed();
    if (const qsizetype scheme = rest.indexOf(QLatin1String("://")); scheme >= 0) {
        rest = rest.sliced(scheme + 3);
    }
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        address.hasCredentials = true;
        rest = rest.sliced(at + 1);
    }
    if (const qsizetype space = rest.lastIndexOf(u' '); space >= 0) {
        address.host = rest.first(space).trimmed();
        address.port = rest.sliced(space + 1).trimmed();
    } else if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        address.host = rest.sliced(1, (close < 0 ? rest.size() : close) - 1);
        if (close >= 0 && rest.sliced(close + 1).startsWith(u':')) {
            address.port = rest.sliced(close + 2);
        }
    } else if (const qsizetype colon = rest.lastIndexOf(u':'); colon >= 0) {
        address.host = rest.first(colon);
        address.port = rest.sliced(colon + 1);
    } else {
        address.host = rest;
    }
    if (address.host.endsWith(u'/')) {
        address.host.chop(1);
    }
    return address;
}

QString FRWKDEProxyBackend::primaryNetworkService()
{
    const auto entry = read(kProxyType);
    const bool unreadable = std::holds_alternative<Entry>(entry) && std::get<Entry>(entry) == Entry::Failed;
    return unreadable ? QString() : QStringLiteral("KDE");
}

std::optional<FRWProxyKindSettings> FRWKDEProxyBackend::queryProxy(FRWProxyKind kind,
                                                                   const QString& /*service*/)
{
    const std::optional<QString> type = readOrEmpty(kProxyType);
    const std::optional<QString> value = readOrEmpty(keyFor(kind));
    if (!type || !value) {
        return std::nullopt;
    }
    const ProxyAddress address = parseProxyAddress(*value);
    const bool enabled = type->toInt() == kManualProxy && !address.host.isEmpty();
    return FRWProxyKindSettings{enabled, address.host, address.port, address.hasCredentials};
}

bool FRWKDEProxyBackend::setProxy(FRWProxyKind kind, const QString& /*service*/, const QString& server,
                                  const QString& port)
{
    const QString scheme =
        kind == FRWProxyKind::Socks ? QStringLiteral("socks://") : QStringLiteral("http://");
    const bool ok = write(keyFor(kind), scheme + server + u' ' + port);
    changed();
    return ok;
}

bool FRWKDEProxyBackend::setProxyState(FRWProxyKind kind, const QString& /*service*/, bool enabled)
{
    bool ok = true;
    if (enabled) {
        ok = write(kProxyType, QString::number(kManualProxy));
    } else {
        // One type serves all kinds: a kind is switched off by clearing it, and the type goes back
        // to "no proxy" once no manual proxy is left.
        ok = write(keyFor(kind), QString());
        const std::optional<QString> type = readOrEmpty(kProxyType);
        bool anyLeft = false;
        for (const FRWProxyKind other : {FRWProxyKind::Web, FRWProxyKind::Secure, FRWProxyKind::Socks}) {
            const std::optional<QString> value = readOrEmpty(keyFor(other));
            ok &= value.has_value();
            anyLeft |= value && !parseProxyAddress(*value).host.isEmpty();
        }
        ok &= type.has_value();
        if (ok && type->toInt() == kManualProxy && !anyLeft) {
            ok = write(kProxyType, QString::number(kNoProxy));
        }
    }
    changed();
    return ok;
}

QString FRWKDEProxyBackend::queryBypassDomains(const QString& /*service*/)
{
    QStringList domains;
    for (const QString& domain : readOrEmpty(kNoProxyFor).value_or(QString()).split(u',')) {
        if (!domain.trimmed().isEmpty()) {
            domains.append(domain.trimmed());
        }
    }
    return domains.join(u'\n');
}

bool FRWKDEProxyBackend::setBypassDomains(const QString& /*service*/, const QStringList& domains)
{
    const bool ok = write(kNoProxyFor, domains.join(u','));
    changed();
    return ok;
}

QVariantMap FRWKDEProxyBackend::snapshotExtras(const QString& /*service*/)
{
    QVariantMap values;
    QStringList absent;
    for (const QString& key : kExtraKeys) {
        const auto entry = read(key);
        if (const QString* value = std::get_if<QString>(&entry)) {
            values.insert(key, *value);
        } else if (std::get<Entry>(entry) == Entry::Absent) {
            absent.append(key);
        }
    }
    return {{QStringLiteral("values"), values}, {QStringLiteral("absent"), absent}};
}

bool FRWKDEProxyBackend::restoreExtras(const QString& /*service*/, const QVariantMap& extras)
{
    const QVariantMap values = extras.value(QStringLiteral("values")).toMap();
    const QStringList absent = extras.value(QStringLiteral("absent")).toStringList();
    bool ok = true;
    for (const QString& key : kExtraKeys) {
        if (values.contains(key)) {
            ok &= write(key, values.value(key).toString());
        } else if (absent.contains(key)) {
            ok &= remove(key);
        }
    }
    changed();
    return ok;
}
