#include <limits>

#include <QPainterPath>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include "FRWAppearance.h"
#include "FRWLineChart.h"

namespace {
constexpr double kWidth = 200;
constexpr double kHeight = 54;

struct SizedChart {
    FRWLineChart chart;
    SizedChart()
    {
        chart.resize(static_cast<int>(kWidth), static_cast<int>(kHeight));
        chart.show();
    }
};

QList<QPointF> points(const QPainterPath& path)
{
    QList<QPointF> result;
    for (int i = 0; i < path.elementCount(); ++i) {
        result.append(path.elementAt(i));
    }
    return result;
}

// y of a value at a scale, in widget coordinates (y grows downwards).
double yFor(double value, double scale)
{
    return kHeight - (value / scale * (kHeight - 4) + 2);
}
} // namespace

TEST(LineChart, NoValuesShowsOnlyTheBaseline)
{
    SizedChart s;
    EXPECT_TRUE(s.chart.showsBaseline());
    EXPECT_TRUE(s.chart.linePath().isEmpty());
}

TEST(LineChart, OneValueShowsOnlyTheBaseline)
{
    SizedChart s;
    s.chart.setValues({500});
    EXPECT_TRUE(s.chart.showsBaseline());
    EXPECT_TRUE(s.chart.linePath().isEmpty());
    EXPECT_FALSE(s.chart.isSliding());
}

TEST(LineChart, BaselineSitsTwoAboveTheBottom)
{
    FRWAppearance::shared();
    SizedChart s;
    s.chart.setTint(QColor(255, 0, 0));
    QImage image(s.chart.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    s.chart.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const int bottomRow = static_cast<int>(kHeight) - 2;
    EXPECT_GT(qAlpha(image.pixel(100, bottomRow)) + qAlpha(image.pixel(100, bottomRow - 1)), 0);
    EXPECT_EQ(qAlpha(image.pixel(100, 10)), 0) << "nothing above the baseline";
}

TEST(LineChart, TwoValuesUseTheFullWidthAsStep)
{
    SizedChart s;
    s.chart.setValues({0, 100});
    EXPECT_FALSE(s.chart.showsBaseline());
    const QList<QPointF> line = points(s.chart.linePath());
    ASSERT_EQ(line.size(), 2);
    EXPECT_DOUBLE_EQ(line[0].x(), -kWidth) << "the first point is one step left, hidden";
    EXPECT_DOUBLE_EQ(line[1].x(), 0);
    EXPECT_DOUBLE_EQ(line[0].y(), kHeight - 2) << "zero sits 2 above the bottom";
    EXPECT_DOUBLE_EQ(line[1].y(), 2) << "the scale sits 2 below the top";
}

TEST(LineChart, ThreeValuesFallAtMinusWidthZeroAndWidth)
{
    SizedChart s;
    s.chart.setValues({10, 40, 20});
    const QList<QPointF> line = points(s.chart.linePath());
    ASSERT_EQ(line.size(), 3);
    EXPECT_DOUBLE_EQ(line[0].x(), -kWidth);
    EXPECT_DOUBLE_EQ(line[1].x(), 0);
    EXPECT_DOUBLE_EQ(line[2].x(), kWidth);
    EXPECT_DOUBLE_EQ(line[1].y(), yFor(40, 40));
    EXPECT_DOUBLE_EQ(line[2].y(), yFor(20, 40));
}

TEST(LineChart, FillPathClosesAlongTheBottom)
{
    SizedChart s;
    s.chart.setValues({10, 40, 20, 30});
    const QList<QPointF> fill = points(s.chart.fillPath());
    const double step = kWidth / 2;
    ASSERT_GE(fill.size(), 6);
    EXPECT_EQ(fill[4], QPointF(kWidth, kHeight));
    EXPECT_EQ(fill[5], QPointF(-step, kHeight));
}

TEST(LineChart, ScaleJumpsUpAndFallsBackByAQuarter)
{
    SizedChart s;
    s.chart.setValues({0, 100});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 100);
    s.chart.setValues({0, 1000});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 1000);
    s.chart.setValues({0, 100, 1});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 775);
    s.chart.setValues({0, 100, 2});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 606.25);
}

TEST(LineChart, ScaleIsNeverBelowOne)
{
    SizedChart s;
    s.chart.setValues({0, 0, 0});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 1);
    const QList<QPointF> line = points(s.chart.linePath());
    EXPECT_DOUBLE_EQ(line[1].y(), kHeight - 2);
}

TEST(LineChart, ResizeDoesNotAdvanceTheSmoothing)
{
    SizedChart s;
    s.chart.setValues({0, 1000});
    s.chart.setValues({0, 100, 1});
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 775);
    s.chart.resize(300, 60);
    s.chart.resize(250, 60);
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 775);
}

TEST(LineChart, OneStepShiftSlides)
{
    SizedChart s;
    s.chart.setValues({1, 2, 3, 4});
    EXPECT_FALSE(s.chart.isSliding()) << "a first list jumps";
    s.chart.setValues({2, 3, 4, 5});
    EXPECT_TRUE(s.chart.isSliding());
    EXPECT_DOUBLE_EQ(s.chart.slideOffset(), kWidth / 2) << "the new path starts one step right";
}

TEST(LineChart, SlideLastsOneAndAQuarterSampleIntervals)
{
    SizedChart s;
    s.chart.setSampleInterval(2.0);
    s.chart.setValues({1, 2, 3});
    s.chart.setValues({2, 3, 4});
    ASSERT_TRUE(s.chart.isSliding());
    const auto* slide = s.chart.findChild<QVariantAnimation*>();
    ASSERT_NE(slide, nullptr);
    EXPECT_EQ(slide->duration(), 2500);
}

TEST(LineChart, UnrelatedValuesStopRunningAnimations)
{
    SizedChart s;
    s.chart.setValues({1, 2, 3, 4});
    s.chart.setValues({2, 3, 4, 500});
    ASSERT_TRUE(s.chart.isSliding());
    ASSERT_TRUE(s.chart.isRescaling());
    s.chart.setValues({9, 9, 9, 9});
    EXPECT_FALSE(s.chart.isSliding());
    EXPECT_FALSE(s.chart.isRescaling());
    EXPECT_DOUBLE_EQ(s.chart.slideOffset(), 0);
}

TEST(LineChart, SameValuesLeaveAnimationsRunning)
{
    SizedChart s;
    s.chart.setValues({1, 2, 3, 4});
    s.chart.setValues({2, 3, 4, 500});
    ASSERT_TRUE(s.chart.isSliding());
    const QPainterPath before = s.chart.linePath();
    const double smooth = s.chart.smoothMax();
    s.chart.setValues({2, 3, 4, 500});
    EXPECT_TRUE(s.chart.isSliding());
    EXPECT_TRUE(s.chart.isRescaling());
    EXPECT_EQ(s.chart.linePath(), before);
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), smooth) << "an identical list costs nothing";
}

TEST(LineChart, RescaleOnlyWhenTheScaleMovesMoreThanHalf)
{
    SizedChart s;
    s.chart.setValues({10, 10, 10});
    s.chart.setValues({10, 10, 10.4});
    EXPECT_TRUE(s.chart.isSliding());
    EXPECT_FALSE(s.chart.isRescaling()) << "10 to 10.4 is within half a unit";
    s.chart.setValues({10, 10.4, 12});
    EXPECT_TRUE(s.chart.isRescaling());
}

TEST(LineChart, FallingScaleAnimatesEachDropAboveHalf)
{
    SizedChart s;
    s.chart.setValues({1000, 100, 100});
    s.chart.setValues({100, 100, 100});
    EXPECT_DOUBLE_EQ(s.chart.prevMax(), 1000);
    EXPECT_DOUBLE_EQ(s.chart.smoothMax(), 775);
    EXPECT_TRUE(s.chart.isRescaling());
}

TEST(LineChart, ShrinkingOrGrowingListJumps)
{
    SizedChart s;
    s.chart.setValues({1, 2, 3, 4});
    s.chart.setValues({2, 3, 4});
    EXPECT_FALSE(s.chart.isSliding());
    s.chart.setValues({2, 3, 4, 5, 6});
    EXPECT_FALSE(s.chart.isSliding());
}

TEST(LineChart, OneStepRuleNeedsTwoOldValuesAndEqualLength)
{
    EXPECT_FALSE(FRWLineChart::isOneStepAfter({5}, {4}));
    EXPECT_TRUE(FRWLineChart::isOneStepAfter({2, 9}, {1, 2}));
    EXPECT_FALSE(FRWLineChart::isOneStepAfter({2, 9, 1}, {1, 2}));
    EXPECT_FALSE(FRWLineChart::isOneStepAfter({3, 9}, {1, 2}));
    EXPECT_TRUE(FRWLineChart::isOneStepAfter({1, 1, 1}, {1, 1, 1}));
}

TEST(LineChart, UnsizedChartDrawsNothingUntilLaidOut)
{
    FRWLineChart chart;
    chart.resize(0, 0);
    chart.show();
    chart.setValues({5, 10, 20});
    EXPECT_TRUE(chart.linePath().isEmpty());
    chart.resize(100, 40);
    const QList<QPointF> line = points(chart.linePath());
    ASSERT_EQ(line.size(), 3);
    EXPECT_DOUBLE_EQ(line[2].x(), 100);
    EXPECT_DOUBLE_EQ(line[2].y(), 2);
}

TEST(LineChart, NonFiniteValuesDrawAsZero)
{
    SizedChart s;
    s.chart.setValues(
        {std::numeric_limits<double>::quiet_NaN(), 10, std::numeric_limits<double>::infinity()});
    const QList<QPointF> line = points(s.chart.linePath());
    ASSERT_EQ(line.size(), 3);
    EXPECT_DOUBLE_EQ(line[2].y(), kHeight - 2);
    EXPECT_DOUBLE_EQ(line[1].y(), 2);
}

TEST(LineChart, FilledDefaultsOnAndSampleIntervalRejectsNonsense)
{
    FRWLineChart chart;
    EXPECT_TRUE(chart.isFilled());
    chart.setFilled(false);
    EXPECT_FALSE(chart.isFilled());
    chart.setSampleInterval(-3);
    EXPECT_DOUBLE_EQ(chart.sampleInterval(), 1.0);
    chart.setSampleInterval(0.5);
    EXPECT_DOUBLE_EQ(chart.sampleInterval(), 0.5);
}

TEST(LineChart, SlideGlidesToRestAndRescaleEndsOnTheNewPath)
{
    SizedChart s;
    s.chart.setSampleInterval(0.08);
    s.chart.setValues({10, 10, 10, 10});
    s.chart.setValues({10, 10, 10, 400});
    ASSERT_TRUE(s.chart.isSliding());
    ASSERT_TRUE(s.chart.isRescaling());
    const double start = s.chart.slideOffset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.chart.isSliding() && !s.chart.isRescaling(); }, 3000));
    EXPECT_DOUBLE_EQ(start, kWidth / 2);
    EXPECT_DOUBLE_EQ(s.chart.slideOffset(), 0);
    const QList<QPointF> line = points(s.chart.linePath());
    EXPECT_DOUBLE_EQ(line[3].y(), 2) << "at rest the line is drawn at the new scale";
}

TEST(LineChart, SlideOffsetOnlyDecreases)
{
    SizedChart s;
    s.chart.setSampleInterval(0.2);
    s.chart.setValues({1, 2, 3});
    s.chart.setValues({2, 3, 4});
    double last = s.chart.slideOffset();
    bool decreasing = true;
    for (int i = 0; i < 100 && s.chart.isSliding(); ++i) {
        QTest::qWait(5);
        decreasing = decreasing && s.chart.slideOffset() <= last;
        last = s.chart.slideOffset();
    }
    EXPECT_TRUE(decreasing);
    EXPECT_LT(last, kWidth);
}
