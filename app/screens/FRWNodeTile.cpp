#include "FRWNodeTile.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "FRWAccessibility.h"
#include "FRWEditorKit.h"
#include "FRWElidedLabel.h"

FRWNodeTile::FRWNodeTile(const QString& name, const QString& type, QWidget* parent)
    : FRWTile(parent), m_name(name)
{
    setObjectName(QStringLiteral("nodeTile"));
    setCornerRadius(12);
    setFixedHeight(kHeight);
    FRWPressable::installAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 12, 12);
    layout->setSpacing(4);
    m_type = FRWEditorKit::label(type.toUpper(), 10, QFont::DemiBold, FRWTheme::secondaryLabel());
    layout->addWidget(m_type);
    auto* title = new FRWElidedLabel(Qt::ElideRight);
    title->setFullText(name);
    title->setFont(FRWTheme::font(13, QFont::DemiBold));
    FRWTheme::bindTextColor(title, FRWTheme::primaryText());
    layout->addWidget(title);
    layout->addStretch(1);
    m_status = FRWEditorKit::label(tr("Tap to Test"), 11, QFont::Normal, FRWTheme::secondaryLabel());
    m_status->setObjectName(QStringLiteral("statusLabel"));
    layout->addWidget(m_status);
}

void FRWNodeTile::setStatus(const QString& text, bool good)
{
    m_good = good;
    m_status->setText(text);
    FRWTheme::bindTextColor(m_status, good ? FRWTheme::greenText() : FRWTheme::secondaryLabel());
}

QString FRWNodeTile::status() const
{
    return m_status->text();
}

QString FRWNodeTile::typeText() const
{
    return m_type->text();
}

QList<QAction*> FRWNodeTile::menuActions()
{
    if (!m_editable) {
        return {};
    }
    auto* edit = new QAction(tr("Edit Node\u2026"), this);
    connect(edit, &QAction::triggered, this, [this] { emit editRequested(m_name); });
    auto* share = new QAction(tr("Share\u2026"), this);
    connect(share, &QAction::triggered, this, [this] { emit shareRequested(m_name); });
    auto* remove = new QAction(tr("Delete Node"), this);
    connect(remove, &QAction::triggered, this, [this] { emit deleteRequested(m_name); });
    return {edit, share, remove};
}

void FRWNodeTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked(m_name);
        return;
    }
    FRWCardView::mousePressEvent(event);
}

void FRWNodeTile::contextMenuEvent(QContextMenuEvent* event)
{
    const QList<QAction*> actions = menuActions();
    if (actions.isEmpty()) {
        return;
    }
    QMenu menu;
    menu.addActions(actions);
    menu.exec(event->globalPos());
    qDeleteAll(actions);
}

bool FRWNodeTile::performAccessiblePress()
{
    emit clicked(m_name);
    return true;
}

QString FRWNodeTile::accessibleDescription() const
{
    return typeText() + QLatin1Char(' ') + status();
}
