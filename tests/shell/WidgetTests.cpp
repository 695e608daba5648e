#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "FRWAppearance.h"
#include "FRWBarChart.h"
#include "FRWCaptionLabel.h"
#include "FRWCardView.h"
#include "FRWCommandBox.h"
#include "FRWPillButton.h"
#include "FRWSegmented.h"
#include "FRWStackedBar.h"
#include "FRWStatColumn.h"
#include "FRWTheme.h"
#include "FRWTrafficRow.h"
#include "FindWidget.h"

namespace {
// Renders only what the widget paints, without the window background grab() adds.
QImage paintedPixels(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
} // namespace

TEST(BarChart, UsesAtLeast24Slots)
{
    const QList<QRectF> bars = FRWBarChart::barRects({5, 10, 15, 20, 25}, QSizeF(240, 100));
    ASSERT_EQ(bars.size(), 5);
    // 24 slots of 10: bars 5 wide, centred in the left 5 slots.
    EXPECT_DOUBLE_EQ(bars[0].x(), 2.5);
    EXPECT_DOUBLE_EQ(bars[0].width(), 5);
    EXPECT_DOUBLE_EQ(bars[4].right(), 47.5);
    EXPECT_LE(bars[4].right(), 240.0 * 5 / 24);
}

TEST(BarChart, MoreValuesThanSlotsWidenTheGrid)
{
    const QList<QRectF> bars = FRWBarChart::barRects(QList<double>(48, 1.0), QSizeF(480, 100));
    ASSERT_EQ(bars.size(), 48);
    EXPECT_DOUBLE_EQ(bars[47].center().x(), 475);
}

TEST(BarChart, HeightsScaleToTheLargestAndStubsAreTwoHigh)
{
    const QSizeF size(240, 100);
    const double plot = 100 - 16 - 2;
    const QList<QRectF> bars = FRWBarChart::barRects({100, 50, 0, 0.01, -4}, size);
    ASSERT_EQ(bars.size(), 5);
    EXPECT_DOUBLE_EQ(bars[0].height(), plot);
    EXPECT_DOUBLE_EQ(bars[1].height(), plot / 2);
    EXPECT_DOUBLE_EQ(bars[2].height(), 2) << "an empty hour shows a stub";
    EXPECT_DOUBLE_EQ(bars[3].height(), 2) << "a tiny value is drawn 2 high";
    EXPECT_DOUBLE_EQ(bars[4].height(), 2);
    for (const QRectF& bar : bars) {
        EXPECT_DOUBLE_EQ(bar.bottom(), 100 - 16) << "bars stand on the axis strip";
    }
}

TEST(BarChart, BarsAreAtLeastTwoWide)
{
    const QList<QRectF> bars = FRWBarChart::barRects({1}, QSizeF(48, 60));
    ASSERT_EQ(bars.size(), 1);
    EXPECT_DOUBLE_EQ(bars[0].width(), 2);
}

TEST(BarChart, TooShortDrawsNothing)
{
    EXPECT_TRUE(FRWBarChart::barRects({1, 2}, QSizeF(200, 21)).isEmpty());
    EXPECT_FALSE(FRWBarChart::barRects({1, 2}, QSizeF(200, 22)).isEmpty());
}

TEST(BarChart, EmptyStubsAreFaintPositiveBarsFull)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    FRWBarChart chart;
    chart.resize(240, 100);
    chart.setTint(QColor(255, 0, 0));
    chart.setValues({0, 10});
    const QImage image = paintedPixels(chart);
    const QColor stub = image.pixelColor(5, 100 - 16 - 1);
    const QColor full = image.pixelColor(15, 50);
    EXPECT_GT(stub.alpha(), 40);
    EXPECT_LT(stub.alpha(), 110) << "an empty hour is drawn at alpha 0.28";
    EXPECT_EQ(full.alpha(), 255);
    FRWAppearance::shared()->setOverride(std::nullopt);
}

TEST(StackedBar, KeepsAtLeastACircleOfTheLeftColour)
{
    EXPECT_DOUBLE_EQ(FRWStackedBar::leftWidth(0.01, QSizeF(200, 4)), 4);
    EXPECT_DOUBLE_EQ(FRWStackedBar::leftWidth(0, QSizeF(200, 4)), 4);
    EXPECT_DOUBLE_EQ(FRWStackedBar::leftWidth(0.5, QSizeF(200, 4)), 100);
}

TEST(StackedBar, FractionIsClamped)
{
    FRWStackedBar bar;
    bar.setLeftFraction(1.7);
    EXPECT_DOUBLE_EQ(bar.leftFraction(), 1);
    bar.setLeftFraction(-2);
    EXPECT_DOUBLE_EQ(bar.leftFraction(), 0);
    bar.setLeftFraction(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(bar.leftFraction(), 0);
}

TEST(StackedBar, DrawsLeftColourOverItsShare)
{
    FRWStackedBar bar;
    bar.resize(200, 10);
    bar.setLeftColor(QColor(255, 0, 0));
    bar.setRightColor(QColor(0, 0, 255));
    bar.setLeftFraction(0.25);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(30, 5), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(100, 5), QColor(0, 0, 255));
}

TEST(Segmented, NaturalSizeFollowsTheWidestLabel)
{
    FRWSegmented narrow({"A", "B"});
    EXPECT_EQ(narrow.sizeHint(), QSize(2 * (30 + 22), 26));
    FRWSegmented wide({"CLIENT", "A VERY LONG LABEL", "X"});
    EXPECT_GT(wide.sizeHint().width(), 3 * (30 + 22));
    EXPECT_EQ(wide.sizeHint().width() % 3, 0);
}

TEST(Segmented, HitRuleClampsToTheSegments)
{
    FRWSegmented control({"CLIENT", "DOMAIN", "POLICY"});
    control.resize(150, 26);
    EXPECT_EQ(control.segmentAt(-20), 0);
    EXPECT_EQ(control.segmentAt(0), 0);
    EXPECT_EQ(control.segmentAt(49.9), 0);
    EXPECT_EQ(control.segmentAt(50), 1);
    EXPECT_EQ(control.segmentAt(149), 2);
    EXPECT_EQ(control.segmentAt(150), 2);
    EXPECT_EQ(control.segmentAt(900), 2);
}

TEST(Segmented, UserChangeCallsOnChangeOnce)
{
    FRWSegmented control({"TODAY", "MONTH"});
    control.resize(120, 26);
    QList<int> changes;
    control.onChange = [&changes](int index) { changes.append(index); };
    QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(90, 13));
    EXPECT_EQ(control.selectedIndex(), 1);
    EXPECT_EQ(changes, QList<int>({1}));
    QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(100, 13));
    EXPECT_EQ(changes, QList<int>({1})) << "the selected segment again is no change";
    QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(3, 13));
    EXPECT_EQ(changes, QList<int>({1, 0}));
}

TEST(Segmented, SettingInCodeNeverCallsOnChange)
{
    FRWSegmented control({"CLIENT", "DOMAIN", "POLICY"});
    int calls = 0;
    control.onChange = [&calls](int) { ++calls; };
    control.setSelectedIndex(2);
    EXPECT_EQ(control.selectedIndex(), 2);
    control.setSelectedIndex(7);
    control.setSelectedIndex(-1);
    EXPECT_EQ(control.selectedIndex(), 2) << "out-of-range indexes are ignored";
    EXPECT_EQ(calls, 0);
}

TEST(Segmented, ThumbCoversTheSelectedSegmentInsetByTwo)
{
    FRWSegmented control({"A", "B", "C"});
    control.resize(150, 26);
    control.setSelectedIndex(1);
    EXPECT_EQ(control.thumbRect(), QRectF(52, 2, 46, 22));
}

TEST(Segmented, NoLabelsNeverCrashes)
{
    FRWSegmented control({});
    control.resize(50, 26);
    QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(control.selectedIndex(), 0);
    EXPECT_FALSE(control.grab().isNull());
}

TEST(PillButton, PressEmitsClicked)
{
    FRWPillButton pill("System Proxy", FRWTheme::statusGreen());
    pill.resize(pill.sizeHint());
    QSignalSpy clicked(&pill, &FRWPillButton::clicked);
    QTest::mousePress(&pill, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicked.count(), 1) << "any point inside takes the press";
    QTest::mouseRelease(&pill, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicked.count(), 1) << "the press acts, not the release";
    QTest::mousePress(&pill, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(PillButton, AccessiblePressReportsSuccessOnlyWithReceiver)
{
    FRWPillButton pill("Enhanced Mode", std::nullopt);
    EXPECT_FALSE(pill.performAccessiblePress());
    int calls = 0;
    QObject::connect(&pill, &FRWPillButton::clicked, [&calls] { ++calls; });
    EXPECT_TRUE(pill.performAccessiblePress());
    EXPECT_EQ(calls, 1);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&pill);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Enhanced Mode");
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(calls, 2);
}

TEST(PillButton, DotChangesWidthAndHoverChangesFill)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    FRWPillButton pill("Proxy", FRWTheme::statusGreen());
    const int withDot = pill.sizeHint().width();
    pill.setDotColor(std::nullopt);
    EXPECT_EQ(pill.sizeHint().width(), withDot - 15);
    EXPECT_EQ(pill.sizeHint().height(), 28);
    EXPECT_EQ(pill.backgroundColor(), FRWTheme::cardBackground().light);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(&pill, &enter);
    EXPECT_EQ(pill.backgroundColor(), FRWTheme::buttonHovered().light);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&pill, &leave);
    EXPECT_EQ(pill.backgroundColor(), FRWTheme::cardBackground().light);
    FRWAppearance::shared()->setOverride(std::nullopt);
}

TEST(PillButton, TitleIsWholeAtItsSizeHintInAnyFontAndShortenedOnlyWhenSqueezed)
{
    const QFont original = QApplication::font();
    for (const qreal points : {9.0, 13.0, 17.5}) {
        QFont font = original;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        FRWPillButton pill("System Proxy", FRWTheme::statusGreen());
        pill.resize(pill.sizeHint());
        EXPECT_EQ(pill.shownTitle(), "System Proxy") << points;
        pill.resize(pill.sizeHint().width() - 12, pill.height());
        EXPECT_TRUE(pill.shownTitle().endsWith(QChar(0x2026))) << points;
    }
    QApplication::setFont(original);
}

TEST(PillButton, DotIsPaintedInItsColour)
{
    FRWPillButton pill("Proxy", QColor(0, 200, 0));
    pill.resize(pill.sizeHint());
    const QImage image = pill.grab().toImage();
    EXPECT_EQ(image.pixelColor(16, 14), QColor(0, 200, 0));
}

TEST(StatColumn, ClickBlockMakesTheWholeColumnTheTarget)
{
    FRWStatColumn column("Outbound Mode", "Rule-Based Proxy");
    column.resize(160, 60);
    EXPECT_EQ(widget<QLabel>(column, "captionLabel")->text(), "OUTBOUND MODE");
    EXPECT_EQ(column.childAt(5, 25), widget<QLabel>(column, "valueLabel"))
        << "without a block the labels are ordinary";
    int clicks = 0;
    column.setOnClick([&clicks] { ++clicks; });
    EXPECT_EQ(column.childAt(5, 25), nullptr) << "with a block, the column takes the point";
    QTest::mousePress(&column, Qt::LeftButton, {}, QPoint(5, 25));
    EXPECT_EQ(clicks, 1);
    column.setOnClick({});
    QTest::mousePress(&column, Qt::LeftButton, {}, QPoint(5, 25));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(column.childAt(5, 25), widget<QLabel>(column, "valueLabel"));
}

TEST(StatColumn, ChevronSitsAfterTheValueOnlyWhenAsked)
{
    FRWStatColumn column("External IP", "203.0.113.9");
    column.resize(200, 60);
    column.show();
    EXPECT_FALSE(widget<QLabel>(column, "chevron")->isVisible());
    column.setShowsChevron(true);
    EXPECT_TRUE(widget<QLabel>(column, "chevron")->isVisible());
    EXPECT_EQ(widget<QLabel>(column, "chevron")->x(),
              widget<QLabel>(column, "valueLabel")->geometry().right() + 1 + 4);
    EXPECT_EQ(widget<QLabel>(column, "chevron")->size(), QSize(9, 9));
}

TEST(StatColumn, LongValuesAreTruncatedAndSubtitleMayBeEmpty)
{
    FRWStatColumn column("Profile", "a very long profile name that cannot fit in the column");
    column.resize(80, 60);
    column.show();
    EXPECT_TRUE(widget<QLabel>(column, "valueLabel")->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(column.value(), "a very long profile name that cannot fit in the column");
    column.setSubtitle("AS64500 · Example");
    column.setSubtitle(QString());
    EXPECT_TRUE(widget<QLabel>(column, "subtitleLabel")->text().isEmpty());
}

TEST(TrafficRow, ShowsNameBytesAndFraction)
{
    FRWTrafficRow row;
    row.resize(260, FRWTrafficRow::kHeight);
    row.updateWithName("api.example.com", 1536, 0.5);
    EXPECT_EQ(row.nameLabel()->text(), "api.example.com");
    EXPECT_EQ(row.bytesLabel()->text(), "1.50 KB");
    EXPECT_DOUBLE_EQ(row.bar()->leftFraction(), 0.5);
    EXPECT_EQ(row.bar()->geometry(), QRect(0, 22, 260, 4));
    EXPECT_GE(row.bytesLabel()->x() - row.nameLabel()->geometry().right() - 1, 8);
}

TEST(TrafficRow, LongNamesYieldInTheMiddle)
{
    FRWTrafficRow row;
    row.resize(150, FRWTrafficRow::kHeight);
    row.updateWithName("com.example.some.really.long.application.identifier", 734003200, 1.0);
    const QString shown = row.nameLabel()->text();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_TRUE(shown.startsWith("com."));
    EXPECT_EQ(row.bytesLabel()->text(), "700.00 MB") << "the byte text is never cut";
}

TEST(TrafficRow, UnchangedNameIsNotTouched)
{
    FRWTrafficRow row;
    row.resize(200, FRWTrafficRow::kHeight);
    row.updateWithName("git", 10, 0.1);
    // A marker survives an update with the same values: the label was left alone.
    row.nameLabel()->setText("marker");
    row.updateWithName("git", 10, 0.1);
    EXPECT_EQ(row.nameLabel()->text(), "marker");
    row.updateWithName("curl", 10, 0.1);
    EXPECT_EQ(row.nameLabel()->text(), "curl");
    EXPECT_EQ(row.bytesLabel()->text(), "10 B");
}

TEST(Card, DefaultsAndShadowFollowTheCard)
{
    QWidget host;
    host.resize(400, 300);
    auto* card = FRWCardView::card(&host);
    EXPECT_DOUBLE_EQ(card->cornerRadius(), 18);
    card->setGeometry(50, 40, 200, 100);
    host.show();
    QWidget* shadow = card->shadowWidget();
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->parentWidget(), &host);
    EXPECT_TRUE(shadow->geometry().contains(card->geometry()));
    EXPECT_TRUE(shadow->isVisible());
    card->hide();
    EXPECT_FALSE(shadow->isVisible());
    card->show();
    card->move(80, 60);
    EXPECT_EQ(shadow->geometry().center(), card->geometry().center());
    QPointer<QWidget> guard(shadow);
    delete card;
    EXPECT_TRUE(guard.isNull()) << "the shadow goes with its card";
}

TEST(Card, ShadowDarkensBelowTheCard)
{
    QWidget host;
    host.resize(300, 200);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::white);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    auto* card = FRWCardView::card(&host);
    card->setGeometry(50, 40, 200, 100);
    host.show();
    const QImage image = host.grab().toImage();
    const QColor belowCard = image.pixelColor(150, 40 + 100 + 4);
    const QColor farAway = image.pixelColor(5, 195);
    EXPECT_LT(belowCard.lightness(), farAway.lightness());
    EXPECT_EQ(farAway, QColor(Qt::white));
}

TEST(Card, CornerRadiusIsNeverNegative)
{
    FRWCardView card;
    card.setCornerRadius(-5);
    EXPECT_DOUBLE_EQ(card.cornerRadius(), 0);
}

TEST(CaptionLabel, UpperCaseSemiboldSecondary)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Dark);
    std::unique_ptr<FRWCaptionLabel> caption(FRWCaptionLabel::captionWithString("Internet Latency"));
    EXPECT_EQ(caption->text(), "INTERNET LATENCY");
    EXPECT_EQ(caption->font().weight(), QFont::DemiBold);
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), FRWTheme::secondaryLabel().dark);
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), FRWTheme::secondaryLabel().light);
    FRWAppearance::shared()->setOverride(std::nullopt);
}

TEST(CommandBox, FillsWithControlBackground)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    FRWCommandBox box;
    box.resize(120, 30);
    const QImage image = paintedPixels(box);
    const QColor centre = image.pixelColor(60, 15);
    EXPECT_NEAR(centre.alpha(), 204, 2);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "rounded corners";
    FRWAppearance::shared()->setOverride(std::nullopt);
}
