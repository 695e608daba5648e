#pragma once

#include <QDBusConnection>
#include <QString>

/// The name of the network an interface is on, as the screens show it: the Wi-Fi network's name
/// from NetworkManager, "Wi-Fi" when that cannot be read, "Internet" for a wired link and "—" for
/// no interface. Linux needs no location permission for the name. Blocking (D-Bus calls of up to a
/// second each): call it on a worker thread.
class FRWNetworkName {
public:
    /// `bus` is where NetworkManager answers (the system bus); `sysfsNet` is where the kernel lists
    /// links ("/sys/class/net"), used when NetworkManager does not answer.
    FRWNetworkName(QDBusConnection bus, QString sysfsNet);

    static FRWNetworkName system();

    QString displayNameFor(const QString& interface) const;

private:
    /// Whether the kernel calls the link wireless.
    bool isWirelessLink(const QString& interface) const;

    QDBusConnection m_bus;
    QString m_sysfsNet;
};
