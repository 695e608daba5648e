#pragma once

#include <functional>
#include <optional>

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

/// The answers of one poll; each is empty when its request got no usable answer.
struct FRWPollResult {
    std::optional<QJsonArray> connections;
    std::optional<QJsonObject> stats;
    std::optional<QJsonObject> outbound;
    std::optional<QJsonObject> status;
    std::optional<QJsonArray> groups;
    std::optional<QJsonObject> logs; ///< dropped when the log stream was reset or the core replaced meanwhile
};

/// The client of the running core's controller API. Every request reads the api-info record
/// afresh, goes to loopback without any proxy, and counts only by a body of the expected JSON
/// type; anything else is no answer. Completions run on the GUI thread, exactly once.
class FRWControllerAPI : public QObject {
    Q_OBJECT

public:
    using APIInfoProvider = std::function<std::optional<QJsonObject>()>;
    using MeasurementAPIProvider = std::function<void(std::function<void(std::optional<QJsonObject>)>)>;

    /// `apiInfo` reads the current api-info record; `measurementAPI` hands one that can measure,
    /// starting a probe core when needed.
    FRWControllerAPI(APIInfoProvider apiInfo, MeasurementAPIProvider measurementAPI,
                     QObject* parent = nullptr);

    /// The poll and every model request.
    static constexpr int kTimeoutMs = 3000;
    /// The profile watch's reload, which may make the core fetch rule sets.
    static constexpr int kReloadTimeoutMs = 20 * 1000;
    /// Asking a helper-run core to stop.
    static constexpr int kStopTimeoutMs = 8000;

    /// The request for a path on the core of `info`; nothing without a usable "address".
    static std::optional<QNetworkRequest> requestForPath(const QString& path, const QJsonObject& info);
    /// The record's secret, which names one core instance.
    static QString coreIdentity(const QJsonObject& info);
    /// A query value from user data.
    static QString percentEncoded(const QString& value);

    std::optional<QJsonObject> apiInfo() const;

    void poll(qint64 logCursor, std::function<void(FRWPollResult)> completion);
    /// Makes answers to log requests already sent count as no answer.
    void resetLogStream() { ++m_logsEpoch; }
    int logsEpoch() const { return m_logsEpoch; }

    void testNode(const QString& node, std::function<void(int ms)> completion);
    /// The same, with what went wrong when it failed: "refused", "unreachable", "name", "timeout",
    /// "rejected" or "failed" (empty when the core did not say).
    void testNode(const QString& node, std::function<void(int ms, const QString& failure)> completion);
    void selectGroup(const QString& group, const QString& member, std::function<void()> completion);
    void setOutboundMode(const QString& mode, const QString& node, std::function<void()> completion);
    void setLocalProxyEnabled(bool enabled, const QString& listen,
                              std::function<void(std::optional<QJsonObject>)> completion);
    void refreshLocalProxyState(std::function<void(std::optional<QJsonObject>)> completion);
    void fetchRuleSets(std::function<void(QJsonArray)> completion);
    /// The core's top programs, devices, domains or policies of the last `days` days; nothing
    /// when the core is not there or its answer is not one.
    void fetchHistory(const QString& dimension, int days,
                      std::function<void(std::optional<QJsonObject>)> completion);
    void updateAllRuleSets(std::function<void()> completion);
    void fetchEventsSince(qint64 cursor, std::function<void(QJsonArray, qint64)> completion);

    /// POST /reload to the core of `info`. The completion (may be empty) gets the core's reason when
    /// it rejected the profile, and nothing when it took it or gave no usable answer. False, and no
    /// completion, when `info` gives no request.
    bool reload(const QJsonObject& info, int timeoutMs,
                std::function<void(std::optional<QString>)> completion);
    /// POST /stop to the core of `info`; the completion runs however the request ends. False, and
    /// no completion, when `info` gives no request.
    bool stop(const QJsonObject& info, int timeoutMs, std::function<void()> completion);

private:
    using BodyHandler = std::function<void(std::optional<QJsonDocument>)>;
    /// Sends the request and hands back the parsed body (nothing on any failure).
    void send(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body,
              BodyHandler handler);
    /// GET path on the core of `info`; the handler gets nothing at once when no request can be made.
    void get(const QString& path, const std::optional<QJsonObject>& info, BodyHandler handler);

    APIInfoProvider m_apiInfo;
    MeasurementAPIProvider m_measurementAPI;
    QNetworkAccessManager* m_network;
    int m_logsEpoch = 0;
};
