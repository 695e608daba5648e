// The network probes: display formats, socket timings on loopback, the echo and geolocation
// answers, the echo client's lifetime and the one lookup per address.

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "FRWNetworkName.h"
#include "FRWNetworkProbe.h"
#include "FRWPhysicalInterface.h"
#include "FRWProbeServices.h"
#include "FRWProbeText.h"
#include "FRWSocketProbe.h"
#include "LoopbackHttpServer.h"
#include "ModelTestSupport.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

TEST(ProbeText, MillisecondsAndAges)
{
    EXPECT_EQ(FRWProbeText::milliseconds(4.24), "4.2");
    EXPECT_EQ(FRWProbeText::milliseconds(12.6), "13");
    EXPECT_EQ(FRWProbeText::milliseconds(0.04), "0.0");
    const QDateTime t0 = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(FRWProbeText::age(QDateTime(), t0), "never");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(59)), "just now");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(90)), "1 minute ago");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(3599)), "59 minutes ago");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(3600)), "1 hour ago");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(2 * 3600 + 59 * 60)), "2 hours ago");
    EXPECT_EQ(FRWProbeText::age(t0, t0.addSecs(26 * 3600)), "26 hours ago");
}

TEST(PhysicalInterface, OnlyPhysicalLinkNamesQualify)
{
    for (const char* name : {"en0", "enp3s0", "eno1", "eth0", "wlan0", "wlp2s0"}) {
        EXPECT_TRUE(FRWPhysicalInterface::isPhysicalLinkName(name)) << name;
    }
    for (const char* name : {"utun9", "tun0", "lo", "wg0", "tap0", "docker0", "virbr0", "veth1", ""}) {
        EXPECT_FALSE(FRWPhysicalInterface::isPhysicalLinkName(name)) << name;
    }
}

TEST(NetworkName, WithoutNetworkManagerTheKernelTellsWirelessFromWired)
{
    TemporaryHome home;
    const QString sysfs = QString::fromStdString((home.root() / "net").string());
    QDir().mkpath(sysfs + "/wlp2s0/wireless");
    QDir().mkpath(sysfs + "/enp3s0");
    const FRWNetworkName names(QDBusConnection(QStringLiteral("no-such-bus")), sysfs);
    EXPECT_EQ(names.displayNameFor(""), "\u2014");
    EXPECT_EQ(names.displayNameFor("wlp2s0"), "Wi-Fi");
    EXPECT_EQ(names.displayNameFor("enp3s0"), "Internet");
    EXPECT_EQ(names.displayNameFor("../wlp2s0"), "Internet");
}

TEST(SocketProbe, DnsQueryIsOneStandardQuestion)
{
    const QByteArray query = FRWSocketProbe::dnsQuery("example.com");
    EXPECT_EQ(query.left(12), QByteArray::fromHex("123401000001000000000000"));
    EXPECT_EQ(query.mid(12), QByteArray("\x07"
                                        "example"
                                        "\x03"
                                        "com"
                                        "\x00"
                                        "\x00\x01\x00\x01",
                                        17));
    EXPECT_TRUE(FRWSocketProbe::dnsQuery("bad..name").isEmpty());
    EXPECT_TRUE(FRWSocketProbe::dnsQuery(QByteArray(64, 'a')).isEmpty());
}

TEST(SocketProbe, ConnectAndDnsTimesOnLoopback)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    const std::optional<double> connect =
        FRWSocketProbe::connectTime("127.0.0.1", listener.serverPort(), {}, 2000);
    ASSERT_TRUE(connect.has_value());
    EXPECT_GE(*connect, 0.0);
    EXPECT_LT(*connect, 2000.0);
    const quint16 closed = freePort();
    EXPECT_FALSE(FRWSocketProbe::connectTime("127.0.0.1", closed, {}, 2000).has_value());
    EXPECT_FALSE(FRWSocketProbe::connectTime("not an address", 443, {}, 2000).has_value());

    FakeDnsServer dns(std::map<std::string, std::string>{{"example.com", "93.184.216.34"}});
    ASSERT_TRUE(FRWSocketProbe::dnsRoundTrip("127.0.0.1", dns.port(), {}, 2000).has_value());
    EXPECT_EQ(dns.queries(), 1U);
    EXPECT_FALSE(FRWSocketProbe::dnsRoundTrip("127.0.0.1", freePort(), {}, 500).has_value());
}

TEST(ProbeServices, EchoAnswersMustBeShortAddressesOfTheAskedFamily)
{
    EXPECT_EQ(FRWEchoService::addressFrom(" 203.0.113.9\r\n", false), "203.0.113.9");
    EXPECT_EQ(FRWEchoService::addressFrom("2001:db8::1\n", true), "2001:db8::1");
    EXPECT_FALSE(FRWEchoService::addressFrom("2001:db8::1", false));
    EXPECT_FALSE(FRWEchoService::addressFrom("203.0.113.9", true));
    EXPECT_FALSE(FRWEchoService::addressFrom("", false));
    EXPECT_FALSE(FRWEchoService::addressFrom("<html>login</html>", false));
    EXPECT_FALSE(FRWEchoService::addressFrom(QByteArray(64, '1'), false)) << "longer than 63 characters";
}

TEST(ProbeServices, GeolocationAnswersAreAdaptedInOnePlace)
{
    const FRWIpinfoGeoService reference(QUrl("http://127.0.0.1:9/base/"));
    EXPECT_EQ(reference.lookupUrl("203.0.113.9").toString(),
              "http://127.0.0.1:9/base/ipinfo?ip=203.0.113.9&meituan=false");
    const auto full = reference.parse(R"({"country":"NL","country_name":"Netherlands","city":"Delft",)"
                                      R"("asn":"AS1136","as_name":"KPN"})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->asText(), "AS1136  KPN");
    const auto asnOnly = reference.parse(R"({"country":"NL","asn":"AS1136","as_name":""})");
    ASSERT_TRUE(asnOnly);
    EXPECT_EQ(asnOnly->asText(), "AS1136");
    EXPECT_FALSE(reference.parse(R"({"city":"Delft","asn":"AS1136"})")) << "no country at all";
    EXPECT_FALSE(reference.parse("[1,2]"));
    EXPECT_FALSE(reference.parse("not json"));

    const FRWIpSbGeoService ipSb(QUrl("https://geo.example.test"));
    EXPECT_EQ(ipSb.lookupUrl("203.0.113.9").toString(), "https://geo.example.test/geoip/203.0.113.9");
    const auto adapted = ipSb.parse(R"({"country_code":"US","country":"United States","city":"Ashburn",)"
                                    R"("asn":13335,"asn_organization":"Cloudflare, Inc."})");
    ASSERT_TRUE(adapted);
    EXPECT_EQ(adapted->countryCode, "US");
    EXPECT_EQ(adapted->country, "United States");
    EXPECT_EQ(adapted->asText(), "AS13335  Cloudflare, Inc.");
}

namespace {

class NetworkProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        services.setResponseFor("/ip", 200, "203.0.113.9\n");
        services.setResponseFor("/ipinfo", 200, R"({"country":"NL","country_name":"Netherlands"})");
        listener.listen(QHostAddress::LocalHost, 0);
    }

    std::unique_ptr<FRWNetworkProbe> makeProbe()
    {
        FRWNetworkProbe::Setup setup;
        const QUrl base(QString::fromStdString("http://" + services.address()));
        setup.services = FRWProbeServices::referenceShaped(base, base, base, QStringLiteral("127.0.0.1"));
        setup.services.connectPort = listener.serverPort();
        setup.services.dnsPort = dns.port();
        setup.bindToPhysicalInterface = false;
        setup.localProxyPort = 17891;
        setup.networkName = [](const QString&) { return QStringLiteral("Internet"); };
        setup.clock = &clock;
        FRWNetworkProbe::Model model;
        model.running = [this] { return running; };
        model.selectedNode = [] { return QStringLiteral("HK"); };
        model.testNode = [this](const QString& node, std::function<void(int)> done) {
            tested << node;
            done(nodeMs);
        };
        model.systemProxyRunning = [this] { return viaProxy; };
        return std::make_unique<FRWNetworkProbe>(std::move(setup), std::move(model));
    }

    std::size_t requestsFor(const std::string& prefix) const
    {
        std::size_t count = 0;
        for (const RecordedRequest& request : services.requests()) {
            count += request.target == prefix || request.target.rfind(prefix + "?", 0) == 0 ? 1 : 0;
        }
        return count;
    }

    LoopbackHttpServer services;
    QTcpServer listener;
    FakeDnsServer dns{std::map<std::string, std::string>{{"example.com", "93.184.216.34"}}};
    ManualClock clock;
    bool running = false;
    bool viaProxy = false;
    int nodeMs = -1;
    QStringList tested;
};

} // namespace

TEST_F(NetworkProbeTest, OneCycleFillsEveryReadOut)
{
    auto probe = makeProbe();
    probe->probeNetwork();
    EXPECT_EQ(probe->proxyLatencyText(), "\u2014");
    EXPECT_TRUE(tested.isEmpty()) << "no node test while nothing runs";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return probe->geoIP() == "203.0.113.9" && probe->latencyText() != "\u2014" &&
                   probe->dnsLatencyText() != "\u2014" && probe->networkName() == "Internet";
        },
        10000));
    EXPECT_EQ(probe->ipv4(), "203.0.113.9");
    EXPECT_EQ(probe->ipv6(), "") << "the IPv6 echo gave an IPv4 address";
    EXPECT_EQ(probe->externalIP(), "203.0.113.9");
    probe->setShowIPv6(true);
    EXPECT_EQ(probe->externalIP(), "203.0.113.9") << "no IPv6 address: falls back";
    EXPECT_EQ(probe->externalIPUpdatedText(), "just now");
    clock.advance(90);
    EXPECT_EQ(probe->externalIPUpdatedText(), "1 minute ago");
}

TEST_F(NetworkProbeTest, ProxyLatencyComesFromTheSelectedNode)
{
    auto probe = makeProbe();
    running = true;
    nodeMs = 0;
    probe->probeNetwork();
    EXPECT_EQ(tested, QStringList{"HK"});
    EXPECT_EQ(probe->proxyLatencyText(), "0");
    nodeMs = -1;
    probe->probeNetwork();
    EXPECT_EQ(probe->proxyLatencyText(), "\u2014");
}

TEST_F(NetworkProbeTest, TheSameAddressIsLookedUpOnceUntilARefresh)
{
    auto probe = makeProbe();
    probe->probeNetwork();
    probe->probeNetwork(); // overlapping cycles see the same address
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return requestsFor("/ip") == 4 && probe->geoIP() == "203.0.113.9"; }, 10000));
    probe->probeNetwork();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 6; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(requestsFor("/ipinfo"), 1U);
    probe->refreshExternalIP();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ipinfo") == 2; }, 10000));
}

TEST_F(NetworkProbeTest, LongEchoAnswersAndAnswersWithoutCountryChangeNothing)
{
    auto probe = makeProbe();
    services.setResponseFor("/ip", 200, std::string(64, '1'));
    probe->probeNetwork();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 2; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(probe->ipv4(), "");
    EXPECT_FALSE(probe->ipUpdated().isValid());

    services.setResponseFor("/ip", 200, "203.0.113.9");
    services.setResponseFor("/ipinfo", 200, R"({"city":"Nowhere"})");
    probe->probeNetwork();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ipinfo") == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(probe->ipv4(), "203.0.113.9");
    EXPECT_EQ(probe->geoIP(), "") << "ignored, so the next cycle asks again";
    EXPECT_EQ(probe->geoCity(), "");
}

TEST_F(NetworkProbeTest, EchoClientIsRebuiltOnlyWhenSystemProxyModeFlips)
{
    auto probe = makeProbe();
    QNetworkAccessManager* direct = probe->probeSession();
    EXPECT_EQ(direct->proxy().type(), QNetworkProxy::NoProxy);
    EXPECT_EQ(probe->probeSession(), direct);
    viaProxy = true;
    QNetworkAccessManager* proxied = probe->probeSession();
    ASSERT_NE(proxied, direct);
    EXPECT_EQ(proxied->proxy().type(), QNetworkProxy::Socks5Proxy);
    EXPECT_EQ(proxied->proxy().hostName(), "127.0.0.1");
    EXPECT_EQ(proxied->proxy().port(), 17891);
    EXPECT_EQ(probe->probeSession(), proxied);
}

TEST(NetworkName, ThisMachinesLinkGetsAName)
{
    const std::optional<FRWPhysicalInterface> link = FRWPhysicalInterface::find();
    const QString name = FRWNetworkName::system().displayNameFor(link ? link->name : QString());
    if (!link) {
        EXPECT_EQ(name, "\u2014");
        return;
    }
    EXPECT_TRUE(FRWPhysicalInterface::isPhysicalLinkName(link->name));
    EXPECT_NE(link->index, 0U);
    EXPECT_FALSE(link->addr.isEmpty());
    EXPECT_FALSE(name.isEmpty());
    EXPECT_NE(name, "\u2014");
}
