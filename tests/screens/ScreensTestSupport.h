#pragma once

#include <memory>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "FRWAppModel.h"
#include "FRWAppPaths.h"
#include "FRWProfileStore.h"
#include "FRWScreens.h"
#include "FRWTakeoverSettings.h"
#include "FRWViewController.h"
#include "LoopbackHttpServer.h"
#include "ManualTimerSource.h"
#include "ModelTestSupport.h"
#include "TemporaryHome.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

/// The tunnel layer's settings, kept in memory; gateway changes are recorded.
class MemoryTakeover : public FRWTakeoverSettings {
public:
    bool allowLAN() const override { return lan; }
    bool gatewayMode() const override { return gateway; }
    void setGatewayMode(bool enabled) override
    {
        gateway = enabled;
        gatewayCalls << enabled;
    }
    QString lanIPv4() const override { return address; }

    bool lan = false;
    bool gateway = false;
    QString address;
    QList<bool> gatewayCalls;
};

/// A real model polling a scripted controller on loopback (which also answers the address probes),
/// a real profile library in a temporary home, and the pages' alerts kept instead of shown.
class ScreensTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.setResponseFor("/ip", 200, "203.0.113.7");
        controller.setResponseFor("/ipinfo", 200,
                                  R"({"country":"NL","country_name":"Netherlands","city":"Amsterdam",)"
                                  R"("asn":"AS1136","as_name":"KPN"})");
        answer("/status", R"({"running":true,"uplink":0,"downlink":0})");
        answer("/connections", "[]");
        answer("/stats", "{}");
        answer("/outbound", R"({"mode":"rule","global":"","nodes":[]})");
        answer("/groups", "[]");
        answer("/logs", R"({"capacity":100,"lines":[],"cursor":0})");
        answer("/socks", R"({"running":false,"address":""})");
        listener.listen(QHostAddress::LocalHost, 0);
        apiInfoPath = QString::fromStdString((home.root() / "api-info.json").string());
        model = std::make_unique<FRWAppModel>(modelSetup());
        profiles = std::make_unique<FRWProfileStore>(FRWAppPaths::fromEnvironment());
        profiles->load();
    }

    FRWAppModelSetup modelSetup()
    {
        FRWAppModelSetup s =
            loopbackModelSetup(tunnel, clock, alerts, QString::fromStdString(home.configHome().string()),
                               QUrl(QString::fromStdString("http://" + controller.address())));
        s.probes.services.connectPort = listener.serverPort();
        s.probes.services.dnsPort = ferrow::test::freePort();
        s.probes.networkName = [](const QString&) { return QStringLiteral("Home Network"); };
        return s;
    }

    /// Points the model at the scripted controller.
    void connectCore(const std::string& secret = "first")
    {
        ferrow::test::writeFile(apiInfoPath.toStdString(), R"({"address":")" + controller.address() +
                                                               R"(","secret":")" + secret + R"("})");
        tunnel.apiInfoPath = apiInfoPath;
    }

    void answer(const std::string& path, const std::string& json)
    {
        controller.setResponseFor(path, 200, json);
    }
    void answer(const std::string& path, const QJsonArray& json)
    {
        answer(path, QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString());
    }

    /// One full poll of the controller; the model has published by the time it returns.
    void poll() { ASSERT_TRUE(pollOnce(*model)); }

    FRWScreensContext context()
    {
        FRWScreensContext c;
        c.model = model.get();
        c.profiles = profiles.get();
        c.takeover = &takeover;
        c.presenter = &alerts;
        c.clock = &clock;
        c.timers = &timers;
        return c;
    }

    /// Loads a page's view in a shown window of the main window's page size.
    template <typename Page>
    std::unique_ptr<Page> load(std::unique_ptr<Page> page)
    {
        QWidget* view = page->view();
        view->resize(732, 726);
        view->show();
        QCoreApplication::processEvents();
        return page;
    }

    ferrow::test::TemporaryHome home;
    ferrow::test::LoopbackHttpServer controller;
    QTcpServer listener;
    ScriptedTunnel tunnel;
    ManualClock clock;
    ferrow::test::ManualTimerSource timers;
    KeptAlerts alerts;
    MemoryTakeover takeover;
    QString apiInfoPath;
    std::unique_ptr<FRWAppModel> model;
    std::unique_ptr<FRWProfileStore> profiles;
};
