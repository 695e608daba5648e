#include "FRWHelperClient.h"

#include <variant>

#include <QCoreApplication>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace proto = ferrow::helperprotocol;

namespace {

FRWError connectionError(const QString& reason)
{
    return FRWError{
        QStringLiteral("FerrowHelperConnection"), 1,
        QCoreApplication::translate("FRWHelperClient", "Couldn't communicate with the helper (%1).")
            .arg(reason)};
}

FRWResult resultOf(const proto::Reply& reply)
{
    if (!reply.error) {
        return std::nullopt;
    }
    return FRWError{QString::fromStdString(reply.error->domain), reply.error->code,
                    QString::fromStdString(reply.error->description)};
}

} // namespace

FRWHelperClient::FRWHelperClient(const QString& socketPath, QObject* parent)
    : QObject(parent), m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::connected, this, [this] {
        m_connected = true;
        flush();
    });
    connect(m_socket, &QLocalSocket::readyRead, this, &FRWHelperClient::readReplies);
    connect(m_socket, &QLocalSocket::disconnected, this,
            [this] { fail(tr("the helper closed the connection")); });
    connect(m_socket, &QLocalSocket::errorOccurred, this, [this] { fail(m_socket->errorString()); });
    // Connecting may report its failure at once; handlers must still run after the caller returns.
    QTimer::singleShot(0, this, [this, socketPath] {
        if (!m_invalid) {
            m_socket->connectToServer(socketPath);
        }
    });
}

FRWHelperClient::~FRWHelperClient()
{
    m_socket->disconnect(this);
}

void FRWHelperClient::getVersion(std::function<void(qint64)> reply, ErrorHandler error)
{
    proto::Request request;
    request.method = proto::Method::GetVersion;
    send(request, {[reply = std::move(reply), error](const proto::Reply& answer) {
                       if (answer.version) {
                           reply(*answer.version);
                       } else {
                           error(answer.error ? *resultOf(answer) : connectionError(tr("no version")));
                       }
                   },
                   std::move(error)});
}

void FRWHelperClient::startCore(const proto::StartCoreParams& params, std::function<void(FRWResult)> reply,
                                ErrorHandler error)
{
    proto::Request request;
    request.method = proto::Method::StartCore;
    request.start = params;
    send(request, {[reply = std::move(reply)](const proto::Reply& answer) { reply(resultOf(answer)); },
                   std::move(error)});
}

void FRWHelperClient::stopCore(std::function<void(FRWResult)> reply, ErrorHandler error)
{
    proto::Request request;
    request.method = proto::Method::StopCore;
    send(request, {[reply = std::move(reply)](const proto::Reply& answer) { reply(resultOf(answer)); },
                   std::move(error)});
}

void FRWHelperClient::send(proto::Request request, Pending pending)
{
    if (m_invalid) {
        // A spent connection answers on the next turn of the event loop, like a live one would.
        QTimer::singleShot(0, this,
                           [error = pending.error] { error(connectionError(tr("connection closed"))); });
        return;
    }
    request.id = m_nextId++;
    m_pending.emplace(request.id, std::move(pending));
    m_unsent += QByteArray::fromStdString(proto::formatRequest(request));
    flush();
}

void FRWHelperClient::flush()
{
    if (m_connected && !m_unsent.isEmpty()) {
        m_socket->write(m_unsent);
        m_unsent.clear();
    }
}

void FRWHelperClient::readReplies()
{
    m_buffer += m_socket->readAll();
    std::string buffer = m_buffer.toStdString();
    std::string line;
    const QPointer<FRWHelperClient> self(this);
    for (;;) {
        const proto::LineStatus status = proto::takeLine(buffer, line);
        if (status == proto::LineStatus::NeedMore) {
            break;
        }
        if (status == proto::LineStatus::TooLong) {
            return fail(tr("reply too long"));
        }
        auto parsed = proto::parseReply(line);
        if (auto* error = std::get_if<proto::ProtocolError>(&parsed)) {
            return fail(QString::fromStdString(error->text));
        }
        const auto& reply = std::get<proto::Reply>(parsed);
        const auto it = m_pending.find(reply.id);
        if (it == m_pending.end()) {
            return fail(tr("reply to no request"));
        }
        Pending pending = std::move(it->second);
        m_pending.erase(it);
        m_buffer = QByteArray::fromStdString(buffer);
        pending.reply(reply);
        if (!self || m_invalid) {
            return;
        }
    }
    m_buffer = QByteArray::fromStdString(buffer);
}

void FRWHelperClient::invalidate()
{
    fail(tr("connection closed"));
}

void FRWHelperClient::fail(const QString& reason)
{
    if (m_invalid) {
        return;
    }
    m_invalid = true;
    std::map<std::uint64_t, Pending> pending;
    pending.swap(m_pending);
    m_socket->abort();
    const FRWError error = connectionError(reason);
    // Outstanding calls are answered even when this object is dropped before the next turn.
    const QPointer<FRWHelperClient> self(this);
    QTimer::singleShot(0, QCoreApplication::instance(), [self, pending = std::move(pending), error] {
        for (const auto& [id, call] : pending) {
            call.error(error);
        }
        if (self) {
            emit self->invalidated();
        }
    });
}
