#pragma once

#include <memory>

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

/// One Ferrow per user: a second launch hands over to the running one, which shows its window,
/// so a desktop without a tray never leaves the user without a way in.
class FRWSingleInstance : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWSingleInstance)

public:
    /// `folder` holds the lock and the socket (the user's runtime folder).
    explicit FRWSingleInstance(const QString& folder, QObject* parent = nullptr);
    ~FRWSingleInstance() override;

    /// True when another instance runs and was asked to show itself: this one should end.
    /// Otherwise this instance becomes the one and listens.
    bool handOverToRunningInstance();

signals:
    void showRequested();

private:
    bool askRunningInstance() const;
    bool listen();

    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
