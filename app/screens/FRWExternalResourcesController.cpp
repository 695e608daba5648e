#include "FRWExternalResourcesController.h"

#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWAppearance.h"
#include "FRWTheme.h"
#include "FRWTimerSource.h"

namespace {

constexpr const char* kColumns[] = {"Type", "Path", "Status", "Last Updated"};
constexpr int kPathColumn = 1;

QTableWidgetItem* cell(const QString& text, const QColor& color, const QString& toolTip)
{
    auto* item = new QTableWidgetItem(text);
    item->setForeground(color);
    item->setToolTip(toolTip);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

FRWExternalResourcesController::FRWExternalResourcesController(FRWAppModel& model, QObject* parent,
                                                               FRWTimerSource* timers)
    : QObject(parent), m_model(model), m_timers(FRWTimerSource::orSystem(timers))
{
    buildUI();
}

FRWExternalResourcesController::~FRWExternalResourcesController()
{
    delete m_window;
}

void FRWExternalResourcesController::buildUI()
{
    m_window = new QDialog;
    m_window->setObjectName(QStringLiteral("externalResourcesWindow"));
    m_window->setWindowTitle(tr("External Resources"));
    m_window->resize(720, 420);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(20, 18, 20, 16);
    auto* title = new QLabel(tr("External Resource"));
    title->setFont(FRWTheme::font(15, QFont::Bold));
    auto* subtitle = new QLabel(tr("Rule-sets downloaded from URLs"));
    subtitle->setFont(FRWTheme::font(12));
    FRWTheme::bindTextColor(subtitle, FRWTheme::secondaryLabel());
    layout->addWidget(title);
    layout->addWidget(subtitle);

    m_table = new QTableWidget(0, 4);
    m_table->setObjectName(QStringLiteral("resourcesTable"));
    m_table->setAccessibleName(tr("External resources"));
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setFont(FRWTheme::font(12));
    m_table->horizontalHeader()->setMinimumSectionSize(60);
    // The short columns fit what they hold, whatever the font; the path takes the rest.
    for (int i = 0; i < 4; ++i) {
        m_table->setHorizontalHeaderItem(i, new QTableWidgetItem(QString::fromLatin1(kColumns[i])));
        m_table->horizontalHeader()->setSectionResizeMode(
            i, i == kPathColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    m_emptyLabel = new QLabel(tr("This profile has no external resources."), m_table->viewport());
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    FRWTheme::bindTextColor(m_emptyLabel, FRWTheme::secondaryLabel());
    m_emptyLabel->move(16, 16);
    m_emptyLabel->adjustSize();
    layout->addWidget(m_table, 1);

    auto* bottom = new QHBoxLayout;
    m_onlyNotReady = new QCheckBox(tr("Only show not ready items"));
    m_onlyNotReady->setObjectName(QStringLiteral("onlyNotReadyCheckBox"));
    m_updateAll = new QPushButton(tr("Update All"));
    m_updateAll->setObjectName(QStringLiteral("updateAllButton"));
    auto* done = new QPushButton(tr("Done"));
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    bottom->addWidget(m_onlyNotReady);
    bottom->addStretch(1);
    bottom->addWidget(m_updateAll);
    bottom->addWidget(done);
    layout->addLayout(bottom);

    connect(m_onlyNotReady, &QCheckBox::toggled, this, &FRWExternalResourcesController::applyFilter);
    // The cells carry colours of their own: made again in the new appearance.
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this,
            &FRWExternalResourcesController::applyFilter);
    connect(m_updateAll, &QPushButton::clicked, this, &FRWExternalResourcesController::updateAllPressed);
    connect(done, &QPushButton::clicked, this, &FRWExternalResourcesController::dismiss);
    // Closing hides the window like "Done"; QDialog never deletes itself here.
    connect(m_window, &QDialog::rejected, this, &FRWExternalResourcesController::dismiss);
    applyFilter();
}

void FRWExternalResourcesController::presentOver(QWidget* over)
{
    reload();
    m_window->setWindowModality(Qt::ApplicationModal);
    const QRect area =
        over ? over->frameGeometry()
             : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                 : QRect());
    if (area.isValid()) {
        m_window->move(area.center() - QPoint(m_window->width() / 2, m_window->height() / 2));
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void FRWExternalResourcesController::dismiss()
{
    m_window->hide();
}

void FRWExternalResourcesController::reload()
{
    const QPointer<FRWExternalResourcesController> self(this);
    m_model.fetchRuleSets([self](QJsonArray sets) {
        if (!self) {
            return;
        }
        self->m_all = std::move(sets);
        self->applyFilter();
        emit self->reloaded();
    });
}

bool FRWExternalResourcesController::isReady(const QJsonObject& entry)
{
    return entry.value(QLatin1String("rules")).toInteger(0) > 0;
}

void FRWExternalResourcesController::applyFilter()
{
    m_shown = {};
    for (const QJsonValue value : std::as_const(m_all)) {
        if (!m_onlyNotReady->isChecked() || !isReady(value.toObject())) {
            m_shown.append(value);
        }
    }
    m_emptyLabel->setVisible(m_shown.isEmpty());
    m_table->setRowCount(static_cast<int>(m_shown.size()));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QColor label = FRWTheme::label().resolved();
    for (int row = 0; row < m_shown.size(); ++row) {
        const QJsonObject entry = m_shown.at(row).toObject();
        const QString url = entry.value(QLatin1String("url")).toString();
        const QString error = entry.value(QLatin1String("error")).toString();
        QString status = tr("Not ready");
        QColor statusColor = FRWTheme::redText().resolved();
        if (isReady(entry)) {
            status = error.isEmpty() ? tr("Ready") : tr("Stale");
            statusColor = error.isEmpty() ? label : FRWTheme::orangeText().resolved();
        }
        m_table->setItem(row, 0, cell(QStringLiteral("RULESET"), label, error));
        m_table->setItem(row, 1, cell(url, label, url));
        m_table->setItem(row, 2, cell(status, statusColor, error));
        m_table->setItem(row, 3,
                         cell(relativeUpdated(entry.value(QLatin1String("updated")), now), label, error));
    }
}

void FRWExternalResourcesController::updateAllPressed()
{
    m_updateAll->setEnabled(false);
    m_updateAll->setText(tr("Updating\u2026"));
    const QPointer<FRWExternalResourcesController> self(this);
    m_model.updateAllRuleSets([self] {
        if (!self) {
            return;
        }
        self->m_timers.singleShot(std::chrono::milliseconds(self->m_updateSettleMs), self, [self] {
            self->m_updateAll->setEnabled(true);
            self->m_updateAll->setText(tr("Update All"));
            self->reload();
        });
    });
}

QString FRWExternalResourcesController::relativeUpdated(const QJsonValue& value, const QDateTime& now)
{
    const QString text = value.toString();
    if (text.isEmpty()) {
        return tr("Never");
    }
    // RFC 3339, with or without fractional seconds.
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid()) {
        date = QDateTime::fromString(text, Qt::ISODate);
    }
    if (!date.isValid() || date.toMSecsSinceEpoch() < 1000) {
        return tr("Never");
    }
    const double d = static_cast<double>(now.msecsTo(date)) / 1000.0;
    if (d > -60) {
        return tr("Just now");
    }
    if (d > -3600) {
        return tr("%n minutes ago", nullptr, static_cast<int>(d / -60));
    }
    if (d > -86400) {
        return tr("%n hours ago", nullptr, static_cast<int>(d / -3600));
    }
    return tr("%n days ago", nullptr, static_cast<int>(d / -86400));
}
