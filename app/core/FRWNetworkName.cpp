#include "FRWNetworkName.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>

#include "FRWProbeText.h"

namespace {

constexpr char kService[] = "org.freedesktop.NetworkManager";
constexpr int kCallTimeoutMs = 1000;
constexpr uint kDeviceTypeWifi = 2;

} // namespace

FRWNetworkName::FRWNetworkName(QDBusConnection bus, QString sysfsNet)
    : m_bus(std::move(bus)), m_sysfsNet(std::move(sysfsNet))
{
}

FRWNetworkName FRWNetworkName::system()
{
    return {QDBusConnection::systemBus(), QStringLiteral("/sys/class/net")};
}

bool FRWNetworkName::isWirelessLink(const QString& interface) const
{
    if (interface.contains(u'/') || interface.startsWith(u'.')) {
        return false;
    }
    return QFileInfo::exists(m_sysfsNet + u'/' + interface + QStringLiteral("/wireless")) ||
           QFileInfo::exists(m_sysfsNet + u'/' + interface + QStringLiteral("/phy80211"));
}

QString FRWNetworkName::displayNameFor(const QString& interface) const
{
    if (interface.isEmpty()) {
        return FRWProbeText::none();
    }
    QString wifi = QStringLiteral("Wi-Fi");
    QString wired = QStringLiteral("Internet");
    const auto call = [this](const QString& path, const QString& interfaceName, const QString& method,
                             const QVariantList& arguments) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QLatin1String(kService), path, interfaceName, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, kCallTimeoutMs);
    };
    const auto property = [&call](const QString& path, const QString& owner, const QString& name) {
        const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {owner, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return QVariant();
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
    };

    const QDBusMessage device =
        call(QStringLiteral("/org/freedesktop/NetworkManager"), QLatin1String(kService),
             QStringLiteral("GetDeviceByIpIface"), {interface});
    if (!m_bus.isConnected() || device.type() != QDBusMessage::ReplyMessage || device.arguments().isEmpty()) {
        // Without NetworkManager the kernel still knows which links are wireless.
        return isWirelessLink(interface) ? wifi : wired;
    }
    const QString devicePath = qvariant_cast<QDBusObjectPath>(device.arguments().constFirst()).path();
    const QVariant type = property(devicePath, QStringLiteral("org.freedesktop.NetworkManager.Device"),
                                   QStringLiteral("DeviceType"));
    if (!type.isValid()) {
        return isWirelessLink(interface) ? wifi : wired;
    }
    if (type.toUInt() != kDeviceTypeWifi) {
        return wired;
    }
    const QVariant accessPoint =
        property(devicePath, QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"),
                 QStringLiteral("ActiveAccessPoint"));
    const QString accessPointPath = qvariant_cast<QDBusObjectPath>(accessPoint).path();
    if (accessPointPath.isEmpty() || accessPointPath == u"/") {
        return wifi;
    }
    const QByteArray ssid =
        property(accessPointPath, QStringLiteral("org.freedesktop.NetworkManager.AccessPoint"),
                 QStringLiteral("Ssid"))
            .toByteArray();
    const QString name = QString::fromUtf8(ssid).trimmed();
    return name.isEmpty() ? wifi : name;
}
