// Who else is logged in, asked of a logind of the test's own on a real session bus.

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QObject>

#include <gtest/gtest.h>

#include "FRWOtherAccounts.h"

struct LoginSession {
    QString id;
    uint uid = 0;
    QString user;
    QString seat;
    QDBusObjectPath path;
};
Q_DECLARE_METATYPE(LoginSession)

QDBusArgument& operator<<(QDBusArgument& argument, const LoginSession& session)
{
    argument.beginStructure();
    argument << session.id << session.uid << session.user << session.seat << session.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, LoginSession& session)
{
    argument.beginStructure();
    argument >> session.id >> session.uid >> session.user >> session.seat >> session.path;
    argument.endStructure();
    return argument;
}

namespace {

class SessionObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(QString Class READ sessionClass)
    Q_PROPERTY(QString State READ state)

public:
    SessionObject(QString sessionClass, QString state)
        : m_class(std::move(sessionClass)), m_state(std::move(state))
    {
    }
    QString sessionClass() const { return m_class; }
    QString state() const { return m_state; }

private:
    QString m_class;
    QString m_state;
};

class LoginManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QList<LoginSession> sessions;

public slots:
    QList<LoginSession> ListSessions() { return sessions; }
};

class OtherAccountsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "needs a session bus (run under dbus-run-session)";
        }
        qDBusRegisterMetaType<LoginSession>();
        qDBusRegisterMetaType<QList<LoginSession>>();
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("logind")));
        ASSERT_TRUE(bus->registerObject(QStringLiteral("/org/freedesktop/login1"), &manager,
                                        QDBusConnection::ExportAllSlots));
    }

    void TearDown() override
    {
        if (bus) {
            bus->unregisterService(QStringLiteral("org.freedesktop.login1"));
            QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        }
    }

    void session(uint uid, const QString& user, const QString& sessionClass, const QString& state)
    {
        const QString path =
            QStringLiteral("/org/freedesktop/login1/session/_%1").arg(manager.sessions.size());
        objects.push_back(std::make_unique<SessionObject>(sessionClass, state));
        ASSERT_TRUE(bus->registerObject(path, objects.back().get(), QDBusConnection::ExportAllProperties));
        manager.sessions.append({QString::number(manager.sessions.size()), uid, user, QStringLiteral("seat0"),
                                 QDBusObjectPath(path)});
    }

    // Asked from a worker, as the app does: the test's logind answers on this thread's event loop.
    static QStringList othersOf(uint ownUid)
    {
        auto answer = std::async(std::launch::async, [ownUid] {
            return FRWOtherAccounts(QDBusConnection::sessionBus(), ownUid).loggedIn();
        });
        while (answer.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        return answer.get();
    }

    LoginManager manager;
    std::vector<std::unique_ptr<SessionObject>> objects;
    std::unique_ptr<QDBusConnection> bus;
};

TEST_F(OtherAccountsTest, OnlyOtherPeoplesOpenSessionsCountEachOnce)
{
    session(1000, QStringLiteral("me"), QStringLiteral("user"), QStringLiteral("active"));
    session(1001, QStringLiteral("zoe"), QStringLiteral("user"), QStringLiteral("online"));
    session(1001, QStringLiteral("zoe"), QStringLiteral("user"), QStringLiteral("active"));
    session(1002, QStringLiteral("alice"), QStringLiteral("user"), QStringLiteral("active"));
    session(120, QStringLiteral("gdm"), QStringLiteral("greeter"), QStringLiteral("online"));
    session(1003, QStringLiteral("gone"), QStringLiteral("user"), QStringLiteral("closing"));
    session(0, QStringLiteral("root"), QStringLiteral("user"), QStringLiteral("active"));
    ASSERT_TRUE(bus->registerService(QStringLiteral("org.freedesktop.login1")));

    EXPECT_EQ(othersOf(1000), (QStringList{"alice", "zoe"}));
    EXPECT_EQ(othersOf(1001), (QStringList{"alice", "me"}));
}

TEST_F(OtherAccountsTest, NoLogindIsNobodyElse)
{
    session(1002, QStringLiteral("alice"), QStringLiteral("user"), QStringLiteral("active"));
    // The service name is never taken: nothing answers.
    EXPECT_TRUE(othersOf(1000).isEmpty());
}

} // namespace

#include "OtherAccountsTests.moc"
