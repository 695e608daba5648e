#include "FRWSystemProxy.h"

#include <array>

#include "FRWDefaultsKeys.h"
#include "FRWSystemProxyBackend.h"
#include "FRWUserDefaults.h"

namespace {

struct KindName {
    FRWProxyKind kind;
    const char* name;
};

// Snapshots read web, secure, socks; restores write secure, socks, web.
constexpr std::array<KindName, 3> kSnapshotOrder{
    {{FRWProxyKind::Web, "web"}, {FRWProxyKind::Secure, "secure"}, {FRWProxyKind::Socks, "socks"}}};
constexpr std::array<KindName, 3> kRestoreOrder{
    {{FRWProxyKind::Secure, "secure"}, {FRWProxyKind::Socks, "socks"}, {FRWProxyKind::Web, "web"}}};

const QStringList kTakeoverBypass{QStringLiteral("127.0.0.1"), QStringLiteral("localhost"),
                                  QStringLiteral("*.local")};

// A kind's member of the stored backup. Its keys are the file format: backups written by earlier
// runs are restored from them.
const QString kEnabledKey = QStringLiteral("Enabled");
const QString kServerKey = QStringLiteral("Server");
const QString kPortKey = QStringLiteral("Port");
const QString kAuthenticatedKey = QStringLiteral("Authenticated Proxy Enabled");

QVariantMap toBackup(const FRWProxyKindSettings& settings)
{
    return {{kEnabledKey, settings.enabled ? QStringLiteral("Yes") : QStringLiteral("No")},
            {kServerKey, settings.server},
            {kPortKey, settings.port},
            {kAuthenticatedKey, settings.authenticated ? QStringLiteral("1") : QStringLiteral("0")}};
}

FRWProxyKindSettings fromBackup(const QVariantMap& member)
{
    const QString authenticated = member.value(kAuthenticatedKey).toString();
    return {member.value(kEnabledKey).toString() == u"Yes", member.value(kServerKey).toString(),
            member.value(kPortKey).toString(), !authenticated.isEmpty() && authenticated != u"0"};
}

// A kind's member of a backup: nothing when there is no backup or the member is not a map.
std::optional<FRWProxyKindSettings> kindOf(const QVariantMap* backup, const char* name)
{
    if (!backup) {
        return std::nullopt;
    }
    const QVariant member = backup->value(QLatin1String(name));
    if (member.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return fromBackup(member.toMap());
}

bool containsWhiteSpace(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

} // namespace

// Brackets one public operation: the store may keep what it read until the end, and has written
// everything when the outermost batch ends.
class FRWSystemProxy::Batch {
public:
    explicit Batch(FRWSystemProxy& proxy) : m_proxy(proxy)
    {
        if (m_proxy.m_batchDepth++ == 0) {
            m_proxy.m_backend.beginBatch();
        }
    }
    ~Batch()
    {
        if (--m_proxy.m_batchDepth == 0 && !m_proxy.m_backend.endBatch()) {
            qWarning("Ferrow: the proxy settings store did not confirm its writes");
        }
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    FRWSystemProxy& m_proxy;
};

FRWSystemProxy::FRWSystemProxy(FRWSystemProxyBackend& backend, FRWUserDefaults& defaults,
                               std::function<bool()> coreRunning, const QString& socksAddress)
    : m_backend(backend), m_defaults(defaults), m_coreRunning(std::move(coreRunning))
{
    const qsizetype colon = socksAddress.lastIndexOf(u':');
    m_host = socksAddress.first(colon);
    m_port = socksAddress.sliced(colon + 1);
}

QString FRWSystemProxy::primaryNetworkService()
{
    const Batch batch(*this);
    return m_backend.primaryNetworkService();
}

QString FRWSystemProxy::takenOverService() const
{
    return m_defaults.string(ferrow::defaults::kProxyService);
}

bool FRWSystemProxy::applySystemProxy(bool enable)
{
    const Batch batch(*this);
    return enable ? takeOver() : restore();
}

bool FRWSystemProxy::takeOver()
{
    const QString service = primaryNetworkService();
    if (service.isEmpty()) {
        return false;
    }

    // A restore that failed earlier left the user's settings in the backup; a new snapshot now
    // would read our own 127.0.0.1 settings and lose them for good.
    const QString pendingService = m_defaults.string(ferrow::defaults::kProxyService);
    const bool backupPending =
        !pendingService.isEmpty() && m_defaults.contains(ferrow::defaults::kProxyBackup);
    if (backupPending && pendingService != service && !restore()) {
        return false;
    }
    const bool keepPending = backupPending && pendingService == service;
    const QVariant previousService = m_defaults.value(ferrow::defaults::kProxyService);
    const QVariant previousBackup = m_defaults.value(ferrow::defaults::kProxyBackup);
    if (!keepPending) {
        m_defaults.setValue(ferrow::defaults::kProxyBackup, snapshotProxyConfig(service));
    } else {
        qInfo("Ferrow: keeping the backup of %s from an earlier run that could not restore it",
              qPrintable(service));
    }
    m_defaults.setString(ferrow::defaults::kProxyService, service);
    if (!m_defaults.sync()) {
        // Without a backup on disk a crash now would lose the user's settings for good.
        qWarning("Ferrow: the backup of the proxy settings of %s could not be saved to %s; leaving them "
                 "untouched",
                 qPrintable(service), qPrintable(m_defaults.fileName()));
        putBack(ferrow::defaults::kProxyService, previousService);
        putBack(ferrow::defaults::kProxyBackup, previousBackup);
        return false;
    }

    const QVariantMap backup = m_defaults.value(ferrow::defaults::kProxyBackup).toMap();
    if (hasAuthenticatedProxy(&backup)) {
        qWarning("Ferrow: refusing to replace an authenticated proxy on %s", qPrintable(service));
        forgetTakeover();
        return false;
    }

    bool ok = true;
    ok &= m_backend.setProxy(FRWProxyKind::Web, service, m_host, m_port);
    ok &= m_backend.setProxy(FRWProxyKind::Secure, service, m_host, m_port);
    ok &= m_backend.setProxy(FRWProxyKind::Socks, service, m_host, m_port);
    ok &= m_backend.setProxyState(FRWProxyKind::Web, service, true);
    ok &= m_backend.setProxyState(FRWProxyKind::Secure, service, true);
    ok &= m_backend.setProxyState(FRWProxyKind::Socks, service, true);
    ok &= m_backend.setBypassDomains(service, kTakeoverBypass);
    if (ok) {
        return true;
    }
    restore();
    return false;
}

bool FRWSystemProxy::restore()
{
    const QString service = m_defaults.string(ferrow::defaults::kProxyService);
    if (service.isEmpty()) {
        return true;
    }
    const bool hasBackup = m_defaults.contains(ferrow::defaults::kProxyBackup);
    const QVariantMap backup = m_defaults.value(ferrow::defaults::kProxyBackup).toMap();
    if (!restoreProxyConfig(hasBackup ? &backup : nullptr, service)) {
        qWarning("Ferrow: could not fully restore the proxy on %s; keeping the backup to retry",
                 qPrintable(service));
        return false;
    }
    if (hasBackup || !systemProxyEnabledOn(service)) {
        forgetTakeover();
    }
    return true;
}

void FRWSystemProxy::putBack(const char* key, const QVariant& value)
{
    if (value.isValid()) {
        m_defaults.setValue(key, value);
    } else {
        m_defaults.remove(key);
    }
}

void FRWSystemProxy::forgetTakeover()
{
    m_defaults.remove(ferrow::defaults::kProxyService);
    m_defaults.remove(ferrow::defaults::kProxyBackup);
    m_defaults.sync();
}

bool FRWSystemProxy::systemProxyEnabledOn(const QString& service)
{
    const Batch batch(*this);
    for (const KindName& kind : kSnapshotOrder) {
        const std::optional<FRWProxyKindSettings> settings = m_backend.queryProxy(kind.kind, service);
        if (!settings || settings->enabled) {
            return true;
        }
    }
    return false;
}

QVariantMap FRWSystemProxy::snapshotProxyConfig(const QString& service)
{
    const Batch batch(*this);
    QVariantMap backup;
    for (const KindName& kind : kSnapshotOrder) {
        // A kind that could not be read is kept as an empty member: restored as switched off.
        const std::optional<FRWProxyKindSettings> settings = m_backend.queryProxy(kind.kind, service);
        backup.insert(QLatin1String(kind.name), settings ? toBackup(*settings) : QVariantMap());
    }
    backup.insert(QStringLiteral("bypass"), m_backend.queryBypassDomains(service).trimmed());
    const QVariantMap extras = m_backend.snapshotExtras(service);
    if (!extras.isEmpty()) {
        backup.insert(QStringLiteral("extra"), extras);
    }
    return backup;
}

bool FRWSystemProxy::restoreProxyConfig(const QVariantMap* backup, const QString& service)
{
    const Batch batch(*this);
    bool ok = true;
    for (const KindName& kind : kRestoreOrder) {
        const FRWProxyKindSettings settings = kindOf(backup, kind.name).value_or(FRWProxyKindSettings());
        if (!settings.server.isEmpty() && !settings.port.isEmpty() && settings.port != u"0") {
            ok &= m_backend.setProxy(kind.kind, service, settings.server, settings.port);
        }
        ok &= m_backend.setProxyState(kind.kind, service, settings.enabled);
    }
    if (!backup) {
        return ok;
    }

    QStringList domains;
    const QVariant bypass = backup->value(QStringLiteral("bypass"));
    if (bypass.typeId() == QMetaType::QString) {
        for (const QString& line : bypass.toString().split(u'\n')) {
            const QString domain = line.trimmed();
            if (!domain.isEmpty() && !containsWhiteSpace(domain)) {
                domains.append(domain);
            }
        }
    }
    ok &= m_backend.setBypassDomains(service, domains);
    const QVariant extras = backup->value(QStringLiteral("extra"));
    if (extras.typeId() == QMetaType::QVariantMap) {
        ok &= m_backend.restoreExtras(service, extras.toMap());
    }
    return ok;
}

bool FRWSystemProxy::hasAuthenticatedProxy(const QVariantMap* backup)
{
    for (const KindName& kind : kSnapshotOrder) {
        if (kindOf(backup, kind.name).value_or(FRWProxyKindSettings()).authenticated) {
            return true;
        }
    }
    return false;
}

void FRWSystemProxy::recoverOrphanedSystemProxy()
{
    const Batch batch(*this);
    const QString service = m_defaults.string(ferrow::defaults::kProxyService);
    if (service.isEmpty() || (m_coreRunning && m_coreRunning())) {
        return;
    }
    if (systemProxyEnabledOn(service)) {
        qWarning("Ferrow: clearing a system proxy left enabled on %s by a previous run", qPrintable(service));
        restore();
    } else {
        m_defaults.remove(ferrow::defaults::kProxyService);
        m_defaults.sync();
    }
}
