#pragma once

#include <QList>
#include <QPainterPath>
#include <QWidget>

#include "FRWTheme.h"

class QVariantAnimation;

/// The scrolling throughput chart. A new value list that is the old one moved on by one sample
/// slides in from the right over 1.25 sample intervals; any other list jumps. The vertical scale
/// jumps up at once and falls back by a quarter of the gap per update, morphing the line when it
/// moves by more than half a unit. An identical list costs nothing.
class FRWLineChart : public QWidget {
    Q_OBJECT
public:
    explicit FRWLineChart(QWidget* parent = nullptr);

    QList<double> values() const { return m_values; }
    void setValues(const QList<double>& values);
    FRWDynamicColor tint() const { return m_tint; }
    void setTint(const FRWDynamicColor& tint);
    bool isFilled() const { return m_filled; }
    void setFilled(bool filled);
    double sampleInterval() const { return m_sampleInterval; }
    /// Seconds between samples; the slide lasts 1.25 times this.
    void setSampleInterval(double seconds);

    // What is drawn, for tests and the snapshot gallery.
    bool showsBaseline() const { return m_showBaseline; }
    /// The line as drawn at rest, in widget coordinates (y grows downwards).
    QPainterPath linePath() const { return m_linePath; }
    QPainterPath fillPath() const { return m_fillPath; }
    double smoothMax() const { return m_smoothMax; }
    double prevMax() const { return m_prevMax; }
    bool isSliding() const;
    bool isRescaling() const;
    /// Horizontal offset of the slide at this moment (step at its start, 0 at rest).
    double slideOffset() const { return m_slideOffset; }

    /// Advances the smoothed scale for a new value list and returns the scale to draw with.
    double maxFor(const QList<double>& values);
    /// True when next is previous moved on by one sample.
    static bool isOneStepAfter(const QList<double>& next, const QList<double>& previous);
    /// The chart's path for values at scale: point i at x = (i - 1) × step, the scale 2 below the
    /// top and zero 2 above the bottom; the closing path runs along the bottom for the fill.
    static QPainterPath newPathFor(const QList<double>& values, double scale, double step, const QSizeF& size,
                                   bool closing);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildPaths(bool animated, bool advanceScale);
    void stopAnimations();

    QList<double> m_values;
    FRWDynamicColor m_tint;
    bool m_filled = true;
    double m_sampleInterval = 1.0;
    double m_smoothMax = 0;
    double m_prevMax = 0;

    bool m_showBaseline = true;
    QPainterPath m_linePath;
    QPainterPath m_fillPath;
    // The old-scale paths a rescale starts from.
    QPainterPath m_lineFrom;
    QPainterPath m_fillFrom;
    double m_rescaleProgress = 1.0;
    double m_slideOffset = 0;
    QVariantAnimation* m_slide = nullptr;
    QVariantAnimation* m_rescale = nullptr;
};
