#pragma once

#include <functional>

#include <QStringList>
#include <QWidget>

/// A compact segmented control: a rounded track with a raised thumb under the selected label.
/// onChange reports only selections the user makes.
class FRWSegmented : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 26;

    explicit FRWSegmented(QStringList labels, QWidget* parent = nullptr);

    QStringList labels() const { return m_labels; }
    int selectedIndex() const { return m_selectedIndex; }
    /// Out-of-range indexes are ignored; never calls onChange.
    void setSelectedIndex(int index);
    /// Selects as a click on that segment does, calling onChange when the selection moves.
    void chooseIndex(int index);
    /// The segment's rectangle in this widget's coordinates.
    QRectF segmentRect(int index) const;
    std::function<void(int)> onChange;

    /// The segment a press at x selects.
    int segmentAt(double x) const;
    QRectF thumbRect() const;
    void restyle();

    QSize sizeHint() const override;
    /// Narrower than the size hint by most of the padding: every label still fits its segment whole.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    double segmentWidth() const;

    QStringList m_labels;
    int m_selectedIndex = 0;
};
