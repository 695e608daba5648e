#include "FRWNetworkProbe.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>

#include "FRWClock.h"
#include "FRWNetworkName.h"
#include "FRWProbeText.h"
#include "FRWSocketProbe.h"

namespace {

QNetworkRequest probeRequest(const QUrl& url, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return request;
}

// A replaced client finishes what it started, then goes.
void retire(QNetworkAccessManager* session)
{
    const auto deleteWhenIdle = [session] {
        const QList<QNetworkReply*> replies = session->findChildren<QNetworkReply*>();
        if (std::all_of(replies.cbegin(), replies.cend(), [](QNetworkReply* r) { return r->isFinished(); })) {
            session->deleteLater();
        }
    };
    for (QNetworkReply* reply : session->findChildren<QNetworkReply*>()) {
        QObject::connect(reply, &QNetworkReply::finished, session, deleteWhenIdle, Qt::QueuedConnection);
    }
    deleteWhenIdle();
}

} // namespace

FRWNetworkProbe::FRWNetworkProbe(Setup setup, Model model, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_model(std::move(model))
    , m_geoSession(new QNetworkAccessManager(this))
    , m_networkName(FRWProbeText::none())
    , m_latencyText(FRWProbeText::none())
    , m_dnsLatencyText(FRWProbeText::none())
    , m_proxyLatencyText(FRWProbeText::none())
{
    m_geoSession->setProxy(QNetworkProxy::NoProxy);
    if (!m_setup.networkName) {
        m_setup.networkName = [](const QString& interface) {
            return FRWNetworkName::system().displayNameFor(interface);
        };
    }
    m_pool.setMaxThreadCount(4);
}

FRWNetworkProbe::~FRWNetworkProbe()
{
    // Workers post their results to this object; none may outlive it.
    m_pool.waitForDone();
}

QDateTime FRWNetworkProbe::now() const
{
    return (m_setup.clock ? *m_setup.clock : FRWClock::system()).now();
}

void FRWNetworkProbe::runOffThread(std::function<QString()> work, std::function<void(QString)> completion)
{
    m_pool.start([this, work = std::move(work), completion = std::move(completion)] {
        QString text = work();
        QMetaObject::invokeMethod(
            this, [completion, text = std::move(text)] { completion(text); }, Qt::QueuedConnection);
    });
}

void FRWNetworkProbe::probeNetwork()
{
    runOffThread(
        [physical = m_setup.physicalInterface, name = m_setup.networkName] {
            const std::optional<FRWPhysicalInterface> link = physical ? physical() : std::nullopt;
            return name(link ? link->name : QString());
        },
        [this](const QString& text) {
            m_networkName = text;
            emit changed();
        });
    const bool mayContact = !m_setup.networkChecksAllowed || m_setup.networkChecksAllowed();
    if (mayContact) {
        measureConnect(m_setup.services.resolver, m_setup.services.connectPort, [this](const QString& text) {
            m_latencyText = text;
            emit changed();
        });
        measureDNS(m_setup.services.resolver, [this](const QString& text) {
            m_dnsLatencyText = text;
            emit changed();
        });
    }
    const QString node = m_model.selectedNode ? m_model.selectedNode() : QString();
    if (m_model.running && m_model.running()) {
        if (!node.isEmpty() && m_model.testNode) {
            QPointer<FRWNetworkProbe> self(this);
            m_model.testNode(node, [self](int ms) {
                if (self) {
                    self->m_proxyLatencyText = ms >= 0 ? QString::number(ms) : FRWProbeText::none();
                    emit self->changed();
                }
            });
        }
    } else {
        m_proxyLatencyText = FRWProbeText::none();
    }
    if (!mayContact) {
        return;
    }
    QNetworkAccessManager* session = probeSession();
    fetchIP(m_setup.services.echoIPv4.url(), false, session);
    fetchIP(m_setup.services.echoIPv6.url(), true, session);
}

void FRWNetworkProbe::refreshExternalIP()
{
    m_geoIP.clear();
    probeNetwork();
}

void FRWNetworkProbe::setShowIPv6(bool show)
{
    m_showIPv6 = show;
    emit changed();
}

QString FRWNetworkProbe::externalIP() const
{
    if (m_showIPv6 && !m_ipv6.isEmpty()) {
        return m_ipv6;
    }
    if (!m_ipv4.isEmpty()) {
        return m_ipv4;
    }
    return m_ipv6.isEmpty() ? FRWProbeText::none() : m_ipv6;
}

QString FRWNetworkProbe::externalIPUpdatedText() const
{
    return FRWProbeText::age(m_ipUpdated, now());
}

std::optional<FRWPhysicalInterface> FRWNetworkProbe::physicalIf() const
{
    return m_setup.physicalInterface ? m_setup.physicalInterface() : std::nullopt;
}

QString FRWNetworkProbe::displayNetworkNameFor(const QString& interface) const
{
    return m_setup.networkName(interface);
}

void FRWNetworkProbe::measureConnect(const QString& ipv4, quint16 port,
                                     std::function<void(QString)> completion)
{
    runOffThread(
        [ipv4, port, bind = m_setup.bindToPhysicalInterface, physical = m_setup.physicalInterface,
         timeout = m_setup.measureTimeoutMs] {
            const std::optional<FRWPhysicalInterface> link = bind && physical ? physical() : std::nullopt;
            const QString device = link && link->index != 0 ? link->name : QString();
            const std::optional<double> ms = FRWSocketProbe::connectTime(ipv4, port, device, timeout);
            return ms ? FRWProbeText::milliseconds(*ms) : FRWProbeText::none();
        },
        std::move(completion));
}

void FRWNetworkProbe::measureDNS(const QString& resolverIPv4, std::function<void(QString)> completion)
{
    runOffThread(
        [resolverIPv4, port = m_setup.services.dnsPort, bind = m_setup.bindToPhysicalInterface,
         physical = m_setup.physicalInterface, timeout = m_setup.measureTimeoutMs] {
            const std::optional<FRWPhysicalInterface> link = bind && physical ? physical() : std::nullopt;
            const QString device = link && link->index != 0 ? link->name : QString();
            const std::optional<double> ms =
                FRWSocketProbe::dnsRoundTrip(resolverIPv4, port, device, timeout);
            return ms ? FRWProbeText::milliseconds(*ms) : FRWProbeText::none();
        },
        std::move(completion));
}

QNetworkAccessManager* FRWNetworkProbe::probeSession()
{
    const bool viaProxy = m_model.systemProxyRunning && m_model.systemProxyRunning();
    if (m_probeSession && m_probeSessionViaProxy == viaProxy) {
        return m_probeSession;
    }
    if (m_probeSession) {
        retire(m_probeSession);
    }
    auto* session = new QNetworkAccessManager(this);
    session->setProxy(
        viaProxy ? QNetworkProxy(QNetworkProxy::Socks5Proxy, m_setup.localProxyHost, m_setup.localProxyPort)
                 : QNetworkProxy(QNetworkProxy::NoProxy));
    m_probeSession = session;
    m_probeSessionViaProxy = viaProxy;
    return session;
}

void FRWNetworkProbe::fetchIP(const QUrl& url, bool v6, QNetworkAccessManager* session)
{
    if (!session || !url.isValid()) {
        return;
    }
    QNetworkReply* reply = session->get(probeRequest(url, m_setup.echoTimeoutMs));
    QPointer<FRWNetworkProbe> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply, v6] {
        reply->deleteLater();
        if (!self || reply->error() != QNetworkReply::NoError) {
            return;
        }
        const std::optional<QString> address = FRWEchoService::addressFrom(reply->read(1024), v6);
        if (!address) {
            return;
        }
        (v6 ? self->m_ipv6 : self->m_ipv4) = *address;
        self->m_ipUpdated = self->now();
        emit self->changed();
        if (!v6) {
            self->fetchGeoForIP(*address);
        }
    });
}

void FRWNetworkProbe::fetchGeoForIP(const QString& ipv4)
{
    // Overlapping cycles see the same address; one lookup is enough.
    if (ipv4.isEmpty() || ipv4 == m_geoIP || ipv4 == m_geoPending || !m_setup.services.geo) {
        return;
    }
    m_geoPending = ipv4;
    const std::shared_ptr<const FRWGeoService> service = m_setup.services.geo;
    QNetworkReply* reply = m_geoSession->get(probeRequest(service->lookupUrl(ipv4), m_setup.geoTimeoutMs));
    connect(reply, &QNetworkReply::finished, this, [this, reply, service, ipv4] {
        reply->deleteLater();
        if (m_geoPending == ipv4) {
            m_geoPending.clear();
        }
        if (reply->error() != QNetworkReply::NoError) {
            return;
        }
        const std::optional<FRWGeoAnswer> answer = service->parse(reply->read(qint64{64} * 1024));
        if (!answer) {
            return;
        }
        m_geoCountryCode = answer->countryCode;
        m_geoCountry = answer->country;
        m_geoCity = answer->city;
        m_geoASN = answer->asText();
        m_geoIP = ipv4;
        emit changed();
    });
}
