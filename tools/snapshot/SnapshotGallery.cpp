#include "SnapshotGallery.h"

#include <cmath>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "FRWBarChart.h"
#include "FRWCaptionLabel.h"
#include "FRWCardView.h"
#include "FRWCommandBox.h"
#include "FRWGradientView.h"
#include "FRWLineChart.h"
#include "FRWMainWindowController.h"
#include "FRWPillButton.h"
#include "FRWSegmented.h"
#include "FRWStackedBar.h"
#include "FRWStatColumn.h"
#include "FRWTheme.h"
#include "FRWTrafficRow.h"

namespace {
constexpr int kCardMargin = 18;

QList<double> wave(int count, double base, double swing, double phase)
{
    QList<double> values;
    for (int i = 0; i < count; ++i) {
        const double t = i * 0.45 + phase;
        values.append(std::max(0.0, base + swing * std::sin(t) + swing * 0.5 * std::sin(t * 2.7)));
    }
    return values;
}

FRWCardView* makeCard(const QString& caption, QVBoxLayout*& content)
{
    auto* card = FRWCardView::card();
    content = new QVBoxLayout(card);
    content->setContentsMargins(kCardMargin, kCardMargin - 2, kCardMargin, kCardMargin);
    content->setSpacing(10);
    content->addWidget(FRWCaptionLabel::captionWithString(caption));
    return card;
}

QLabel* bigNumber(const QString& text, qreal size)
{
    return FRWTheme::label(text, size, QFont::Bold, FRWTheme::primaryText());
}

QLabel* unitLabel(const QString& text)
{
    return FRWTheme::label(text, 15, QFont::DemiBold, FRWTheme::secondaryLabel());
}

QWidget* rateCard(const QString& caption, const QString& number, const QString& unit, FRWLineChart* chart)
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(caption, content);
    auto* figure = new QHBoxLayout;
    figure->setSpacing(6);
    figure->addWidget(bigNumber(number, 40), 0, Qt::AlignBottom);
    figure->addWidget(unitLabel(unit), 0, Qt::AlignBottom);
    figure->addStretch(1);
    content->addLayout(figure);
    content->addStretch(1);
    chart->setFixedHeight(52);
    content->addWidget(chart);
    return card;
}
} // namespace

QWidget* makeSnapshotGallery()
{
    auto* page = new FRWGradientView;
    page->setFixedSize(FRWMainWindowController::kContentWidth, FRWMainWindowController::kContentHeight);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(28, 28, 28, 28);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);

    // Row 1: the three line-chart states.
    auto* upload = new FRWLineChart;
    upload->setTint(FRWTheme::purple());
    upload->setFilled(false);
    upload->setValues(wave(32, 240, 120, 0.3));
    grid->addWidget(rateCard(QStringLiteral("Upload"), QStringLiteral("312"), QStringLiteral("KB/s"), upload),
                    0, 0);
    auto* download = new FRWLineChart;
    download->setTint(FRWTheme::cyan());
    download->setFilled(true);
    download->setValues(wave(32, 900, 520, 1.7));
    grid->addWidget(
        rateCard(QStringLiteral("Download"), QStringLiteral("1.2"), QStringLiteral("MB/s"), download), 0, 1);
    auto* idle = new FRWLineChart;
    idle->setFilled(true);
    grid->addWidget(rateCard(QStringLiteral("Idle chart"), QStringLiteral("0"), QStringLiteral("B/s"), idle),
                    0, 2);

    // Row 2: bar charts, with data and empty, and the segmented controls.
    {
        QVBoxLayout* content = nullptr;
        FRWCardView* card = makeCard(QStringLiteral("Traffic"), content);
        auto* filters = new QHBoxLayout;
        auto* filter = new FRWSegmented({QStringLiteral("ALL"), QStringLiteral("PROXY")});
        filters->addWidget(filter);
        filters->addStretch(1);
        auto* dimension =
            new FRWSegmented({QStringLiteral("CLIENT"), QStringLiteral("DOMAIN"), QStringLiteral("POLICY")});
        dimension->setSelectedIndex(1);
        filters->addWidget(dimension);
        content->addLayout(filters);
        auto* hourly = new FRWBarChart;
        QList<double> hours;
        for (int i = 0; i < 24; ++i) {
            hours.append(i < 7 ? 0 : 40 + 60 * std::abs(std::sin(i * 0.7)) + (i == 15 ? 120 : 0));
        }
        hourly->setValues(hours);
        hourly->setFixedHeight(92);
        content->addWidget(hourly);
        grid->addWidget(card, 1, 0, 1, 2);
    }
    {
        QVBoxLayout* content = nullptr;
        FRWCardView* card = makeCard(QStringLiteral("Empty hours"), content);
        auto* period = new FRWSegmented({QStringLiteral("TODAY"), QStringLiteral("MONTH")});
        content->addWidget(period, 0, Qt::AlignLeft);
        auto* empty = new FRWBarChart;
        empty->setValues(QList<double>(5, 0.0));
        empty->setFixedHeight(92);
        content->addWidget(empty);
        grid->addWidget(card, 1, 2);
    }

    // Row 3: stat columns and pills; stacked bars and traffic rows; command box.
    {
        QVBoxLayout* content = nullptr;
        FRWCardView* card = makeCard(QStringLiteral("Header figures"), content);
        auto* pills = new QHBoxLayout;
        pills->setSpacing(10);
        pills->addWidget(new FRWPillButton(QStringLiteral("System Proxy"), FRWTheme::statusGreen()));
        pills->addWidget(new FRWPillButton(QStringLiteral("Enhanced Mode"), FRWTheme::secondaryLabel()));
        pills->addWidget(new FRWPillButton(QStringLiteral("No Dot"), std::nullopt));
        pills->addStretch(1);
        content->addLayout(pills);
        auto* columns = new QHBoxLayout;
        auto* network = new FRWStatColumn(QStringLiteral("Network"), QStringLiteral("Home Wi-Fi"));
        auto* outbound =
            new FRWStatColumn(QStringLiteral("Outbound Mode"), QStringLiteral("Rule-Based Proxy"));
        outbound->setShowsChevron(true);
        outbound->setOnClick([] {});
        auto* address = new FRWStatColumn(QStringLiteral("External IP"), QStringLiteral("203.0.113.42"));
        address->setShowsChevron(true);
        address->setSubtitle(QStringLiteral("AS64500 · Example Net"));
        columns->addWidget(network);
        columns->addWidget(outbound);
        columns->addWidget(address);
        content->addLayout(columns);
        content->addStretch(1);
        content->addWidget(FRWCaptionLabel::captionWithString(QStringLiteral("Internet Latency")));
        auto* latency = new QHBoxLayout;
        latency->setSpacing(6);
        latency->addWidget(bigNumber(QStringLiteral("38"), 40), 0, Qt::AlignBottom);
        latency->addWidget(unitLabel(QStringLiteral("ms")), 0, Qt::AlignBottom);
        latency->addSpacing(40);
        auto* dns = new FRWStatColumn(QStringLiteral("DNS"), QStringLiteral("12 ms"));
        auto* proxy = new FRWStatColumn(QStringLiteral("Proxy"), QStringLiteral("\u2014"));
        latency->addWidget(dns, 0, Qt::AlignBottom);
        latency->addSpacing(24);
        latency->addWidget(proxy, 0, Qt::AlignBottom);
        latency->addStretch(1);
        content->addLayout(latency);
        grid->addWidget(card, 2, 0, 1, 2);
    }
    {
        QVBoxLayout* content = nullptr;
        FRWCardView* card = makeCard(QStringLiteral("Top traffic"), content);
        const struct {
            const char* name;
            qint64 bytes;
        } rows[] = {{"org.mozilla.firefox", 734003200}, {"api.example.com", 136314880}, {"git", 1536}};
        for (const auto& row : rows) {
            auto* traffic = new FRWTrafficRow;
            traffic->updateWithName(QString::fromLatin1(row.name), row.bytes,
                                    static_cast<double>(row.bytes) / static_cast<double>(rows[0].bytes));
            content->addWidget(traffic);
        }
        for (double fraction : {0.0, 0.01, 0.62}) {
            auto* bar = new FRWStackedBar;
            bar->setFixedHeight(6);
            bar->setLeftFraction(fraction);
            content->addWidget(bar);
        }
        auto* command = new FRWCommandBox;
        auto* commandLayout = new QHBoxLayout(command);
        commandLayout->setContentsMargins(10, 6, 10, 6);
        auto* commandText = new QLabel(QStringLiteral("ferrow-server install"));
        QFont mono = FRWTheme::font(11.5);
        mono.setFamily(QStringLiteral("monospace"));
        mono.setStyleHint(QFont::Monospace);
        commandText->setFont(mono);
        FRWTheme::bindTextColor(commandText, FRWTheme::label());
        commandLayout->addWidget(commandText);
        content->addWidget(command);
        content->addStretch(1);
        grid->addWidget(card, 2, 2);
    }
    for (int column = 0; column < 3; ++column) {
        grid->setColumnStretch(column, 1);
    }
    return page;
}
