#pragma once

#include "FRWClientsViewController.h"

/// Traffic per local program, named and drawn as the desktop names and draws it.
class FRWProcessViewController : public FRWClientsViewController {
    Q_OBJECT
public:
    explicit FRWProcessViewController(FRWScreensContext context, QObject* parent = nullptr);

    QString emptyText() const override { return tr("No process traffic yet."); }
    QString keyForConnection(const QJsonObject& connection) const override;
    QString historyDimension() const override { return QStringLiteral("process"); }
    /// The history keeps executable paths; the live view groups by program name.
    QString keyForHistoryName(const QString& name) const override;
    QString titleForKey(const QString& key) override;
    QIcon iconForKey(const QString& key) override;

private:
    FRWDesktopEntries& entries() const;
};
