#include "FRWMirroredProxyBackend.h"

namespace {
const QString kPrimary = QStringLiteral("primary");
const QString kMirror = QStringLiteral("mirror");
} // namespace

FRWMirroredProxyBackend::FRWMirroredProxyBackend(std::unique_ptr<FRWSystemProxyBackend> primary,
                                                 std::unique_ptr<FRWSystemProxyBackend> mirror)
    : m_primary(std::move(primary)), m_mirror(std::move(mirror))
{
}

QString FRWMirroredProxyBackend::mirrorService()
{
    if (!m_mirrorService) {
        m_mirrorService = m_mirror->primaryNetworkService();
    }
    return *m_mirrorService;
}

QString FRWMirroredProxyBackend::primaryNetworkService()
{
    return m_primary->primaryNetworkService();
}

std::optional<FRWProxyKindSettings> FRWMirroredProxyBackend::queryProxy(FRWProxyKind kind,
                                                                        const QString& service)
{
    return m_primary->queryProxy(kind, service);
}

bool FRWMirroredProxyBackend::setProxy(FRWProxyKind kind, const QString& service, const QString& server,
                                       const QString& port)
{
    const bool ok = m_primary->setProxy(kind, service, server, port);
    const QString mirror = mirrorService();
    return (mirror.isEmpty() || m_mirror->setProxy(kind, mirror, server, port)) && ok;
}

bool FRWMirroredProxyBackend::setProxyState(FRWProxyKind kind, const QString& service, bool enabled)
{
    const bool ok = m_primary->setProxyState(kind, service, enabled);
    const QString mirror = mirrorService();
    return (mirror.isEmpty() || m_mirror->setProxyState(kind, mirror, enabled)) && ok;
}

QString FRWMirroredProxyBackend::queryBypassDomains(const QString& service)
{
    return m_primary->queryBypassDomains(service);
}

bool FRWMirroredProxyBackend::setBypassDomains(const QString& service, const QStringList& domains)
{
    const bool ok = m_primary->setBypassDomains(service, domains);
    const QString mirror = mirrorService();
    return (mirror.isEmpty() || m_mirror->setBypassDomains(mirror, domains)) && ok;
}

QVariantMap FRWMirroredProxyBackend::snapshotExtras(const QString& service)
{
    QVariantMap extras{{kPrimary, m_primary->snapshotExtras(service)}};
    const QString mirror = mirrorService();
    if (!mirror.isEmpty()) {
        // The mirror's own settings, so that they come back exactly too.
        extras.insert(kMirror, m_mirror->snapshotExtras(mirror));
    }
    return extras;
}

bool FRWMirroredProxyBackend::restoreExtras(const QString& service, const QVariantMap& extras)
{
    bool ok = m_primary->restoreExtras(service, extras.value(kPrimary).toMap());
    const QString mirror = mirrorService();
    if (!mirror.isEmpty() && extras.contains(kMirror)) {
        ok &= m_mirror->restoreExtras(mirror, extras.value(kMirror).toMap());
    }
    return ok;
}

void FRWMirroredProxyBackend::beginBatch()
{
    m_primary->beginBatch();
    m_mirror->beginBatch();
}

bool FRWMirroredProxyBackend::endBatch()
{
    const bool ok = m_primary->endBatch();
    return m_mirror->endBatch() && ok;
}
