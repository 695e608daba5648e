#include "FRWActivityViewController.h"

#include <algorithm>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QToolButton>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWAppearance.h"
#include "FRWBarChart.h"
#include "FRWByteText.h"
#include "FRWCaptionBar.h"
#include "FRWCaptionLabel.h"
#include "FRWCardView.h"
#include "FRWClock.h"
#include "FRWFlipped.h"
#include "FRWLineChart.h"
#include "FRWPillButton.h"
#include "FRWProbeText.h"
#include "FRWProfileStore.h"
#include "FRWProfileValidation.h"
#include "FRWScreenText.h"
#include "FRWSegmented.h"
#include "FRWStackedBar.h"
#include "FRWStatColumn.h"
#include "FRWSymbols.h"
#include "FRWTheme.h"
#include "FRWTrafficRow.h"

namespace {
constexpr int kMargin = 28;
constexpr int kBottomMargin = 20;
constexpr int kCardInset = 18;

QLabel* bigNumber(const QString& text, qreal size)
{
    return FRWTheme::label(text, size, QFont::Bold, FRWTheme::primaryText());
}

QLabel* unitLabel(const QString& text)
{
    return FRWTheme::label(text, 15, QFont::DemiBold, FRWTheme::secondaryLabel());
}

QLabel* smallLabel(const QString& text, qreal size, const FRWDynamicColor& color,
                   QFont::Weight weight = QFont::Normal)
{
    auto* label = new QLabel(text);
    label->setFont(FRWTheme::font(size, weight));
    FRWTheme::bindTextColor(label, color);
    return label;
}

FRWCardView* makeCard(QWidget* parent, const QString& objectName, QVBoxLayout*& content)
{
    auto* card = FRWCardView::card(parent);
    card->setObjectName(objectName);
    content = new QVBoxLayout(card);
    content->setContentsMargins(kCardInset, kCardInset - 2, kCardInset, kCardInset);
    content->setSpacing(8);
    return card;
}

QHBoxLayout* figureRow(QLabel* number, QLabel* unit)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(number, 0, Qt::AlignBaseline);
    if (unit) {
        row->addWidget(unit, 0, Qt::AlignBaseline);
    }
    row->addStretch(1);
    return row;
}

/// The small round dot of the Active Connection card.
class GreenDot : public QWidget {
public:
    GreenDot()
    {
        setFixedSize(10, 10);
        connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(FRWTheme::statusGreen().resolved());
        painter.drawRoundedRect(QRectF(rect()), 5, 5);
    }
};

QList<double> toDoubles(const QList<qint64>& values)
{
    QList<double> out;
    out.reserve(values.size());
    for (qint64 value : values) {
        out.append(static_cast<double>(value));
    }
    return out;
}
} // namespace

FRWActivityViewController::FRWActivityViewController(FRWScreensContext context, QObject* parent)
    : FRWViewController(parent), m_context(std::move(context))
{
}

void FRWActivityViewController::loadView()
{
    auto* root = new QWidget;
    root->setObjectName(QStringLiteral("activityView"));
    root->resize(732, 680);
    setView(root);
}

void FRWActivityViewController::viewDidLoad()
{
    build();
    connect(m_context.model, &FRWAppModel::didUpdate, this, &FRWActivityViewController::refresh);
    refresh();
}

void FRWActivityViewController::build()
{
    QWidget* root = view();
    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(root);
    scroll->setObjectName(QStringLiteral("pageScrollArea"));
    scroll->setAccessibleName(tr("Activity"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always on, so the document keeps one width whether or not it scrolls: the thin scroller sits
    // in the right margin and shows its handle only when there is something to scroll.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FRWTheme::styleScroller(scroll->verticalScrollBar());
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    rootLayout->addWidget(scroll);
    auto* doc = new FRWFlipped;
    doc->setObjectName(QStringLiteral("activityDoc"));
    auto* layout = new QVBoxLayout(doc);
    layout->setContentsMargins(kMargin, 20, kMargin - FRWTheme::kScrollerWidth, kBottomMargin);
    layout->setSpacing(0);

    // Header: the two mode pills at the top right, the title below them.
    auto* pills = new QHBoxLayout;
    pills->setSpacing(10);
    pills->addStretch(1);
    m_systemProxyPill = new FRWPillButton(tr("System Proxy"), FRWTheme::secondaryLabel());
    m_systemProxyPill->setObjectName(QStringLiteral("systemProxyPill"));
    m_enhancedPill = new FRWPillButton(tr("Enhanced Mode"), FRWTheme::secondaryLabel());
    m_enhancedPill->setObjectName(QStringLiteral("enhancedPill"));
    m_systemProxyPill->setCheckable(true);
    m_enhancedPill->setCheckable(true);
    pills->addWidget(m_systemProxyPill);
    pills->addWidget(m_enhancedPill);
    layout->addLayout(pills);
    layout->addSpacing(4);
    auto* title = new QLabel(tr("Activity"));
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(FRWTheme::font(28, QFont::Bold));
    FRWTheme::bindTextColor(title, FRWTheme::primaryText());
    layout->addWidget(title);
    layout->addSpacing(14);
    m_otherAccountsNote = FRWTheme::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    m_otherAccountsNote->setObjectName(QStringLiteral("otherAccountsNote"));
    m_otherAccountsNote->setWordWrap(true);
    m_otherAccountsNote->setVisible(false);
    layout->addWidget(m_otherAccountsNote);
    layout->addWidget(buildFirstRunPanel());

    // The header figures.
    auto* columns = new QHBoxLayout;
    columns->setSpacing(16);
    m_networkCol = new FRWStatColumn(tr("Network"), FRWScreenText::noValue());
    m_profileCol = new FRWStatColumn(tr("Profile"), FRWScreenText::noValue());
    m_outboundCol = new FRWStatColumn(tr("Outbound Mode"), tr("Rule-Based Proxy"));
    m_externalIPCol = new FRWStatColumn(tr("External IP"), FRWScreenText::noValue());
    m_networkCol->setObjectName(QStringLiteral("networkStatColumn"));
    m_profileCol->setObjectName(QStringLiteral("profileStatColumn"));
    m_outboundCol->setObjectName(QStringLiteral("outboundStatColumn"));
    m_externalIPCol->setObjectName(QStringLiteral("externalIPStatColumn"));
    m_outboundCol->setShowsChevron(true);
    m_externalIPCol->setShowsChevron(true);
    m_outboundCol->setOnClick([this] { showOutboundMenu(); });
    m_externalIPCol->setOnClick([this] { showExternalIPMenu(); });
    // No stretch factors: each column starts from what its text needs and they share what is
    // left, so a long mode or address is not cut while a short network name has room to spare.
    for (FRWStatColumn* column : {m_networkCol, m_profileCol, m_outboundCol, m_externalIPCol}) {
        columns->addWidget(column, 0, Qt::AlignTop);
    }
    layout->addLayout(columns);
    layout->addSpacing(18);

    // Two rows of three cards.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);
    grid->addWidget(buildLatencyCard(), 0, 0);
    grid->addWidget(buildActiveCard(), 0, 1);
    grid->addWidget(buildTotalCard(), 0, 2);
    grid->addWidget(buildRateCard(tr("Upload"), m_uploadValue, m_uploadUnit, m_uploadChart), 1, 0);
    grid->addWidget(buildRateCard(tr("Download"), m_downloadValue, m_downloadUnit, m_downloadChart), 1, 1);
    grid->addWidget(buildTrafficCard(), 1, 2);
    grid->setColumnStretch(0, 10);
    grid->setColumnStretch(1, 10);
    grid->setColumnStretch(2, 13);
    layout->addLayout(grid);
    layout->addStretch(1);

    m_uploadChart->setTint(FRWTheme::purple());
    m_uploadChart->setFilled(false);
    m_downloadChart->setTint(FRWTheme::cyan());
    m_downloadChart->setFilled(true);

    scroll->setWidget(doc);
    doc->setAutoFillBackground(false);

    if (m_context.profiles) {
        connect(m_context.profiles, &FRWProfileStore::profilesChanged, this,
                &FRWActivityViewController::refresh);
    }
    FRWAppModel* model = m_context.model;
    connect(m_systemProxyPill, &FRWPillButton::clicked, model, [model] { model->toggleSystemProxy(); });
    connect(m_enhancedPill, &FRWPillButton::clicked, model, [model] { model->toggle(); });
}

QWidget* FRWActivityViewController::buildFirstRunPanel()
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), QStringLiteral("firstRunPanel"), content);
    content->addWidget(
        FRWTheme::label(tr("Add your server to get started"), 15, QFont::Bold, FRWTheme::primaryText()));
    auto* body = FRWTheme::label(
        tr("The profile still holds the example nodes, which cannot work. Copy the ferrow:// link "
           "your server printed and paste it here: Ferrow adds the node, puts it in the Proxy "
           "group and chooses it. Then turn on System Proxy.\n\nNo server yet? Install "
           "ferrow-server on a machine of yours; the About page has the commands.\n\nTo show your external "
           "address, its location and your resolver's latency, Ferrow asks public echo, location "
           "and DNS services; turn that off under Settings \u2192 Privacy."),
        12, QFont::Normal, FRWTheme::secondaryLabel());
    body->setWordWrap(true);
    content->addWidget(body);
    auto* row = new QHBoxLayout;
    auto* paste = new QPushButton(tr("Paste ferrow:// Link"));
    paste->setObjectName(QStringLiteral("pasteLinkButton"));
    connect(paste, &QPushButton::clicked, this, &FRWActivityViewController::pasteFirstNode);
    row->addWidget(paste);
    m_firstRunNote = FRWTheme::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    m_firstRunNote->setObjectName(QStringLiteral("firstRunNote"));
    m_firstRunNote->setWordWrap(true);
    row->addWidget(m_firstRunNote, 1);
    content->addLayout(row);
    m_firstRunPanel = card;
    m_pasteButton = paste;
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &FRWActivityViewController::offerClipboardLink);
    return card;
}

void FRWActivityViewController::offerClipboardLink()
{
    if (!m_firstRunShown) {
        return;
    }
    // A link already copied is offered by name, so one press adds it; nothing is added unasked.
    const std::optional<QVariantMap> link =
        FRWProfileStore::parseShareURI(QApplication::clipboard()->text().trimmed());
    if (!link) {
        m_pasteButton->setText(tr("Paste ferrow:// Link"));
        return;
    }
    const QString name = link->value(QStringLiteral("name")).toString().trimmed();
    const QString where = QStringLiteral("%1:%2").arg(link->value(QStringLiteral("server")).toString(),
                                                      link->value(QStringLiteral("port")).toString());
    m_pasteButton->setText(name.isEmpty() ? tr("Add %1").arg(where) : tr("Add \u201C%1\u201D").arg(name));
    m_firstRunNote->setText(tr("A ferrow:// link for %1 is on the clipboard.").arg(where));
}

void FRWActivityViewController::pasteFirstNode()
{
    FRWProfileStore* profiles = m_context.profiles;
    if (!profiles) {
        return;
    }
    const QString text = QApplication::clipboard()->text().trimmed();
    const std::optional<QVariantMap> link = FRWProfileStore::parseShareURI(text);
    if (!link) {
        m_firstRunNote->setText(FRWScreenText::noLinkText(text));
        return;
    }
    QStringList taken;
    for (const QVariantMap& node : profiles->nodes()) {
        taken << node.value(QStringLiteral("name")).toString();
    }
    QStringList groups;
    for (const QVariantMap& group : profiles->groups()) {
        groups << group.value(QStringLiteral("name")).toString();
    }
    const QString wanted = link->value(QStringLiteral("name")).toString().trimmed();
    QString name = wanted.isEmpty() ? QStringLiteral("My Server") : wanted;
    for (int n = 2; !FRWProfileValidation::nodeNameProblem(name, taken, groups).isEmpty() && n < 100; ++n) {
        name = QStringLiteral("%1 %2").arg(wanted.isEmpty() ? QStringLiteral("My Server") : wanted).arg(n);
    }
    if (const QString problem = FRWProfileValidation::nodeNameProblem(name, taken, groups);
        !problem.isEmpty()) {
        m_firstRunNote->setText(problem);
        return;
    }
    profiles->addNode(name, link->value(QStringLiteral("server")).toString(),
                      link->value(QStringLiteral("port")).toInt(),
                      link->value(QStringLiteral("psk")).toString(),
                      link->value(QStringLiteral("tfo"), QStringLiteral("off")).toString());
    m_context.model->selectGroup(QStringLiteral("Proxy"), name);
    refresh();
}

QWidget* FRWActivityViewController::buildLatencyCard()
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), QStringLiteral("latencyCard"), content);
    auto* caption = new QHBoxLayout;
    caption->setSpacing(4);
    // May take two lines in a language with longer words, rather than widen the row of cards.
    FRWCaptionLabel* title = FRWCaptionLabel::captionWithString(tr("Internet Latency"));
    title->setWordWrap(true);
    caption->addWidget(title);
    auto* refreshButton = new QToolButton;
    refreshButton->setObjectName(QStringLiteral("refreshLatencyButton"));
    refreshButton->setAutoRaise(true);
    refreshButton->setAccessibleName(tr("Refresh"));
    refreshButton->setToolTip(tr("Refresh"));
    refreshButton->setIconSize(QSize(12, 12));
    refreshButton->setIcon(
        FRWSymbols::themedIcon(QStringLiteral("arrow.clockwise"), FRWTheme::secondaryLabel()));
    FRWAppModel* model = m_context.model;
    connect(refreshButton, &QToolButton::clicked, model, [model] { model->refreshExternalIP(); });
    caption->addWidget(refreshButton);
    caption->addStretch(1);
    content->addLayout(caption);
    m_latencyValue = bigNumber(FRWScreenText::noValue(), 40);
    m_latencyValue->setObjectName(QStringLiteral("latencyValue"));
    content->addLayout(figureRow(m_latencyValue, unitLabel(QStringLiteral("ms"))));
    content->addStretch(1);
    auto* sub = new QHBoxLayout;
    sub->setSpacing(16);
    m_dnsCol = new FRWStatColumn(QStringLiteral("DNS"), FRWScreenText::noValue());
    m_proxyCol = new FRWStatColumn(tr("Proxy"), FRWScreenText::noValue());
    m_dnsCol->setObjectName(QStringLiteral("dnsStatColumn"));
    m_proxyCol->setObjectName(QStringLiteral("proxyStatColumn"));
    sub->addWidget(m_dnsCol, 1);
    sub->addWidget(m_proxyCol, 1);
    content->addLayout(sub);
    return card;
}

QWidget* FRWActivityViewController::buildActiveCard()
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), QStringLiteral("activeCard"), content);
    auto* caption = new QHBoxLayout;
    caption->setSpacing(6);
    // May take two lines in a language with longer words, rather than widen the row of cards.
    FRWCaptionLabel* title = FRWCaptionLabel::captionWithString(tr("Active Connection"));
    title->setWordWrap(true);
    caption->addWidget(title, 1);
    caption->addWidget(new GreenDot, 0, Qt::AlignVCenter);
    content->addLayout(caption);
    m_activeValue = bigNumber(QStringLiteral("0"), 40);
    m_activeValue->setObjectName(QStringLiteral("activeValue"));
    content->addLayout(figureRow(m_activeValue, nullptr));
    content->addStretch(1);
    m_processesValue = bigNumber(QStringLiteral("0"), 20);
    m_processesValue->setObjectName(QStringLiteral("processesValue"));
    content->addWidget(m_processesValue);
    content->addSpacing(-6);
    content->addWidget(smallLabel(tr("Processes"), 11, FRWTheme::secondaryLabel()));
    return card;
}

QWidget* FRWActivityViewController::buildTotalCard()
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), QStringLiteral("totalCard"), content);
    m_totalPeriod = new FRWSegmented({tr("TODAY"), tr("MONTH")});
    m_totalPeriod->setObjectName(QStringLiteral("totalPeriod"));
    m_totalPeriod->setAccessibleName(tr("Total Traffic Period"));
    m_totalPeriod->onChange = [this](int) { refresh(); };
    content->addWidget(
        new FRWCaptionBar(FRWCaptionLabel::captionWithString(tr("Total Traffic")), m_totalPeriod));
    m_totalValue = bigNumber(QStringLiteral("0"), 30);
    m_totalValue->setObjectName(QStringLiteral("totalValue"));
    m_totalUnit = unitLabel(QStringLiteral("B"));
    m_totalUnit->setObjectName(QStringLiteral("totalUnit"));
    content->addLayout(figureRow(m_totalValue, m_totalUnit));
    content->addStretch(1);
    // The model gives each period's bytes sent and received, so the two figures say just that.
    auto* figures = new QGridLayout;
    figures->setVerticalSpacing(2);
    figures->addWidget(FRWCaptionLabel::captionWithString(tr("Upload")), 0, 0, Qt::AlignLeft);
    figures->addWidget(FRWCaptionLabel::captionWithString(tr("Download")), 0, 1, Qt::AlignRight);
    m_totalUpValue = smallLabel(QStringLiteral("0 B"), 13, FRWTheme::primaryText(), QFont::DemiBold);
    m_totalUpValue->setObjectName(QStringLiteral("totalUpValue"));
    m_totalDownValue = smallLabel(QStringLiteral("0 B"), 13, FRWTheme::primaryText(), QFont::DemiBold);
    m_totalDownValue->setObjectName(QStringLiteral("totalDownValue"));
    m_totalDownValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    figures->addWidget(m_totalUpValue, 1, 0, Qt::AlignLeft);
    figures->addWidget(m_totalDownValue, 1, 1, Qt::AlignRight);
    content->addLayout(figures);
    m_totalBar = new FRWStackedBar;
    m_totalBar->setObjectName(QStringLiteral("totalBar"));
    m_totalBar->setFixedHeight(6);
    content->addWidget(m_totalBar);
    return card;
}

QWidget* FRWActivityViewController::buildRateCard(const QString& caption, QLabel*& value, QLabel*& unit,
                                                  FRWLineChart*& chart)
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), caption.toLower() + QStringLiteral("Card"), content);
    content->addWidget(FRWCaptionLabel::captionWithString(caption));
    value = bigNumber(QStringLiteral("0"), 40);
    value->setObjectName(caption.toLower() + QStringLiteral("Value"));
    unit = unitLabel(QStringLiteral("B/s"));
    unit->setObjectName(caption.toLower() + QStringLiteral("Unit"));
    content->addLayout(figureRow(value, unit));
    content->addStretch(1);
    chart = new FRWLineChart;
    chart->setObjectName(caption.toLower() + QStringLiteral("Chart"));
    chart->setFixedHeight(52);
    chart->setSampleInterval(1.0);
    content->addWidget(chart);
    return card;
}

QWidget* FRWActivityViewController::buildTrafficCard()
{
    QVBoxLayout* content = nullptr;
    FRWCardView* card = makeCard(view(), QStringLiteral("trafficCard"), content);
    m_trafficFilter = new FRWSegmented({tr("ALL"), tr("PROXY")});
    m_trafficFilter->setObjectName(QStringLiteral("trafficFilter"));
    m_trafficFilter->setAccessibleName(tr("Traffic Shown"));
    content->addWidget(new FRWCaptionBar(FRWCaptionLabel::captionWithString(tr("Traffic")), m_trafficFilter));
    m_trafficChart = new FRWBarChart;
    m_trafficChart->setObjectName(QStringLiteral("trafficChart"));
    m_trafficChart->setTint(FRWTheme::cyan());
    // Lower than the rate charts, so the period row fits with five rows under it.
    m_trafficChart->setFixedHeight(30);
    content->addWidget(m_trafficChart);
    m_trafficDim = new FRWSegmented({tr("CLIENT"), tr("DOMAIN"), tr("POLICY")});
    m_trafficDim->setObjectName(QStringLiteral("trafficDim"));
    m_trafficDim->setAccessibleName(tr("Traffic Grouped By"));
    m_trafficDim->setSelectedIndex(1);
    content->addWidget(m_trafficDim, 0, Qt::AlignLeft);
    content->addSpacing(-4);
    // Short labels: the card is narrow, and longer languages need the room.
    m_trafficPeriod =
        new FRWSegmented({tr("NOW"), tr("1D", "today"), tr("7D", "seven days"), tr("30D", "thirty days")});
    m_trafficPeriod->setObjectName(QStringLiteral("trafficPeriod"));
    m_trafficPeriod->setAccessibleName(tr("Traffic Period"));
    content->addWidget(m_trafficPeriod, 0, Qt::AlignLeft);
    m_trafficList = new QWidget;
    m_trafficList->setObjectName(QStringLiteral("trafficList"));
    m_trafficListLayout = new QVBoxLayout(m_trafficList);
    m_trafficListLayout->setContentsMargins(0, 0, 0, 0);
    m_trafficListLayout->setSpacing(6);
    content->addWidget(m_trafficList);
    content->addStretch(1);
    m_trafficFilter->onChange = [this](int) {
        m_trafficFetchedAt = {};
        refreshTraffic();
    };
    m_trafficDim->onChange = [this](int) {
        m_trafficFetchedAt = {};
        refreshTraffic();
    };
    m_trafficPeriod->onChange = [this](int) {
        m_trafficFetchedAt = {};
        refreshTraffic();
    };
    return card;
}

void FRWActivityViewController::refresh()
{
    if (!m_systemProxyPill) {
        return;
    }
    const FRWAppModel& model = *m_context.model;
    const bool firstRun = m_context.profiles && !m_context.profiles->hasUsableNode();
    const bool appearing = firstRun && !m_firstRunShown;
    m_firstRunShown = firstRun;
    m_firstRunPanel->setVisible(firstRun);
    if (appearing) {
        offerClipboardLink();
    }
    const FRWDynamicColor idle = FRWTheme::secondaryLabel();
    m_enhancedPill->setDotColor(model.enhancedRunning() ? FRWTheme::statusGreen() : idle);
    m_systemProxyPill->setDotColor(model.systemProxyRunning() ? FRWTheme::statusGreen() : idle);
    m_enhancedPill->setChecked(model.enhancedRunning());
    m_systemProxyPill->setChecked(model.systemProxyRunning());
    const QString otherAccounts = model.otherAccountsNotice();
    m_otherAccountsNote->setText(otherAccounts);
    m_otherAccountsNote->setVisible(!otherAccounts.isEmpty());

    m_networkCol->setValue(model.networkName());
    const FRWProfilePtr profile = m_context.profiles ? m_context.profiles->activeProfile() : nullptr;
    m_profileCol->setValue(profile ? profile->name : FRWScreenText::noValue());
    m_outboundCol->setValue(FRWScreenText::outboundDisplay(model.outboundMode(), model.outboundGlobalNode()));
    // Without a font that draws the flag it would show as two empty boxes: the code says as much.
    const QString flag = FRWScreenText::flagFor(model.geoCountryCode());
    const bool flagDrawn = FRWScreenText::drawsFlag(flag, FRWStatColumn::valueFont());
    m_externalIPCol->setValue(flagDrawn
                                  ? FRWScreenText::externalIPText(model.geoCountryCode(), model.externalIP())
                                  : model.externalIP());
    m_externalIPCol->setBadge(!flag.isEmpty() && !flagDrawn ? model.geoCountryCode().toUpper() : QString());
    m_externalIPCol->setSubtitle(FRWScreenText::asnText(model.geoASN()));

    m_latencyValue->setText(model.latencyText());
    m_dnsCol->setValue(FRWScreenText::withMilliseconds(model.dnsLatencyText()));
    m_proxyCol->setValue(FRWScreenText::withMilliseconds(model.proxyLatencyText()));

    const FRWByteText::Parts up = FRWByteText::rateParts(model.uplinkRate());
    const FRWByteText::Parts down = FRWByteText::rateParts(model.downlinkRate());
    m_uploadValue->setText(up.number);
    m_uploadUnit->setText(up.unit);
    m_downloadValue->setText(down.number);
    m_downloadUnit->setText(down.unit);
    m_uploadChart->setValues(model.uplinkHistory());
    m_downloadChart->setValues(model.downlinkHistory());

    const bool month = m_totalPeriod->selectedIndex() == 1;
    const qint64 sent = month ? model.statsMonthUp() : model.statsTodayUp();
    const qint64 received = month ? model.statsMonthDown() : model.statsTodayDown();
    const FRWByteText::Parts total =
        FRWByteText::sizeParts(static_cast<double>(sent) + static_cast<double>(received));
    m_totalValue->setText(total.number);
    m_totalUnit->setText(total.unit);
    m_totalUpValue->setText(FRWByteText::size(static_cast<double>(sent)));
    m_totalDownValue->setText(FRWByteText::size(static_cast<double>(received)));
    const double sum = static_cast<double>(sent) + static_cast<double>(received);
    m_totalBar->setLeftFraction(sum > 0 ? static_cast<double>(sent) / sum : 0.0);

    int active = 0;
    QSet<QString> processes;
    for (const QJsonValue value : model.connections()) {
        const QJsonObject connection = value.toObject();
        active += FRWScreenText::isClosed(connection) ? 0 : 1;
        const QString process = FRWScreenText::stringOf(connection, "process");
        if (!process.isEmpty()) {
            processes.insert(process);
        }
    }
    m_activeValue->setText(QString::number(active));
    m_processesValue->setText(QString::number(processes.size()));

    refreshTraffic();
}

void FRWActivityViewController::refreshTraffic()
{
    if (!m_trafficChart) {
        return;
    }
    const FRWAppModel& model = *m_context.model;
    m_trafficChart->setValues(toDoubles(model.statsHourly()));
    if (m_trafficPeriod->selectedIndex() > 0) {
        refreshTrafficHistory(false);
        return;
    }

    const bool proxyOnly = m_trafficFilter->selectedIndex() == 1;
    const int dimension = m_trafficDim->selectedIndex();
    QHash<QString, qint64> totals;
    for (const QJsonValue value : model.connections()) {
        const QJsonObject connection = value.toObject();
        const QString policy = FRWScreenText::stringOf(connection, "policy");
        if (proxyOnly && (policy == QLatin1String("DIRECT") || policy == QLatin1String("REJECT"))) {
            continue;
        }
        QString host = FRWScreenText::stringOf(connection, "host");
        if (host.isEmpty()) {
            host = FRWScreenText::noValue();
        }
        const QString process = FRWScreenText::stringOf(connection, "process");
        const QString client = process.isEmpty() ? host : process;
        const QString& key = dimension == 0 ? client : dimension == 1 ? host : policy;
        totals[key] +=
            FRWScreenText::integerOf(connection, "up") + FRWScreenText::integerOf(connection, "down");
    }
    QList<std::pair<QString, qint64>> ordered;
    ordered.reserve(totals.size());
    for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
        ordered.append({it.key(), it.value()});
    }
    showTraffic(std::move(ordered));
}

void FRWActivityViewController::refreshTrafficHistory(bool force)
{
    constexpr qint64 kHistoryRefreshMs = 5000;
    const QDateTime at = (m_context.clock ? *m_context.clock : FRWClock::system()).now();
    if (!force && m_trafficFetchedAt.isValid() && m_trafficFetchedAt.msecsTo(at) < kHistoryRefreshMs) {
        return;
    }
    m_trafficFetchedAt = at;
    static const int kDays[] = {0, 1, 7, 30};
    static const char* const kDimensions[] = {"process", "domain", "policy"};
    const int dimension = std::clamp(m_trafficDim->selectedIndex(), 0, 2);
    const int request = ++m_trafficRequest;
    m_context.model->fetchHistory(
        QLatin1String(kDimensions[dimension]), kDays[std::clamp(m_trafficPeriod->selectedIndex(), 1, 3)],
        [this, request, dimension, guard = QPointer(this)](std::optional<QJsonObject> answer) {
            if (!guard || request != m_trafficRequest || m_trafficPeriod->selectedIndex() == 0) {
                return;
            }
            // The history knows a connection's policy only in its own dimension, so PROXY filters
            // the policies; programs are listed by name, as on the Process page.
            const bool proxyOnly = m_trafficFilter->selectedIndex() == 1 && dimension == 2;
            QHash<QString, qint64> totals;
            for (const QJsonValue value :
                 answer.value_or(QJsonObject()).value(QStringLiteral("items")).toArray()) {
                const QJsonObject item = value.toObject();
                QString name = item.value(QStringLiteral("name")).toString();
                if (proxyOnly && (name == QLatin1String("DIRECT") || name == QLatin1String("REJECT"))) {
                    continue;
                }
                if (dimension == 0) {
                    name = FRWScreenText::programName(name);
                }
                totals[name] += FRWScreenText::integerOf(item, "up") + FRWScreenText::integerOf(item, "down");
            }
            QList<std::pair<QString, qint64>> ordered;
            for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
                ordered.append({it.key(), it.value()});
            }
            showTraffic(std::move(ordered));
        });
}

void FRWActivityViewController::showTraffic(QList<std::pair<QString, qint64>> ordered)
{
    // Largest first; equal totals by name, so rows do not swap places from one poll to the next.
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });

    if (!m_trafficEmpty) {
        m_trafficEmpty = smallLabel(tr("No traffic yet"), 12, FRWTheme::secondaryLabel());
        m_trafficEmpty->setObjectName(QStringLiteral("trafficEmptyLabel"));
        m_trafficListLayout->addWidget(m_trafficEmpty);
        for (int i = 0; i < kTopTraffic; ++i) {
            auto* row = new FRWTrafficRow;
            row->setObjectName(QStringLiteral("trafficRow%1").arg(i));
            m_trafficListLayout->addWidget(row);
            m_trafficRows.append(row);
        }
    }
    m_trafficEmpty->setVisible(ordered.isEmpty());
    const double largest =
        ordered.isEmpty() ? 1.0 : std::max<double>(1.0, static_cast<double>(ordered.first().second));
    for (int i = 0; i < kTopTraffic; ++i) {
        FRWTrafficRow* row = m_trafficRows.at(i);
        if (i < ordered.size()) {
            row->updateWithName(ordered.at(i).first, ordered.at(i).second,
                                static_cast<double>(ordered.at(i).second) / largest);
            row->show();
        } else {
            row->hide();
        }
    }
}

QMenu* FRWActivityViewController::buildOutboundMenu()
{
    const FRWAppModel& model = *m_context.model;
    auto* menu = new QMenu(view());
    menu->setObjectName(QStringLiteral("outboundMenu"));
    const QString mode = model.outboundMode();
    FRWAppModel* target = m_context.model;
    // One mode at a time: the three items are drawn and behave as radio items.
    auto* modes = new QActionGroup(menu);
    modes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const auto& [title, value] : {std::pair{tr("Rule-Based"), QStringLiteral("rule")},
                                       std::pair{tr("Direct"), QStringLiteral("direct")}}) {
        QAction* action = menu->addAction(title);
        action->setCheckable(true);
        modes->addAction(action);
        action->setChecked(mode == value);
        connect(action, &QAction::triggered, target,
                [target, mode = value] { target->setOutboundMode(mode, QString()); });
    }
    QMenu* global = menu->addMenu(tr("Global"));
    global->menuAction()->setCheckable(true);
    modes->addAction(global->menuAction());
    global->menuAction()->setChecked(mode == QLatin1String("global"));
    auto* nodes = new QActionGroup(global);
    nodes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    if (model.outboundNodes().isEmpty()) {
        global->addAction(tr("(connect to load nodes)"))->setEnabled(false);
    }
    for (const QString& node : model.outboundNodes()) {
        QAction* action = global->addAction(node);
        action->setCheckable(true);
        nodes->addAction(action);
        action->setChecked(mode == QLatin1String("global") && node == model.outboundGlobalNode());
        connect(action, &QAction::triggered, target,
                [target, node] { target->setOutboundMode(QStringLiteral("global"), node); });
    }
    return menu;
}

QMenu* FRWActivityViewController::buildExternalIPMenu()
{
    const FRWAppModel& model = *m_context.model;
    auto* menu = new QMenu(view());
    menu->setObjectName(QStringLiteral("externalIPMenu"));
    QString location;
    if (!model.geoCity().isEmpty() && !model.geoCountry().isEmpty()) {
        location = QStringLiteral("%1, %2").arg(model.geoCity(), model.geoCountry());
    } else {
        location = model.geoCountry().isEmpty() ? model.geoCity() : model.geoCountry();
    }
    if (!location.isEmpty()) {
        menu->addAction(location)->setEnabled(false);
    }
    if (!model.geoASN().isEmpty()) {
        menu->addAction(model.geoASN())->setEnabled(false);
    }
    if (!location.isEmpty() || !model.geoASN().isEmpty()) {
        menu->addSeparator();
    }
    menu->addAction(tr("Last Updated: %1").arg(model.externalIPUpdatedText()))->setEnabled(false);
    menu->addSeparator();
    menu->addAction(model.showIPv6() ? tr("Show IPv4 Address") : tr("Show IPv6 Address"), this, [this] {
        m_context.model->setShowIPv6(!m_context.model->showIPv6());
        refresh();
    });
    FRWAppModel* target = m_context.model;
    menu->addAction(tr("Refresh Now"), target, [target] { target->refreshExternalIP(); });
    menu->addSeparator();
    QAction* copy = menu->addAction(tr("Copy"), target,
                                    [target] { QApplication::clipboard()->setText(target->externalIP()); });
    // Nothing to copy must not empty the user's clipboard.
    copy->setEnabled(!model.externalIP().isEmpty() && model.externalIP() != FRWProbeText::none());
    return menu;
}

void FRWActivityViewController::showOutboundMenu()
{
    QMenu* menu = buildOutboundMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_outboundCol->mapToGlobal(QPoint(0, m_outboundCol->height() + 4)));
}

void FRWActivityViewController::showExternalIPMenu()
{
    QMenu* menu = buildExternalIPMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_externalIPCol->mapToGlobal(QPoint(0, m_externalIPCol->height() + 4)));
}
