#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include "FRWPhysicalInterface.h"
#include "FRWProbeServices.h"

class FRWClock;
class QNetworkAccessManager;

/// The network probes of the app model: the network's name, TCP and DNS times over the physical
/// link, the proxy's delay to its node, and the public addresses with their location. Results are
/// display texts; every result lands on the GUI thread and announces itself with `changed`.
/// Socket work and D-Bus lookups run on worker threads, HTTP asynchronously.
class FRWNetworkProbe : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWNetworkProbe)

public:
    struct Setup {
        FRWProbeServices services = FRWProbeServices::standard();
        /// Pin the socket measurements to the physical link (tests measure on loopback).
        bool bindToPhysicalInterface = true;
        QString localProxyHost = QStringLiteral("127.0.0.1");
        quint16 localProxyPort = 7891;
        int measureTimeoutMs = 2000;
        int echoTimeoutMs = 6000;
        int geoTimeoutMs = 3000;
        /// The link's name for the screens; blocking, called on a worker thread.
        std::function<QString(const QString& interface)> networkName;
        std::function<std::optional<FRWPhysicalInterface>()> physicalInterface = &FRWPhysicalInterface::find;
        const FRWClock* clock = nullptr;
        /// Asked at each probe: whether the public services may be contacted; always when null.
        std::function<bool()> networkChecksAllowed;
    };

    /// What the probes need to know of the model.
    struct Model {
        std::function<bool()> running;
        /// The member now selected in the first group; empty when none.
        std::function<QString()> selectedNode;
        std::function<void(const QString& node, std::function<void(int ms)>)> testNode;
        /// Whether the System Proxy core runs, so echo requests go through it.
        std::function<bool()> systemProxyRunning;
    };

    FRWNetworkProbe(Setup setup, Model model, QObject* parent = nullptr);
    ~FRWNetworkProbe() override;

    /// One full cycle; its steps land independently.
    void probeNetwork();
    /// Forgets the located address and probes again, so the location is looked up anew.
    void refreshExternalIP();
    void setShowIPv6(bool show);
    /// Makes the next echo answer look its address up again.
    void clearGeoIP() { m_geoIP.clear(); }

    QString externalIP() const;
    QString externalIPUpdatedText() const;
    std::optional<FRWPhysicalInterface> physicalIf() const;
    QString displayNetworkNameFor(const QString& interface) const;
    /// Linux needs no permission to read the Wi-Fi name.
    void requestLocationForSSIDIfNeeded() {}

    void measureConnect(const QString& ipv4, quint16 port, std::function<void(QString)> completion);
    void measureDNS(const QString& resolverIPv4, std::function<void(QString)> completion);
    /// The client for echo requests: through the local proxy while the System Proxy core runs,
    /// rebuilt only when that changes.
    QNetworkAccessManager* probeSession();
    void fetchIP(const QUrl& url, bool v6, QNetworkAccessManager* session);
    void fetchGeoForIP(const QString& ipv4);

    const QString& networkName() const { return m_networkName; }
    const QString& latencyText() const { return m_latencyText; }
    const QString& dnsLatencyText() const { return m_dnsLatencyText; }
    const QString& proxyLatencyText() const { return m_proxyLatencyText; }
    bool showIPv6() const { return m_showIPv6; }
    const QString& ipv4() const { return m_ipv4; }
    const QString& ipv6() const { return m_ipv6; }
    const QDateTime& ipUpdated() const { return m_ipUpdated; }
    const QString& geoCountryCode() const { return m_geoCountryCode; }
    const QString& geoCountry() const { return m_geoCountry; }
    const QString& geoCity() const { return m_geoCity; }
    const QString& geoASN() const { return m_geoASN; }
    const QString& geoIP() const { return m_geoIP; }

signals:
    void changed();

private:
    /// Runs `work` on a worker thread and hands its text to `completion` on this object's thread.
    void runOffThread(std::function<QString()> work, std::function<void(QString)> completion);
    QDateTime now() const;

    Setup m_setup;
    Model m_model;
    QThreadPool m_pool;
    QNetworkAccessManager* m_geoSession;
    QPointer<QNetworkAccessManager> m_probeSession;
    bool m_probeSessionViaProxy = false;
    QString m_geoPending;

    QString m_networkName;
    QString m_latencyText;
    QString m_dnsLatencyText;
    QString m_proxyLatencyText;
    bool m_showIPv6 = false;
    QString m_ipv4;
    QString m_ipv6;
    QDateTime m_ipUpdated;
    QString m_geoCountryCode;
    QString m_geoCountry;
    QString m_geoCity;
    QString m_geoASN;
    QString m_geoIP;
};
