#include "FRWGroupTile.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "FRWAccessibility.h"
#include "FRWElidedLabel.h"
#include "FRWNodeTile.h"

namespace {
FRWElidedLabel* tileLabel(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color)
{
    auto* label = new FRWElidedLabel(Qt::ElideRight);
    label->setFullText(text);
    label->setFont(FRWTheme::font(size, weight));
    FRWTheme::bindTextColor(label, color);
    return label;
}
} // namespace

FRWGroupTile::FRWGroupTile(const QString& name, const QString& typeLabel, const QString& selected,
                           QWidget* parent)
    : FRWTile(parent), m_name(name), m_selected(selected)
{
    setObjectName(QStringLiteral("groupTile"));
    setCornerRadius(12);
    setFixedHeight(FRWNodeTile::kHeight);
    FRWPressable::installAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 12, 12);
    layout->setSpacing(4);
    layout->addWidget(tileLabel(typeLabel, 10, QFont::DemiBold, FRWTheme::secondaryLabel()));
    layout->addWidget(tileLabel(name, 13, QFont::DemiBold, FRWTheme::primaryText()));
    layout->addStretch(1);
    layout->addWidget(tileLabel(selected.isEmpty() ? QStringLiteral("\u2014") : selected, 11, QFont::Normal,
                                FRWTheme::secondaryLabel()));
}

void FRWGroupTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        return;
    }
    FRWCardView::mousePressEvent(event);
}

void FRWGroupTile::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu;
    menu.addAction(tr("Delete Group"), this, &FRWGroupTile::deleteRequested);
    menu.exec(event->globalPos());
}

bool FRWGroupTile::performAccessiblePress()
{
    emit clicked();
    return true;
}

QString FRWGroupTile::accessibleDescription() const
{
    return m_selected;
}
