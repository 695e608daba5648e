#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWUpdateChecker.h"
#include "LoopbackHttpServer.h"

using namespace ferrow::test;

TEST(UpdateChecker, TheNewestItemOfTheFeedWinsByVersionNumber)
{
    const QByteArray feed = R"(<?xml version="1.0"?>
<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle" version="2.0"><channel>
  <item><title>0.9</title><enclosure url="https://example.invalid/0.9" sparkle:version="0.9"/></item>
  <item><title>0.10</title><sparkle:version>0.10</sparkle:version>
        <sparkle:shortVersionString>0.10 beta</sparkle:shortVersionString>
        <link>https://example.invalid/0.10</link></item>
  <item><title>no version</title></item>
</channel></rss>)";
    const auto newest = FRWUpdateChecker::newestRelease(feed);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "0.10");
    EXPECT_EQ(newest->displayVersion, "0.10 beta");
    EXPECT_EQ(newest->link.toString(), "https://example.invalid/0.10");
    EXPECT_TRUE(FRWUpdateChecker::isNewer("0.10", "0.9"));
    EXPECT_FALSE(FRWUpdateChecker::isNewer("0.1.0", "0.1.0"));
    EXPECT_FALSE(FRWUpdateChecker::isNewer("garbage", "0.1.0"));
    EXPECT_FALSE(FRWUpdateChecker::newestRelease("<rss><channel><item>"));
    EXPECT_FALSE(FRWUpdateChecker::newestRelease("<html>captive portal</html>"));
}

TEST(UpdateChecker, AUserCheckTellsTheResultEvenWithNothingNew)
{
    LoopbackHttpServer feed;
    feed.setResponse(200, R"(<rss><channel><item><version>0.1.0</version></item></channel></rss>)",
                     "application/rss+xml");
    FRWUpdateChecker checker(QUrl(QString::fromStdString("http://" + feed.address() + "/appcast.xml")),
                             "0.1.0");
    QSignalSpy checked(&checker, &FRWUpdateChecker::checked);
    checker.checkForUpdates(nullptr);
    ASSERT_TRUE(checked.wait(10000));
    EXPECT_FALSE(checked[0][0].value<std::optional<FRWUpdateChecker::Release>>());
    EXPECT_TRUE(checked[0][1].toString().isEmpty());
    // Asked for by the user, the answer is shown even when there is nothing new.
    QMessageBox* shown = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            shown = box;
        }
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text(), QString("You\u2019re up-to-date!"));
    shown->close();
}

TEST(UpdateChecker, AUserCheckDuringTheQuietOneIsAnswered)
{
    // A feed that answers only when the test says so, so the quiet check is surely under way.
    QTcpServer feed;
    ASSERT_TRUE(feed.listen(QHostAddress::LocalHost));
    FRWUpdateChecker checker(QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(feed.serverPort())),
                             "0.1.0", 0);
    QSignalSpy checked(&checker, &FRWUpdateChecker::checked);
    checker.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return feed.hasPendingConnections(); }, 10000));
    QTcpSocket* quiet = feed.nextPendingConnection();
    ASSERT_TRUE(quiet);
    checker.checkForUpdates(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return quiet->canReadLine(); }, 10000));
    const QByteArray body = R"(<rss><channel><item><version>0.1.0</version></item></channel></rss>)";
    quiet->write(
        "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nConnection: close\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    quiet->flush();
    ASSERT_TRUE(checked.wait(10000));
    QMessageBox* shown = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            shown = box;
        }
    }
    ASSERT_TRUE(shown) << "the user's check went unanswered";
    EXPECT_EQ(shown->text(), QString("You\u2019re up-to-date!"));
    shown->close();
    EXPECT_EQ(checked.size(), 1);
}

TEST(UpdateChecker, AQuietCheckTurnedOffReadsNothingAndTheUsersOwnStillWorks)
{
    LoopbackHttpServer feed;
    feed.setResponse(200, R"(<rss><channel><item><version>0.1.0</version></item></channel></rss>)",
                     "application/rss+xml");
    FRWUpdateChecker checker(QUrl(QString::fromStdString("http://" + feed.address() + "/appcast.xml")),
                             "0.1.0", 0);
    bool asked = false;
    checker.setQuietCheckAllowed([&asked] {
        asked = true;
        return false;
    });
    checker.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked; }, 5000));
    QSignalSpy checked(&checker, &FRWUpdateChecker::checked);
    checker.checkForUpdates(nullptr);
    ASSERT_TRUE(checked.wait(10000));
    EXPECT_EQ(feed.requestCount(), 1u) << "only the check the user asked for";
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            box->close();
        }
    }
}
