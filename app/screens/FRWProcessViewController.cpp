#include "FRWProcessViewController.h"

#include "FRWDesktopEntries.h"
#include "FRWScreenText.h"

FRWProcessViewController::FRWProcessViewController(FRWScreensContext context, QObject* parent)
    : FRWClientsViewController(tr("Process"), context, parent)
{
}

FRWDesktopEntries& FRWProcessViewController::entries() const
{
    return context().desktopEntries ? *context().desktopEntries : FRWDesktopEntries::shared();
}

QString FRWProcessViewController::keyForConnection(const QJsonObject& connection) const
{
    return FRWScreenText::stringOf(connection, "process");
}

QString FRWProcessViewController::keyForHistoryName(const QString& name) const
{
    return FRWScreenText::programName(name);
}

QString FRWProcessViewController::titleForKey(const QString& key)
{
    return entries().titleFor(key);
}

QIcon FRWProcessViewController::iconForKey(const QString& key)
{
    return entries().iconFor(key);
}
