#include "FRWDeviceViewController.h"

#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWAppearance.h"
#include "FRWClientRowDelegate.h"
#include "FRWPlatformTerms.h"
#include "FRWScreenText.h"
#include "FRWSwitch.h"
#include "FRWSymbols.h"
#include "FRWTakeoverSettings.h"
#include "FRWTheme.h"

// Outside any namespace: the resource initialiser is declared where this macro stands.
static void initScreenResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ferrow_screens_resources);
        return true;
    }();
    (void)done;
}

namespace {
const QString kPublicResolver = QStringLiteral("1.1.1.1");
// The tunnel's own IPv6 addresses: fdfe:dcba:9876::/48.
constexpr quint8 kTunnelPrefix[] = {0xfd, 0xfe, 0xdc, 0xba, 0x98, 0x76};

QString thisComputer()
{
    return FRWPlatformTerms::term(FRWPlatformTerms::kThisComputer);
}
} // namespace

FRWDeviceViewController::FRWDeviceViewController(FRWScreensContext context, QObject* parent)
    : FRWClientsViewController(tr("Device"), context, parent)
{
    initScreenResources();
}

bool FRWDeviceViewController::isDeviceAddress(const QString& address)
{
    if (address.isEmpty() || address.startsWith(QLatin1String("127.")) ||
        address.startsWith(QLatin1String("172.19."))) {
        return false;
    }
    QHostAddress parsed;
    if (parsed.setAddress(address) && parsed.protocol() == QAbstractSocket::IPv6Protocol) {
        if (parsed.isLoopback()) {
            return false;
        }
        // An IPv4 address written in IPv6 form is judged as the IPv4 address it is.
        bool mapped = false;
        const quint32 v4 = parsed.toIPv4Address(&mapped);
        if (mapped) {
            return isDeviceAddress(QHostAddress(v4).toString());
        }
        const Q_IPV6ADDR bytes = parsed.toIPv6Address();
        if (std::equal(std::begin(kTunnelPrefix), std::end(kTunnelPrefix), bytes.c)) {
            return false;
        }
    }
    return true;
}

QString FRWDeviceViewController::keyForHistoryName(const QString& name) const
{
    return keyForConnection(QJsonObject{{QStringLiteral("srcip"), name}});
}

QString FRWDeviceViewController::keyForConnection(const QJsonObject& connection) const
{
    const QString source = FRWScreenText::stringOf(connection, "srcip");
    return isDeviceAddress(source) ? source : QString();
}

QIcon FRWDeviceViewController::iconForKey(const QString& /*key*/)
{
    if (m_icon.isNull()) {
        m_icon = FRWSymbols::themedIcon(QStringLiteral("wifi.router.fill"), FRWTheme::statusBlue());
    }
    return m_icon;
}

QWidget* FRWDeviceViewController::makeFooter()
{
    auto* footer = new QWidget;
    footer->setObjectName(QStringLiteral("gatewayFooter"));
    auto* layout = new QVBoxLayout(footer);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(6);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    auto* title = new QLabel(tr("Gateway Mode"));
    title->setFont(FRWTheme::font(15));
    FRWTheme::bindTextColor(title, FRWTheme::primaryText());
    top->addWidget(title);
    m_gatewaySwitch = new FRWSwitch;
    m_gatewaySwitch->setObjectName(QStringLiteral("gatewaySwitch"));
    m_gatewaySwitch->setAccessibleName(tr("Gateway Mode"));
    top->addWidget(m_gatewaySwitch);
    top->addStretch(1);
    auto* gear = new QToolButton;
    gear->setObjectName(QStringLiteral("gatewaySettingsButton"));
    gear->setAutoRaise(true);
    gear->setIcon(FRWSymbols::themedIcon(QStringLiteral("gearshape"), FRWTheme::secondaryLabel()));
    gear->setIconSize(QSize(16, 16));
    gear->setAccessibleName(tr("Gateway settings"));
    gear->setToolTip(tr("Gateway settings"));
    top->addWidget(gear);
    layout->addLayout(top);
    auto* text = new QLabel(tr("Point another device's default gateway at %1 and its traffic is proxied by "
                               "rule. Set that device's DNS manually too, or its IPv6 will bypass the "
                               "proxy.")
                                .arg(thisComputer()));
    text->setWordWrap(true);
    text->setFont(FRWTheme::font(12));
    FRWTheme::bindTextColor(text, FRWTheme::secondaryLabel());
    layout->addWidget(text);

    connect(m_gatewaySwitch, &FRWSwitch::clicked, this, &FRWDeviceViewController::toggleGateway);
    connect(gear, &QToolButton::clicked, this, &FRWDeviceViewController::showGatewaySettings);
    return footer;
}

void FRWDeviceViewController::didRefresh()
{
    if (m_gatewaySwitch) {
        m_gatewaySwitch->setChecked(context().takeover && context().takeover->gatewayMode());
    }
}

void FRWDeviceViewController::toggleGateway(bool on)
{
    if (context().takeover) {
        context().takeover->setGatewayMode(on);
    }
    didRefresh();
    if (context().model->enhancedRunning()) {
        presentScreenAlert(context(), tr("Reconnect Enhanced Mode to apply"),
                           tr("Gateway mode takes effect the next time Enhanced Mode starts."));
    }
}

QString FRWDeviceViewController::gatewaySettingsText(const QString& lanIPv4)
{
    return tr("On the device you want to proxy, set:\n\n"
              "    Router / Gateway:  %1\n"
              "    DNS:  %2  (manual, not automatic)\n\n"
              "The DNS entry is not optional. A manual gateway only redirects IPv4; the device still "
              "learns its IPv6 router from the network, so with automatic DNS its IPv6 traffic goes "
              "straight out and never reaches %3.")
        .arg(lanIPv4.isEmpty() ? tr("%1's LAN IP").arg(thisComputer()) : lanIPv4, kPublicResolver,
             thisComputer());
}

void FRWDeviceViewController::showGatewaySettings()
{
    const QString lan = context().takeover ? context().takeover->lanIPv4() : QString();
    presentScreenAlert(context(), tr("Gateway Mode"), gatewaySettingsText(lan));
}
