#pragma once

#include <functional>

#include <QWidget>

#include "FRWAccessibility.h"

class QLabel;

/// A captioned figure with an optional subtitle and chevron. With an onClick block the whole
/// column is one click target; without one its parts behave as plain labels.
class FRWStatColumn : public QWidget, public FRWPressable {
    Q_OBJECT
public:
    FRWStatColumn(const QString& caption, QString value, QWidget* parent = nullptr);

    /// The font values are drawn in.
    static QFont valueFont();

    QString value() const { return m_value; }
    void setValue(const QString& value);
    QString subtitle() const { return m_subtitle; }
    /// An empty subtitle shows nothing.
    void setSubtitle(const QString& subtitle);
    QString badge() const { return m_badge; }
    /// A short code in a small outlined box before the value; empty shows none.
    void setBadge(const QString& badge);
    bool showsChevron() const { return m_showsChevron; }
    void setShowsChevron(bool shows);

    std::function<void()> onClick() const { return m_onClick; }
    void setOnClick(std::function<void()> onClick);

    QString accessibleTitle() const override { return m_caption; }
    bool performAccessiblePress() override;
    /// A button only while it has something to do; otherwise text to read.
    QAccessible::Role accessibleRole() const override;
    QString accessibleDescription() const override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layoutParts();
    void applyChevron();
    void applyBadgeStyle();
    int badgeSpace() const;

    QString m_caption;
    QString m_value;
    QString m_subtitle;
    QString m_badge;
    bool m_showsChevron = false;
    std::function<void()> m_onClick;
    QLabel* m_captionLabel;
    QLabel* m_valueLabel;
    QLabel* m_subtitleLabel;
    QLabel* m_chevron;
    QLabel* m_badgeLabel;
};
