#include "FRWOverviewViewController.h"

#include <utility>

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWOverviewCard.h"
#include "FRWPlatformTerms.h"
#include "FRWSwitch.h"
#include "FRWTakeoverSettings.h"
#include "FRWTheme.h"

namespace {
const QString kPublicResolver = QStringLiteral("1.1.1.1");

QString thisComputer()
{
    return FRWPlatformTerms::term(FRWPlatformTerms::kThisComputer);
}

QLabel* sectionHeader(const QString& text, const FRWDynamicColor& color)
{
    auto* label = new QLabel(text.toUpper());
    label->setFont(FRWTheme::font(11, QFont::Bold));
    FRWTheme::bindTextColor(label, color);
    return label;
}

QString lanAddress(const FRWScreensContext& context)
{
    return context.takeover ? context.takeover->lanIPv4() : QString();
}
} // namespace

FRWOverviewViewController::FRWOverviewViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Overview"), parent), m_context(std::move(context))
{
}

void FRWOverviewViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();

    const auto section = [content](const QString& header, const FRWDynamicColor& color,
                                   const QList<FRWOverviewCard*>& cards) {
        content->addSpacing(22);
        content->addWidget(sectionHeader(header, color));
        content->addSpacing(10);
        auto* row = new QHBoxLayout;
        row->setSpacing(16);
        for (FRWOverviewCard* card : cards) {
            row->addWidget(card, 1);
        }
        content->addLayout(row);
    };

    m_systemProxy = new FRWOverviewCard(tr("System Proxy"),
                                        tr("Most apps' traffic is captured through the system HTTP/SOCKS "
                                           "proxy. Best compatibility and performance."));
    m_systemProxy->setObjectName(QStringLiteral("systemProxyCard"));
    m_enhanced = new FRWOverviewCard(tr("Enhanced Mode"),
                                     tr("Some apps ignore the system proxy. Enhanced Mode forces all "
                                        "their traffic through the tunnel."));
    m_enhanced->setObjectName(QStringLiteral("enhancedCard"));
    m_lan = new FRWOverviewCard(tr("HTTP & SOCKS5 Proxy"),
                                tr("Act as a standard HTTP and SOCKS5 proxy for other devices on the "
                                   "same local network."));
    m_lan->setObjectName(QStringLiteral("lanCard"));
    m_gateway = new FRWOverviewCard(tr("Gateway Mode"),
                                    tr("LAN devices that point their default gateway at %1 are "
                                       "proxied by rule. Also set their DNS manually, or IPv6 bypasses "
                                       "the proxy.")
                                        .arg(thisComputer()));
    m_gateway->setObjectName(QStringLiteral("gatewayCard"));
    m_remote = new FRWOverviewCard(QStringLiteral("Ferrow Varnel"),
                                   tr("A private network between your devices running Ferrow, so you can "
                                      "reach %1's proxy from anywhere. Coming soon.")
                                       .arg(thisComputer()));
    m_remote->setObjectName(QStringLiteral("remoteCard"));

    section(tr("Network Takeover"), FRWTheme::magentaText(), {m_systemProxy, m_enhanced});
    section(tr("LAN Device Takeover"), FRWTheme::indigoText(), {m_lan, m_gateway});
    section(tr("Remote Connectivity"), FRWTheme::accentBlueText(), {m_remote});
    content->addSpacing(28);

    FRWAppModel* model = m_context.model;
    connect(m_systemProxy, &FRWOverviewCard::toggled, model, [model] { model->toggleSystemProxy(); });
    connect(m_enhanced, &FRWOverviewCard::toggled, model, [model] { model->toggle(); });
    connect(m_lan, &FRWOverviewCard::toggled, this, &FRWOverviewViewController::toggleLocalProxy);
    connect(m_gateway, &FRWOverviewCard::toggled, this, &FRWOverviewViewController::toggleGateway);
    connect(m_remote, &FRWOverviewCard::toggled, this, &FRWOverviewViewController::toggleRemote);
    connect(model, &FRWAppModel::didUpdate, this, &FRWOverviewViewController::refresh);
    refresh();
}

void FRWOverviewViewController::refresh()
{
    if (!m_systemProxy) {
        return;
    }
    const FRWAppModel& model = *m_context.model;
    const FRWDynamicColor green = FRWTheme::statusGreen();
    const FRWDynamicColor orange = FRWTheme::statusOrange();

    const bool systemProxy = model.systemProxyRunning();
    m_systemProxy->toggle()->setChecked(systemProxy);
    m_systemProxy->setStatus(systemProxy ? tr("Running \u00B7 127.0.0.1:7891") : tr("Not set"),
                             systemProxy ? green : orange);

    const bool enhanced = model.enhancedRunning();
    m_enhanced->toggle()->setChecked(enhanced);
    m_enhanced->setStatus(enhanced ? tr("Enabled") : tr("Disabled"), enhanced ? green : orange);

    const bool local = model.localProxyRunning();
    m_lan->toggle()->setChecked(local);
    m_lan->toggle()->setEnabled(model.running());
    if (local) {
        const QString address = model.localProxyAddress();
        QString status;
        if (address.startsWith(QLatin1String("0.0.0.0"))) {
            const QString lan = lanAddress(m_context);
            status =
                tr("Sharing on %1").arg(QStringLiteral("%1:7891").arg(lan.isEmpty() ? thisComputer() : lan));
        } else {
            status = tr("Running on %1").arg(address);
        }
        m_lan->setStatus(status, green);
    } else {
        m_lan->setStatus(model.running() ? tr("Off") : tr("Needs the tunnel running"), orange);
    }

    const bool gateway = m_context.takeover && m_context.takeover->gatewayMode();
    m_gateway->toggle()->setChecked(gateway);
    m_gateway->setStatus(gateway ? tr("Transparent gateway on") : tr("Not configured"),
                         gateway ? green : orange);

    m_remote->toggle()->setChecked(false);
    m_remote->setStatus(tr("Not available yet"), orange);
}

void FRWOverviewViewController::toggleLocalProxy(bool on)
{
    const bool lanAllowed = m_context.takeover && m_context.takeover->allowLAN();
    m_context.model->setLocalProxyEnabled(on, lanAllowed ? QStringLiteral("0.0.0.0:7891")
                                                         : QStringLiteral("127.0.0.1:7891"));
    refresh();
    // A listener on the loopback address serves only this machine: telling the user that other
    // devices can use it would be untrue.
    if (on && lanAllowed) {
        const QString lan = lanAddress(m_context);
        presentScreenAlert(
            m_context, tr("Other devices can use %1 as a proxy").arg(thisComputer()),
            tr("Point them at  %1:7891  (HTTP or SOCKS5).\n\nAnyone who can reach that port can use your "
               "nodes, so leave it off on networks you do not control.")
                .arg(lan.isEmpty() ? tr("%1's IP").arg(thisComputer()) : lan));
    }
}

QString FRWOverviewViewController::gatewayNoteDetail(const QString& lanIPv4, bool enhancedRunning)
{
    QString detail = tr("On the other device, set its default gateway to  %1  and its DNS to a public "
                        "resolver such as ")
                         .arg(lanIPv4.isEmpty() ? tr("%1's LAN IP").arg(thisComputer()) : lanIPv4) +
                     kPublicResolver +
                     tr(" \u2014 not \"automatic\".\n\nWithout the DNS change the device keeps using the "
                        "network's own IPv6 router, and its IPv6 traffic bypasses the proxy entirely.");
    detail += enhancedRunning
                  ? tr("\n\nReconnect Enhanced Mode to apply.")
                  : tr("\n\nEnhanced Mode is off \u2014 gateway mode does nothing until it is on.");
    return detail;
}

void FRWOverviewViewController::toggleGateway(bool on)
{
    if (m_context.takeover) {
        m_context.takeover->setGatewayMode(on);
    }
    refresh();
    if (on) {
        presentScreenAlert(m_context, tr("Route another device through %1").arg(thisComputer()),
                           gatewayNoteDetail(lanAddress(m_context), m_context.model->enhancedRunning()));
    }
}

void FRWOverviewViewController::toggleRemote(bool on)
{
    if (on) {
        presentScreenAlert(m_context, tr("Ferrow Varnel isn\u2019t available yet"),
                           tr("A private network between your own devices \u2014 so you can reach "
                              "%1\u2019s proxy from anywhere \u2014 is still being built. This switch will "
                              "start working once it ships.")
                               .arg(thisComputer()));
    }
    refresh();
}
