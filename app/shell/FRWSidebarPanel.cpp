#include "FRWSidebarPanel.h"

#include <QPainter>

#include "FRWAppearance.h"
#include "FRWTheme.h"

FRWSidebarPanel::FRWSidebarPanel(QWidget* parent) : QWidget(parent)
{
    resize(208, 600);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, qOverload<>(&QWidget::update));
}

void FRWSidebarPanel::paintEvent(QPaintEvent*)
{
    const QColor background = FRWTheme::sidebarBackground().resolved();
    if (background.alpha() == 0) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), background);
}
