#include "FRWControllerAPI.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

#include "FRWAPIInfo.h"

namespace {

std::optional<QJsonArray> arrayOf(const std::optional<QJsonDocument>& body)
{
    return body && body->isArray() ? std::optional(body->array()) : std::nullopt;
}

std::optional<QJsonObject> objectOf(const std::optional<QJsonDocument>& body)
{
    return body && body->isObject() ? std::optional(body->object()) : std::nullopt;
}

} // namespace

FRWControllerAPI::FRWControllerAPI(APIInfoProvider apiInfo, MeasurementAPIProvider measurementAPI,
                                   QObject* parent)
    : QObject(parent)
    , m_apiInfo(std::move(apiInfo))
    , m_measurementAPI(std::move(measurementAPI))
    , m_network(new QNetworkAccessManager(this))
{
    // Our own takeover points the system at the local proxy; the API is never reached through it.
    m_network->setProxy(QNetworkProxy::NoProxy);
}

std::optional<QNetworkRequest> FRWControllerAPI::requestForPath(const QString& path, const QJsonObject& info)
{
    const QJsonValue address = info.value(QStringLiteral("address"));
    if (!address.isString() || address.toString().isEmpty()) {
        return std::nullopt;
    }
    const QUrl url(QStringLiteral("http://") + address.toString() + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    const QJsonValue secret = info.value(QStringLiteral("secret"));
    if (secret.isString() && !secret.toString().isEmpty()) {
        request.setRawHeader("Authorization", "Bearer " + secret.toString().toUtf8());
    }
    return request;
}

QString FRWControllerAPI::coreIdentity(const QJsonObject& info)
{
    return FRWAPIInfo::secret(info);
}

QString FRWControllerAPI::percentEncoded(const QString& value)
{
    // Everything but the unreserved characters: "&", "=", "+" and "#" in a node name must not end
    // or split the query value.
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

std::optional<QJsonObject> FRWControllerAPI::apiInfo() const
{
    return m_apiInfo ? m_apiInfo() : std::nullopt;
}

void FRWControllerAPI::send(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body,
                            BodyHandler handler)
{
    QNetworkReply* reply = m_network->sendCustomRequest(request, method, body);
    connect(reply, &QNetworkReply::finished, this, [reply, handler = std::move(handler)] {
        reply->deleteLater();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &error);
        handler(error.error == QJsonParseError::NoError ? std::optional(document) : std::nullopt);
    });
}

void FRWControllerAPI::get(const QString& path, const std::optional<QJsonObject>& info, BodyHandler handler)
{
    const std::optional<QNetworkRequest> request = info ? requestForPath(path, *info) : std::nullopt;
    if (!request) {
        QMetaObject::invokeMethod(
            this, [handler = std::move(handler)] { handler(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    send(*request, "GET", {}, std::move(handler));
}

void FRWControllerAPI::poll(qint64 logCursor, std::function<void(FRWPollResult)> completion)
{
    struct Poll {
        FRWPollResult result;
        int pending = 4; // steps 1 to 3, and the chain 4 → 5 → 6
        std::function<void(FRWPollResult)> completion;
        void done()
        {
            if (--pending == 0) {
                completion(std::move(result));
            }
        }
    };
    auto poll = std::make_shared<Poll>();
    poll->completion = std::move(completion);
    const std::optional<QJsonObject> info = apiInfo();

    get(QStringLiteral("/connections"), info, [poll](auto body) {
        poll->result.connections = arrayOf(body);
        poll->done();
    });
    get(QStringLiteral("/stats"), info, [poll](auto body) {
        poll->result.stats = objectOf(body);
        poll->done();
    });
    get(QStringLiteral("/outbound"), info, [poll](auto body) {
        poll->result.outbound = objectOf(body);
        poll->done();
    });
    QPointer<FRWControllerAPI> self(this);
    get(QStringLiteral("/status"), info, [self, poll, info, logCursor](auto status) {
        poll->result.status = objectOf(status);
        if (!self) {
            return poll->done();
        }
        self->get(QStringLiteral("/groups"), info, [self, poll, info, logCursor](auto groups) {
            poll->result.groups = arrayOf(groups);
            if (!self) {
                return poll->done();
            }
            const int epoch = self->m_logsEpoch;
            const QString identity = info ? coreIdentity(*info) : QString();
            self->get(QStringLiteral("/logs?cursor=%1").arg(logCursor), info,
                      [self, poll, epoch, identity](auto logs) {
                          // Lines of a core that has since been replaced, or of a stream reset meanwhile, are
                          // dropped.
                          const std::optional<QJsonObject> now = self ? self->apiInfo() : std::nullopt;
                          const bool sameStream =
                              self && self->m_logsEpoch == epoch && now && coreIdentity(*now) == identity;
                          poll->result.logs = sameStream ? objectOf(logs) : std::nullopt;
                          poll->done();
                      });
        });
    });
}

void FRWControllerAPI::testNode(const QString& node, std::function<void(int)> completion)
{
    testNode(node, std::function<void(int, const QString&)>(
                       [completion = std::move(completion)](int ms, const QString&) { completion(ms); }));
}

void FRWControllerAPI::testNode(const QString& node, std::function<void(int, const QString&)> completion)
{
    if (!m_measurementAPI) {
        QMetaObject::invokeMethod(
            this, [completion] { completion(-1, QString()); }, Qt::QueuedConnection);
        return;
    }
    QPointer<FRWControllerAPI> self(this);
    m_measurementAPI([self, node,
                      completion = std::move(completion)](const std::optional<QJsonObject>& info) {
        if (!self) {
            return completion(-1, QString());
        }
        self->get(QStringLiteral("/test?node=") + percentEncoded(node), info, [completion](auto body) {
            const std::optional<QJsonObject> answer = objectOf(body);
            const QJsonValue ms = answer ? answer->value(QStringLiteral("ms")) : QJsonValue();
            const QString failure = answer ? answer->value(QStringLiteral("failure")).toString() : QString();
            completion(ms.isDouble() ? ms.toInt() : -1, failure);
        });
    });
}

void FRWControllerAPI::selectGroup(const QString& group, const QString& member,
                                   std::function<void()> completion)
{
    const std::optional<QJsonObject> info = apiInfo();
    std::optional<QNetworkRequest> request =
        info ? requestForPath(QStringLiteral("/select"), *info) : std::nullopt;
    if (!request) {
        QMetaObject::invokeMethod(this, std::move(completion), Qt::QueuedConnection);
        return;
    }
    request->setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("group"), group}, {QStringLiteral("member"), member}})
            .toJson(QJsonDocument::Compact);
    send(*request, "POST", body, [completion = std::move(completion)](auto) { completion(); });
}

void FRWControllerAPI::setOutboundMode(const QString& mode, const QString& node,
                                       std::function<void()> completion)
{
    QString path = QStringLiteral("/outbound?mode=") + mode;
    if (mode == u"global" && !node.isEmpty()) {
        path += QStringLiteral("&node=") + percentEncoded(node);
    }
    get(path, apiInfo(), [completion = std::move(completion)](auto) { completion(); });
}

void FRWControllerAPI::setLocalProxyEnabled(bool enabled, const QString& listen,
                                            std::function<void(std::optional<QJsonObject>)> completion)
{
    const QString value = enabled && !listen.isEmpty() ? percentEncoded(listen) : QString();
    const std::optional<QJsonObject> info = apiInfo();
    const std::optional<QNetworkRequest> request =
        info ? requestForPath(QStringLiteral("/socks?listen=") + value, *info) : std::nullopt;
    QPointer<FRWControllerAPI> self(this);
    const auto refresh = [self, completion = std::move(completion)](auto) {
        if (self) {
            self->refreshLocalProxyState(completion);
        } else {
            completion(std::nullopt);
        }
    };
    if (!request) {
        QMetaObject::invokeMethod(
            this, [refresh] { refresh(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    send(*request, "POST", {}, refresh);
}

void FRWControllerAPI::refreshLocalProxyState(std::function<void(std::optional<QJsonObject>)> completion)
{
    get(QStringLiteral("/socks"), apiInfo(),
        [completion = std::move(completion)](auto body) { completion(objectOf(body)); });
}

void FRWControllerAPI::fetchRuleSets(std::function<void(QJsonArray)> completion)
{
    get(QStringLiteral("/rulesets"), apiInfo(), [completion = std::move(completion)](auto body) {
        completion(arrayOf(body).value_or(QJsonArray()));
    });
}

void FRWControllerAPI::fetchHistory(const QString& dimension, int days,
                                    std::function<void(std::optional<QJsonObject>)> completion)
{
    const QString path = QStringLiteral("/history?dimension=%1&days=%2").arg(dimension).arg(days);
    get(path, apiInfo(), [completion = std::move(completion)](auto body) {
        std::optional<QJsonObject> answer = objectOf(body);
        if (answer && !answer->value(QStringLiteral("items")).isArray()) {
            answer.reset();
        }
        completion(std::move(answer));
    });
}

void FRWControllerAPI::updateAllRuleSets(std::function<void()> completion)
{
    const auto finish = [completion = std::move(completion)](auto) {
        if (completion) {
            completion();
        }
    };
    const std::optional<QJsonObject> info = apiInfo();
    const std::optional<QNetworkRequest> request =
        info ? requestForPath(QStringLiteral("/rulesets"), *info) : std::nullopt;
    if (!request) {
        QMetaObject::invokeMethod(
            this, [finish] { finish(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    send(*request, "POST", {}, finish);
}

void FRWControllerAPI::fetchEventsSince(qint64 cursor, std::function<void(QJsonArray, qint64)> completion)
{
    get(QStringLiteral("/events?cursor=%1").arg(cursor), apiInfo(),
        [cursor, completion = std::move(completion)](auto body) {
            const std::optional<QJsonObject> answer = objectOf(body);
            if (!answer) {
                return completion({}, cursor);
            }
            const QJsonValue next = answer->value(QStringLiteral("cursor"));
            completion(answer->value(QStringLiteral("events")).toArray(),
                       next.isDouble() ? next.toInteger() : 0);
        });
}

bool FRWControllerAPI::reload(const QJsonObject& info, int timeoutMs,
                              std::function<void(std::optional<QString>)> completion)
{
    std::optional<QNetworkRequest> request = requestForPath(QStringLiteral("/reload"), info);
    if (!request) {
        return false;
    }
    request->setTransferTimeout(timeoutMs);
    send(*request, "POST", {}, [completion = std::move(completion)](auto body) {
        if (!completion) {
            return;
        }
        // Only an explicit "ok": false is a rejection; anything else counts as taken.
        const std::optional<QJsonObject> answer = objectOf(body);
        const QJsonValue ok =
            answer ? answer->value(QStringLiteral("ok")) : QJsonValue(QJsonValue::Undefined);
        if (!answer || ok.isUndefined() || ok.toBool()) {
            return completion(std::nullopt);
        }
        const QJsonValue error = answer->value(QStringLiteral("error"));
        completion(error.isString() ? error.toString() : QStringLiteral("unknown error"));
    });
    return true;
}

bool FRWControllerAPI::stop(const QJsonObject& info, int timeoutMs, std::function<void()> completion)
{
    std::optional<QNetworkRequest> request = requestForPath(QStringLiteral("/stop"), info);
    if (!request) {
        return false;
    }
    request->setTransferTimeout(timeoutMs);
    send(*request, "POST", {}, [completion = std::move(completion)](auto) {
        if (completion) {
            completion();
        }
    });
    return true;
}
