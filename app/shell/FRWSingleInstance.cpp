#include "FRWSingleInstance.h"

#include <functional>

#include <QDir>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr char kShowCommand[] = "show\n";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAttempts = 5;
constexpr int kRetryDelayMs = 200;

/// Runs the event loop for up to `timeoutMs`, or until `done` is called; nothing is blocked meanwhile.
void waitForEvents(int timeoutMs, const std::function<void(std::function<void()> done)>& start)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    start([&loop] { loop.quit(); });
    loop.exec();
}

} // namespace

FRWSingleInstance::FRWSingleInstance(const QString& folder, QObject* parent) : QObject(parent)
{
    QDir().mkpath(folder);
    m_socketPath = folder + QStringLiteral("/zq.orbel.ferrow-mac.instance");
    m_lock = std::make_unique<QLockFile>(folder + QStringLiteral("/zq.orbel.ferrow-mac.instance.lock"));
    m_lock->setStaleLockTime(0);
}

FRWSingleInstance::~FRWSingleInstance() = default;

bool FRWSingleInstance::askRunningInstance() const
{
    QLocalSocket socket;
    bool delivered = false;
    waitForEvents(kConnectTimeoutMs, [&](const std::function<void()>& done) {
        QObject::connect(&socket, &QLocalSocket::connected, &socket,
                         [&socket] { socket.write(kShowCommand); });
        QObject::connect(&socket, &QLocalSocket::bytesWritten, &socket, [&delivered, done] {
            delivered = true;
            done();
        });
        QObject::connect(&socket, &QLocalSocket::errorOccurred, &socket, [done] { done(); });
        socket.connectToServer(m_socketPath);
    });
    // Nothing the socket says while it closes may reach the loop that is gone.
    socket.disconnect();
    return delivered;
}

bool FRWSingleInstance::handOverToRunningInstance()
{
    // The lock decides who is the one; the socket only carries the request. This runs once at
    // start, before any window; the event loop keeps running while it waits.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (m_lock->tryLock(0)) {
            return !listen();
        }
        if (askRunningInstance()) {
            return true;
        }
        // The holder is still starting (or just ending): give it a moment.
        waitForEvents(kRetryDelayMs, [](const std::function<void()>&) {});
    }
    return false;
}

bool FRWSingleInstance::listen()
{
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        // Without the socket a second launch cannot reach us, but this one still runs.
        qWarning("Ferrow: cannot listen for other launches: %s", qPrintable(m_server->errorString()));
        return true;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("show")) {
                    emit showRequested();
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}
