#include "FRWSystemProxyBackend.h"

QVariantMap FRWSystemProxyBackend::snapshotExtras(const QString& /*service*/)
{
    return {};
}

bool FRWSystemProxyBackend::restoreExtras(const QString& /*service*/, const QVariantMap& /*extras*/)
{
    return true;
}
