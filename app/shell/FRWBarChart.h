#pragma once

#include <QList>
#include <QRectF>
#include <QWidget>

#include "FRWTheme.h"

/// The hourly bar chart: at least 24 slots with rounded bars and time labels along the bottom.
class FRWBarChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumSlots = 24;
    static constexpr double kAxisHeight = 16;

    explicit FRWBarChart(QWidget* parent = nullptr);

    QList<double> values() const { return m_values; }
    void setValues(const QList<double>& values);
    FRWDynamicColor tint() const { return m_tint; }
    void setTint(const FRWDynamicColor& tint);

    /// Where each value's bar is drawn in a chart of the given size; empty when nothing is drawn.
    static QList<QRectF> barRects(const QList<double>& values, const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<double> m_values;
    FRWDynamicColor m_tint;
};
