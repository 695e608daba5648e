// The Connections page: order, filter, count line, details and the selection that follows its
// connection, over a scripted controller and over the real ferrow-core with real traffic.

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "FRWConnRowDelegate.h"
#include "FRWConnectionsViewController.h"
#include "FRWElidedLabel.h"
#include "FRWFlipped.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

using namespace ferrow::test;

namespace {

class ConnectionsTest : public ScreensTest {
protected:
    std::unique_ptr<FRWConnectionsViewController> page()
    {
        return load(std::make_unique<FRWConnectionsViewController>(context()));
    }

    qint64 nowMs() const { return clock.current.toMSecsSinceEpoch(); }

    static QStringList hosts(const FRWConnectionsViewController& connections)
    {
        QStringList out;
        for (const QJsonObject& record : connections.conns()) {
            out << record.value("host").toString();
        }
        return out;
    }

    static QString detail(const FRWConnectionsViewController& connections, const QString& caption)
    {
        for (const auto& [name, value] : connections.detailRows()) {
            if (name == caption) {
                return value;
            }
        }
        return "<missing>";
    }

    static void selectRow(FRWConnectionsViewController& connections, int row)
    {
        connections.table()->selectionModel()->select(connections.table()->model()->index(row, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    }
};

TEST_F(ConnectionsTest, EmptyListAndAnEmptyFilterResult)
{
    auto connections = page();
    EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(), QString::fromUtf8("0 active  ·  0 total"));
    EXPECT_EQ(connections->emptyState()->text(),
              "No connections yet.\nConnect and browse to see live traffic.");
    EXPECT_TRUE(connections->emptyState()->isVisibleTo(connections->view()));
    EXPECT_TRUE(widget<QLabel>(connections, "detailEmptyLabel")->isVisibleTo(connections->view()));
    widget<QLineEdit>(connections, "searchLineEdit")->setText("x");
    EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(), "0 matching");
    EXPECT_EQ(connections->emptyState()->text(), "No connections match your filter.");
}

TEST_F(ConnectionsTest, RecordsThatRepeatAnIdAreAllListedAndCounted)
{
    auto connections = page();
    connectCore();
    const double now = static_cast<double>(nowMs());
    answer("/connections", QJsonArray{QJsonObject{{"id", 5}, {"host", "a.example"}, {"start", now}},
                                      QJsonObject{{"id", 5}, {"host", "b.example"}, {"start", now - 1}},
                                      QJsonObject{{"id", 5}, {"host", "c.example"}, {"start", now - 2}}});
    poll();
    EXPECT_EQ(hosts(*connections), (QStringList{"a.example", "b.example", "c.example"}));
    EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(), QString::fromUtf8("3 active  ·  3 total"));
}

TEST_F(ConnectionsTest, OrderFilterAndDetails)
{
    auto connections = page();
    connectCore();
    const double now = static_cast<double>(nowMs());
    answer("/connections",
           QJsonArray{
               QJsonObject{{"id", 1}, {"host", "old.example"}, {"start", now - 5000}, {"policy", "direct"}},
               QJsonObject{{"id", 2}, {"host", "closed.example"}, {"start", now}, {"closed", true}},
               QJsonObject{{"id", "x3"},
                           {"host", "new.example"},
                           {"start", now - 1000},
                           {"process", "Firefox"},
                           {"rule", "DOMAIN-SUFFIX,example"},
                           {"srcip", "192.168.1.9"},
                           {"srcport", 0},
                           {"fakeip", "198.18.0.7"},
                           {"network", "udp"},
                           {"up", 1024},
                           {"down", 1023},
                           {"policy", "HK"}},
               QJsonObject{{"id", 4},
                           {"host", "port.example"},
                           {"start", now - 9000},
                           {"srcport", 4242},
                           {"srcip", "10.0.0.2"}},
           });
    poll();
    EXPECT_EQ(hosts(*connections),
              (QStringList{"new.example", "old.example", "port.example", "closed.example"}));
    EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(), QString::fromUtf8("3 active  ·  4 total"));
    EXPECT_FALSE(connections->emptyState()->isVisibleTo(connections->view()));

    // Any of the seven keys, case ignored; ports and ids are not searched.
    const std::pair<const char*, QStringList> queries[] = {
        {"FIREFOX", {"new.example"}},
        {"suffix", {"new.example"}},
        {"198.18", {"new.example"}},
        {"UDP", {"new.example"}},
        {"10.0.0", {"port.example"}},
        {"DIRECT", {"old.example"}},
        {"4242", {}},
        {"x3", {}},
    };
    for (const auto& [query, expected] : queries) {
        widget<QLineEdit>(connections, "searchLineEdit")->setText(query);
        EXPECT_EQ(hosts(*connections), expected) << query;
        EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(),
                  QStringLiteral("%1 matching").arg(expected.size()));
    }
    widget<QLineEdit>(connections, "searchLineEdit")->clear();

    selectRow(*connections, 0);
    EXPECT_EQ(connections->selectedID(), "sx3");
    EXPECT_TRUE(widget<QWidget>(connections, "detailStack")->isVisibleTo(connections->view()));
    EXPECT_FALSE(widget<QLabel>(connections, "detailEmptyLabel")->isVisibleTo(connections->view()));
    const QList<std::pair<QString, QString>> expected = {
        {"Destination", "new.example"},
        {"Policy / Group", "HK"},
        {"Matched rule", "DOMAIN-SUFFIX,example"},
        {"Fake IP", "198.18.0.7"},
        {"Client process", "Firefox"},
        {"Source", "192.168.1.9"},
        {"Network", "UDP"},
        {"Traffic", QString::fromUtf8("↑ 1.0 KB   ↓ 1023 B")},
        {"State", QString::fromUtf8("active · started 1s ago")},
    };
    EXPECT_EQ(connections->detailRows(), expected);
    // The details make the page taller than the window: it scrolls rather than squeezing them.
    QCoreApplication::processEvents();
    EXPECT_GE(widget<FRWFlippedDoc>(connections, "pageDoc")->height(),
              widget<FRWFlippedDoc>(connections, "pageDoc")->minimumSizeHint().height());
    for (QLabel* label : widget<QWidget>(connections, "detailStack")->findChildren<QLabel*>()) {
        EXPECT_GE(label->height(), label->minimumSizeHint().height()) << label->text().toStdString();
    }

    selectRow(*connections, 2);
    EXPECT_EQ(detail(*connections, "Source"), "10.0.0.2:4242");
    EXPECT_EQ(detail(*connections, "Fake IP"), QString::fromUtf8("— (not fake-ip)"));
    EXPECT_EQ(detail(*connections, "Client process"), QString::fromUtf8("— (unknown)"));
    EXPECT_EQ(detail(*connections, "Matched rule"), QString::fromUtf8("—"));
    EXPECT_EQ(detail(*connections, "Network"), "TCP");

    // The badge keeps the text as sent but is coloured by its upper-case form.
    const QJsonObject lower{{"policy", "direct"}};
    EXPECT_EQ(FRWConnRowDelegate::badgeTextFor(lower), "direct");
    EXPECT_EQ(FRWConnRowDelegate::badgeTintFor(lower), FRWTheme::statusGreen());
    EXPECT_EQ(FRWConnRowDelegate::badgeTintFor(QJsonObject{{"policy", "Reject"}}), FRWTheme::statusOrange());
    EXPECT_EQ(FRWConnRowDelegate::subtitleFor(QJsonObject{{"rule", "FINAL"}}), "FINAL");
    EXPECT_EQ(FRWConnRowDelegate::trafficFor(QJsonObject{{"up", 1024 * 1024}}),
              QString::fromUtf8("↑1.0 MB  ↓0 B"));
}

TEST(Connections, BadgeTextIsReadableOnItsOwnFill)
{
    for (const char* policy : {"DIRECT", "REJECT", "Proxy"}) {
        const QJsonObject record{{"policy", policy}};
        for (const bool dark : {false, true}) {
            QColor fill = FRWConnRowDelegate::badgeTintFor(record).resolve(dark);
            fill.setAlphaF(static_cast<float>(FRWTheme::kBadgeFillAlpha));
            const QColor background = FRWTheme::composite(fill, FRWTheme::opaqueCard(dark));
            EXPECT_GE(
                FRWTheme::contrastRatio(FRWConnRowDelegate::badgeInkFor(record).resolve(dark), background),
                FRWTheme::kTextContrast)
                << policy << (dark ? " dark" : " light");
        }
    }
}

TEST_F(ConnectionsTest, SelectionFollowsItsConnectionUntilItLeaves)
{
    auto connections = page();
    connectCore();
    const double now = static_cast<double>(nowMs());
    const auto record = [now](int id, double age, bool closed) {
        return QJsonObject{{"id", id},
                           {"host", QStringLiteral("h%1.example").arg(id)},
                           {"start", now - age},
                           {"closed", closed}};
    };
    answer("/connections",
           QJsonArray{record(1, 1000, false), record(2, 2000, false), record(3, 3000, false)});
    poll();
    selectRow(*connections, 1); // h2
    EXPECT_EQ(detail(*connections, "State"), QString::fromUtf8("active · started 2s ago"));

    // h2 closes and moves to the end; a newer connection arrives; time passes.
    clock.advance(120);
    answer("/connections", QJsonArray{record(1, 1000, false), record(2, 2000, true), record(3, 3000, false),
                                      record(4, 0, false)});
    poll();
    EXPECT_EQ(hosts(*connections), (QStringList{"h4.example", "h1.example", "h3.example", "h2.example"}));
    EXPECT_EQ(connections->selectedID(), "n2");
    const QModelIndexList selected = connections->table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), 3);
    EXPECT_EQ(detail(*connections, "State"), QString::fromUtf8("closed · started 2m ago"));

    // A filter that hides it ends the selection; so does the connection leaving the list.
    widget<QLineEdit>(connections, "searchLineEdit")->setText("h1");
    EXPECT_TRUE(connections->selectedID().isEmpty());
    EXPECT_TRUE(widget<QLabel>(connections, "detailEmptyLabel")->isVisibleTo(connections->view()));
    widget<QLineEdit>(connections, "searchLineEdit")->clear();
    selectRow(*connections, 0);
    EXPECT_EQ(connections->selectedID(), "n4");
    answer("/connections", QJsonArray{record(1, 1000, false)});
    poll();
    EXPECT_TRUE(connections->selectedID().isEmpty());
    EXPECT_TRUE(connections->table()->selectionModel()->selectedRows().isEmpty());
}

TEST_F(ConnectionsTest, LongHostNamesAreShortenedToTheRow)
{
    const QJsonObject record{{"host", QString(300, 'a') + ".example"}, {"policy", "HK"}};
    const QString drawn = FRWConnRowDelegate::titleAsDrawn(record, 600);
    EXPECT_LT(drawn.size(), 300);
    EXPECT_TRUE(drawn.endsWith(QChar(0x2026)));
    const int room = 600 - 6 - FRWConnRowDelegate::badgeWidth("HK") - 10 - 21;
    EXPECT_LE(QFontMetrics(FRWConnRowDelegate::titleFont()).horizontalAdvance(drawn), room);
    EXPECT_EQ(FRWConnRowDelegate::titleAsDrawn(QJsonObject{{"host", "a.example"}}, 600), "a.example");
}

TEST(ElidedLabel, CopyingAcrossTheMarkCopiesWhatItStandsFor)
{
    const QString full = QStringLiteral("a-very-long-host-name-that-will-not-fit.static.cdn.example.com");
    FRWElidedLabel label(Qt::ElideMiddle);
    label.setTextInteractionFlags(Qt::TextSelectableByMouse);
    label.resize(label.fontMetrics().horizontalAdvance(full) / 2, 20);
    label.setFullText(full);
    const QString shown = label.text();
    const int mark = static_cast<int>(shown.indexOf(QChar(0x2026)));
    ASSERT_GT(mark, 0) << shown.toStdString();
    const int shownLength = static_cast<int>(shown.size());

    label.setSelection(0, shownLength);
    EXPECT_EQ(label.copiedText(), full);
    label.setSelection(0, mark);
    EXPECT_EQ(label.copiedText(), full.left(mark)) << "a part before the mark is copied as shown";
    label.setSelection(mark + 1, shownLength - mark - 1);
    EXPECT_EQ(label.copiedText(), full.right(shownLength - mark - 1));
    label.setSelection(2, mark);
    // From the third letter through the mark and one letter after it.
    EXPECT_EQ(label.copiedText(), full.mid(2, full.size() - (shownLength - mark - 2) - 2));

    label.setSelection(0, shownLength);
    QTest::keySequence(&label, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), full);
}

TEST_F(ConnectionsTest, RowsFromARealCoreWithTraffic)
{
    auto echo = makeEchoServer();
    CoreProcess::Options options;
    options.profile = "[General]\nlog-history = 20\n\n[Rule]\nFINAL,DIRECT\n";
    CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    tunnel.apiInfoPath = QString::fromStdString(core.apiInfoPath().string());

    auto connections = page();
    std::vector<std::unique_ptr<Socket>> open;
    for (std::size_t size : {1000, 3000, 2000}) {
        auto client = std::make_unique<Socket>(core.socksPort());
        ASSERT_EQ(socks5Connect(*client, "127.0.0.1", echo->port()), 0);
        ASSERT_TRUE(client->send(patternBytes(size)));
        ASSERT_EQ(client->receiveExactly(size).size(), size);
        open.push_back(std::move(client));
    }
    poll();
    ASSERT_EQ(connections->conns().size(), 3u);
    for (const QJsonObject& record : connections->conns()) {
        EXPECT_EQ(record.value("host").toString(), "127.0.0.1");
        EXPECT_EQ(record.value("policy").toString(), "DIRECT");
        EXPECT_GT(record.value("up").toDouble(), 0);
    }
    EXPECT_EQ(widget<QLabel>(connections, "countLabel")->text(), QString::fromUtf8("3 active  ·  3 total"));
    QList<QJsonValue> before;
    for (const QJsonObject& record : connections->conns()) {
        before << record.value("id");
    }
    selectRow(*connections, 1);
    const QString selected = connections->selectedID();

    // More traffic on the selected one; the order and the selection stay.
    poll();
    QList<QJsonValue> after;
    for (const QJsonObject& record : connections->conns()) {
        after << record.value("id");
    }
    EXPECT_EQ(after, before);
    EXPECT_EQ(connections->selectedID(), selected);

    // Closing one moves it after the open ones and keeps it selected.
    open.at(1).reset();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            pollOnce(*model);
            return widget<QLabel>(connections, "countLabel")->text().startsWith("2 active");
        },
        10000));
    EXPECT_TRUE(connections->conns().last().value("closed").toBool());
    EXPECT_EQ(connections->selectedID(), selected);
}

} // namespace
