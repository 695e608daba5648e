#pragma once

#include <memory>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWHelperInstaller.h"
#include "FRWProfileStore.h"
#include "FRWTunnelController.h"
#include "HelperFixture.h"
#include "HelperTestHost.h"
#include "RecordingProxyBackend.h"
#include "TemporaryHome.h"

namespace ferrow::test {

/// A stand-in helper that answers getVersion with a chosen version and records every request.
class FakeHelper : public QObject {
public:
    FakeHelper(const QString& path, qint64 version) : m_version(version)
    {
        QLocalServer::removeServer(path);
        m_server.listen(path);
        QObject::connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine()) {
                        const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
                        requests.append(request);
                        QJsonObject reply{{"id", request.value("id")}};
                        if (request.value("method") == "getVersion") {
                            reply.insert("version", m_version);
                        } else {
                            reply.insert("error", QJsonValue::Null);
                        }
                        socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
                    }
                });
            }
        });
    }

    QList<QJsonObject> requests;

private:
    QLocalServer m_server;
    qint64 m_version;
};

/// A tunnel controller whose helper lives in a temporary "system" folder (named with quotes and
/// a backslash), installed by the real scripts through a fake pkexec and a fake systemctl.
class EnhancedModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = QString::fromStdString(home.root().string()) + QStringLiteral("/sys it's \"odd\" \\ here");
        tools = QString::fromStdString(home.root().string()) + QStringLiteral("/tools");
        QDir().mkpath(root + "/bundle");
        QDir().mkpath(tools);
        writeTool(tools + "/pkexec",
                  QStringLiteral("#!/bin/bash\n"
                                 "echo run >> %1/pkexec.log\n"
                                 "[ -e %1/pkexec-cancel ] && exit 126\n"
                                 "[ -e %1/pkexec-refuse ] && exit 127\n"
                                 "[ -e %1/pkexec-skip ] && exit 0\n"
                                 "[ -e %1/before-run ] && . %1/before-run\n"
                                 "err=$(\"$@\" 2>&1 >/dev/null); status=$?\n"
                                 "[ -n \"$err\" ] && printf '%s\\n' \"$err\" | tee -a %1/stderr >&2\n"
                                 "exit $status\n")
                      .arg(FRWHelperInstaller::shellQuoted(tools)));
        writeTool(tools + "/systemctl",
                  QStringLiteral("#!/bin/bash\n"
                                 "echo \"$*\" >> %1/systemctl.log\n"
                                 "if [ \"$2\" = --property=FragmentPath ]; then\n"
                                 "  [ -e %1/systemd-down ] && exit 1\n"
                                 "  cat %1/fragment-\"${@: -1}\" 2>/dev/null; exit 0\n"
                                 "fi\n"
                                 "if [ \"$1\" = show ]; then\n"
                                 "  cat %1/state-\"${@: -1}\" 2>/dev/null || echo inactive\n"
                                 "fi\n"
                                 "exit 0\n")
                      .arg(FRWHelperInstaller::shellQuoted(tools)));
        ASSERT_TRUE(copySigned(FERROW_HELPER_BINARY, (root + "/bundle/ferrow-helper").toStdString(),
                               "zq.orbel.ferrow-mac.helper", signingKeyPem()));

        layout.helperSource = root + "/bundle/ferrow-helper";
        layout.installedHelperPath = root + "/usr/local/libexec/zq.orbel.ferrow-mac.helper";
        layout.socketUnitPath = root + "/etc/systemd/system/zq.orbel.ferrow-mac.helper.socket";
        layout.serviceUnitPath = root + "/etc/systemd/system/zq.orbel.ferrow-mac.helper.service";
        layout.stagedCorePath = root + "/usr/local/libexec/zq.orbel.ferrow-mac.core";
        layout.socketPath = QString::fromStdString(home.root().string()) + "/no-helper.sock";
        layout.pkexecPath = tools + "/pkexec";
        layout.systemctlPath = tools + "/systemctl";
        layout.opensslPath = QStringLiteral("openssl");
        layout.owner = QStringLiteral("%1:%2").arg(::geteuid()).arg(::getegid());
        layout.makerPublicKeyPem = QString::fromStdString(testPublicKeyPem());
        layout.polkitPolicyPath = root + "/usr/share/polkit-1/actions/zq.orbel.ferrow-mac.helper.policy";
        layout.stateDirectory = root + "/var/lib/ferrow";
        layout.coreStateDirectory = root + "/var/lib/ferrow-core";
        layout.packagedHelperPath = root + "/usr/libexec/ferrow/ferrow-helper";
        layout.packagedUnitDirectories = {root + "/lib/systemd/system", root + "/usr/lib/systemd/system"};
        writeTool(tools + "/dpkg-query", QStringLiteral("#!/bin/sh\necho \"$*\" >> %1/dpkg-query.log\n"
                                                        "echo 1.4.0-1\n")
                                             .arg(FRWHelperInstaller::shellQuoted(tools)));
        layout.dpkgQueryPath = tools + "/dpkg-query";

        profiles = std::make_unique<FRWProfileStore>(paths);
        profiles->load();
        profiles->activeProfile()->configText = QString::fromLatin1(kTestProfile);
        profiles->save();
        makeController();
    }

    void TearDown() override { controller.reset(); }

    void makeController()
    {
        FRWTunnelEnvironment env;
        env.profiles = profiles.get();
        env.settingsFile = paths.settingsFile;
        env.supportFolder = paths.supportFolder;
        env.corePath = QString::fromStdString(builtCorePath());
        env.helperAPIInfoPath = QString::fromStdString(home.root().string()) + "/run/ferrow/api-info.json";
        env.proxyBackend = std::make_shared<RecordingProxyBackend>();
        env.helper = layout;
        env.helperStopRequestTimeoutMs = 3000;
        if (host) {
            env.helperAPIInfoPath = QString::fromStdString(host->config().apiInfoPath);
        }
        controller = std::make_unique<FRWTunnelController>(std::move(env));
    }

    /// Starts the real helper service and points the controller at it.
    void useRealHelper()
    {
        host = std::make_unique<HelperTestHost>();
        layout.socketPath = QString::fromStdString(host->socketPath());
        pretendInstalled();
        makeController();
    }

    /// What systemd answers for the helper's socket unit's file.
    void systemdLoadsSocketFrom(const QString& unitFile)
    {
        writeText(tools + "/fragment-zq.orbel.ferrow-mac.helper.socket", unitFile + "\n");
    }

    /// The system package's helper and units, as the package puts them.
    void pretendPackaged()
    {
        for (const QString& file :
             {layout.packagedHelperPath,
              layout.packagedUnitDirectories.first() + "/zq.orbel.ferrow-mac.helper.socket",
              layout.packagedUnitDirectories.first() + "/zq.orbel.ferrow-mac.helper.service"}) {
            writeText(file, "x");
        }
    }

    /// The files whose presence means "installed", without running the install script.
    void pretendInstalled()
    {
        for (const QString& file :
             {layout.installedHelperPath, layout.socketUnitPath, layout.serviceUnitPath}) {
            writeText(file, "x");
        }
    }

    static void writeTool(const QString& path, const QString& text)
    {
        writeText(path, text);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                        QFileDevice::ReadOther | QFileDevice::ExeOther);
    }

    static void writeText(const QString& path, const QString& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(text.toUtf8());
    }

    static QString readText(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    int pkexecRuns() const { return readText(tools + "/pkexec.log").count(QStringLiteral("run")); }
    QStringList systemctlCalls() const
    {
        return readText(tools + "/systemctl.log").split(u'\n', Qt::SkipEmptyParts);
    }

    /// Runs an operation that completes with a result and waits (bounded) for its one completion.
    FRWResult await(const std::function<void(std::function<void(FRWResult)>)>& operation)
    {
        int calls = 0;
        FRWResult result;
        operation([&](FRWResult r) {
            ++calls;
            result = std::move(r);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 30000)) << "no completion";
        QTest::qWait(50);
        EXPECT_EQ(calls, 1) << "completion called more than once";
        return result;
    }

    bool awaitCurrent()
    {
        int calls = 0;
        bool current = true;
        controller->helperIsCurrent([&](bool c) {
            ++calls;
            current = c;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 15000));
        QTest::qWait(100);
        EXPECT_EQ(calls, 1) << "helperIsCurrent completed more than once";
        return current;
    }

    TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    QString root;
    QString tools;
    FRWHelperLayout layout;
    std::unique_ptr<FRWProfileStore> profiles;
    std::unique_ptr<HelperTestHost> host;
    std::unique_ptr<FRWTunnelController> controller;
};

} // namespace ferrow::test
