#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWColorSchemePortal.h"
#include "PrivateBus.h"

using ferrow::test::PrivateBus;

namespace {
// A stand-in for the desktop portal's settings interface, served on a private bus.
class FakePortalSettings : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 1;

public slots:
    // The portal's Read wraps the value in a second variant.
    QDBusVariant Read(const QString& ns, const QString& key)
    {
        if (ns == "org.freedesktop.appearance" && key == "color-scheme") {
            return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QString())));
    }
};

void sendSettingChanged(QDBusConnection& service, const QString& ns, const QString& key, uint value)
{
    QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/portal/desktop",
                                                     "org.freedesktop.portal.Settings", "SettingChanged");
    signal << ns << key << QVariant::fromValue(QDBusVariant(value));
    service.send(signal);
}

} // namespace

TEST(ColorSchemePortal, ReadsTheCurrentSchemeAndFollowsChanges)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection service = bus.connect("portal-service");
    ASSERT_TRUE(service.isConnected());
    FakePortalSettings settings;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/portal/desktop", &settings,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.portal.Desktop"));

    FRWColorSchemePortal portal(bus.connect("portal-client"));
    QSignalSpy schemes(&portal, &FRWColorSchemePortal::colorSchemeChanged);
    portal.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return schemes.count() >= 1; }, 5000));
    EXPECT_EQ(schemes.at(0).at(0).toUInt(), 1u);

    sendSettingChanged(service, "org.freedesktop.other", "color-scheme", 2);
    sendSettingChanged(service, "org.freedesktop.appearance", "accent-color", 2);
    sendSettingChanged(service, "org.freedesktop.appearance", "color-scheme", 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return schemes.count() >= 2; }, 5000));
    QTest::qWait(100);
    ASSERT_EQ(schemes.count(), 2) << "other settings are not colour schemes";
    EXPECT_EQ(schemes.at(1).at(0).toUInt(), 2u);
}

TEST(ColorSchemePortal, SilentWithoutAPortal)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    FRWColorSchemePortal portal(bus.connect("lonely-client"));
    QSignalSpy schemes(&portal, &FRWColorSchemePortal::colorSchemeChanged);
    portal.start();
    QTest::qWait(300);
    EXPECT_EQ(schemes.count(), 0);
}

TEST(ColorSchemePortal, DisconnectedBusIsHarmless)
{
    FRWColorSchemePortal portal(
        QDBusConnection::connectToBus("unix:path=/nonexistent/ferrow-bus", "nowhere"));
    QSignalSpy schemes(&portal, &FRWColorSchemePortal::colorSchemeChanged);
    portal.start();
    QTest::qWait(50);
    EXPECT_EQ(schemes.count(), 0);
    QDBusConnection::disconnectFromBus("nowhere");
}

#include "PortalTests.moc"
