#pragma once

#include <QFont>
#include <QString>

#include "FRWTheme.h"

class QDialog;
class QLabel;
class QToolButton;
class QWidget;

/// Small pieces shared by the editing pages: labels in the theme's colours, icon buttons and
/// window-modal sheets.
namespace FRWEditorKit {

/// Makes the screens' own symbol drawings reachable through FRWSymbols.
void initSymbols();

QLabel* label(const QString& text, qreal size, QFont::Weight weight, const FRWDynamicColor& color);
/// An icon-only tool button drawn with a symbol in the label colour.
QToolButton* symbolButton(const QString& symbol, const QSize& size, const QString& toolTip);
void setSymbol(QToolButton* button, const QString& symbol);
/// A sheet over the window of `anchor`: a window-modal dialog, deleted when closed.
QDialog* sheet(QWidget* anchor, const QString& objectName);
/// True when the window of `anchor` already shows a sheet.
bool windowHasSheet(QWidget* anchor);

} // namespace FRWEditorKit
