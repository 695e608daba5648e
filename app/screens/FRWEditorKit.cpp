#include "FRWEditorKit.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

#include "FRWSymbols.h"

// Outside any namespace: the resource initialiser is declared where this macro stands.
static void initEditorResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ferrow_screens_resources);
        return true;
    }();
    (void)done;
}

namespace FRWEditorKit {

void initSymbols()
{
    initEditorResources();
}

QLabel* label(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color)
{
    return FRWTheme::label(text, size, weight, color);
}

void setSymbol(QToolButton* button, const QString& symbol)
{
    initEditorResources();
    const QSize iconSize(14, 14);
    button->setIcon(FRWSymbols::themedIcon(symbol, FRWTheme::label()));
    button->setIconSize(iconSize);
    button->setProperty("symbol", symbol);
}

QToolButton* symbolButton(const QString& symbol, const QSize& size, const QString& toolTip)
{
    auto* button = new QToolButton;
    button->setFixedSize(size);
    button->setAutoRaise(true);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    setSymbol(button, symbol);
    return button;
}

QDialog* sheet(QWidget* anchor, const QString& objectName)
{
    QWidget* window = anchor ? anchor->window() : nullptr;
    auto* dialog = new QDialog(window);
    dialog->setObjectName(objectName);
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

bool windowHasSheet(QWidget* anchor)
{
    QWidget* window = anchor ? anchor->window() : nullptr;
    if (!window) {
        return false;
    }
    const auto dialogs = window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    for (QDialog* dialog : dialogs) {
        if (dialog->isVisible()) {
            return true;
        }
    }
    return false;
}

} // namespace FRWEditorKit
