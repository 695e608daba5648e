#pragma once

#include <functional>
#include <map>
#include <string>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "FRWError.h"
#include "FRWHelperProtocol.h"

class QLocalSocket;

/// The application's connection to the helper: requests go out as JSON lines on the helper's
/// socket and each reply is matched to its request by id. When the connection fails or the helper
/// sends something unreadable, every outstanding call gets the connection error and the
/// connection is spent (`invalidated`); the controller then makes a new one on next use.
/// GUI thread only; every handler runs on the GUI thread, never inside the call that made it.
class FRWHelperClient : public QObject {
    Q_OBJECT

public:
    using ErrorHandler = std::function<void(FRWError)>;

    FRWHelperClient(const QString& socketPath, QObject* parent = nullptr);
    ~FRWHelperClient() override;
    Q_DISABLE_COPY_MOVE(FRWHelperClient)

    void getVersion(std::function<void(qint64)> reply, ErrorHandler error);
    void startCore(const ferrow::helperprotocol::StartCoreParams& params,
                   std::function<void(FRWResult)> reply, ErrorHandler error);
    void stopCore(std::function<void(FRWResult)> reply, ErrorHandler error);

    /// Drops the connection; outstanding calls get the connection error.
    void invalidate();
    bool isValid() const { return !m_invalid; }

signals:
    void invalidated();

private:
    struct Pending {
        std::function<void(const ferrow::helperprotocol::Reply&)> reply;
        ErrorHandler error;
    };

    void send(ferrow::helperprotocol::Request request, Pending pending);
    void flush();
    void readReplies();
    void fail(const QString& reason);

    QLocalSocket* m_socket;
    QByteArray m_buffer;
    QByteArray m_unsent;
    std::uint64_t m_nextId = 1;
    std::map<std::uint64_t, Pending> m_pending;
    bool m_connected = false;
    bool m_invalid = false;
};
