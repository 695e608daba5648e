// Every page built under a translation 40 % longer than English: a fixed text that no longer fits
// its label, button, pill, segment or sidebar row is a layout that will clip a real translation.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QTranslator>

#include "FRWMainWindowController.h"
#include "FRWPageKeys.h"
#include "FRWPillButton.h"
#include "FRWSegmented.h"
#include "FRWSidebarRow.h"
#include "ScreensTestSupport.h"

namespace {

/// Brackets every text and pads it to 140 % of its length; %1, %n and & are kept as they are. The
/// closing bracket tells a text shown whole from one cut short.
class LongerTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char*, int) const override
    {
        const QString text = QString::fromUtf8(source);
        if (text.trimmed().isEmpty()) {
            return {};
        }
        // Padded in short words, so a text that may wrap still can.
        QString padding;
        for (qsizetype i = 0; i < std::max<qsizetype>(1, text.size() * 4 / 10 - 2); ++i) {
            padding += i % 5 == 4 ? u' ' : u'~';
        }
        return u'[' + text + padding + u']';
    }
};

bool translated(const QString& text)
{
    return text.contains(u'[') && text.contains(u'~');
}

QString shownText(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* pill = qobject_cast<const FRWPillButton*>(widget)) {
        return pill->title();
    }
    if (const auto* segmented = qobject_cast<const FRWSegmented*>(widget)) {
        return segmented->labels().join(u' ');
    }
    if (const auto* row = qobject_cast<const FRWSidebarRow*>(widget)) {
        return row->title();
    }
    return {};
}

/// What is wrong with how `widget` shows a translated fixed text; empty when it shows it whole.
QString clipping(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        const QString text = label->text();
        if (!translated(text) || label->wordWrap() || label->textFormat() == Qt::RichText) {
            return {};
        }
        if (!text.contains(u']')) {
            return QStringLiteral("elided");
        }
        int widest = 0;
        for (const QString& line : text.split(u'\n')) {
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        }
        return widest > label->contentsRect().width() + 1 ? QStringLiteral("wider than its label")
                                                          : QString();
    }
    const QString text = shownText(widget);
    if (!translated(text)) {
        return {};
    }
    // A segmented control may give up padding, never label width.
    const int needed = qobject_cast<const FRWSegmented*>(widget) ? widget->minimumSizeHint().width()
                                                                 : widget->sizeHint().width();
    return needed > widget->width() ? QStringLiteral("narrower than it needs") : QString();
}

QStringList clippedTexts(const QWidget* root)
{
    QStringList found;
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(root)) {
            continue;
        }
        QString problem = clipping(widget);
        // A layout that grows instead pushes the text out of the page.
        const QRect shown(widget->mapTo(root, QPoint(0, 0)), widget->size());
        if (problem.isEmpty() && shown.right() > root->width() && translated(shownText(widget))) {
            problem = QStringLiteral("outside the page");
        }
        if (!problem.isEmpty()) {
            found << QStringLiteral("%1 (%2): %3")
                         .arg(widget->objectName(), QString::fromLatin1(widget->metaObject()->className()),
                              problem);
        }
    }
    return found;
}

class PseudoTranslationTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        QCoreApplication::installTranslator(&translator);
    }
    void TearDown() override
    {
        QCoreApplication::removeTranslator(&translator);
        ScreensTest::TearDown();
    }

    /// Traffic, groups and log lines, so the pages show their full rows rather than empty states.
    void answerBusy()
    {
        connectCore();
        tunnel.systemProxy = true;
        answer("/status", R"({"running":true,"uplink":6023,"downlink":1053576})");
        answer("/stats", R"({"today":{"up":1536,"down":4096},"month":{"up":3072,"down":8192},)"
                         R"("hourly":[{"up":1,"down":2},{"up":3,"down":4}]})");
        answer("/outbound", R"({"mode":"rule","global":"HK","nodes":["HK","JP"]})");
        QJsonArray connections;
        for (int id = 1; id <= 4; ++id) {
            connections.append(QJsonObject{{"id", id},
                                           {"host", QStringLiteral("host%1.example.test").arg(id)},
                                           {"process", "firefox"},
                                           {"policy", id % 2 ? "HK" : "DIRECT"},
                                           {"rule", "FINAL"},
                                           {"up", 1000 * id},
                                           {"down", 5000 * id},
                                           {"closed", id == 4},
                                           {"start", 1000.0 + id}});
        }
        answer("/connections", connections);
        answer("/groups", R"([{"name":"Proxy","type":"select","now":"HK","all":["HK","JP"]}])");
        answer("/logs", R"({"capacity":100,"lines":["2026-01-01 10:00:00 [info] started"],"cursor":1})");
        poll();
    }

    LongerTranslator translator;
};

TEST_F(PseudoTranslationTest, EveryPageShowsItsLongerFixedTextsWhole)
{
    answerBusy();
    const FRWPageFactory pages = makeScreenPages(context());
    for (const char* key :
         {ferrow::pages::kActivity, ferrow::pages::kOverview, ferrow::pages::kConnections,
          ferrow::pages::kProcess, ferrow::pages::kDevice, ferrow::pages::kProfile, ferrow::pages::kPolicy,
          ferrow::pages::kRule, ferrow::pages::kLogs, ferrow::pages::kSettings, ferrow::pages::kAbout}) {
        std::unique_ptr<FRWViewController> page = load(pages.make(QLatin1String(key)));
        poll();
        QCoreApplication::processEvents();
        EXPECT_EQ(clippedTexts(page->view()).join(u'\n').toStdString(), "") << key;
    }
}

TEST_F(PseudoTranslationTest, SidebarRowsAndHeadersShowTheirLongerTitlesWhole)
{
    FRWMainWindowController controller;
    controller.window()->resize(940, 726);
    controller.window()->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(clippedTexts(controller.window()).join(u'\n').toStdString(), "");
}

TEST(PseudoTranslator, KeepsPlaceholdersAndMnemonicsAndLengthens)
{
    const LongerTranslator translator;
    const QString text = translator.translate("c", "&Add %1 of %n", nullptr, 2);
    EXPECT_TRUE(text.contains("&Add %1 of %n"));
    EXPECT_GE(text.size(), 13 * 14 / 10);
    EXPECT_TRUE(translator.translate("c", "", nullptr, -1).isEmpty());
}

} // namespace
