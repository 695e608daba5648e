#pragma once

#include <optional>

#include <QWidget>

#include "FRWAccessibility.h"
#include "FRWTheme.h"

/// A rounded pill with an optional status dot before its title. A press emits clicked().
class FRWPillButton : public QWidget, public FRWPressable {
    Q_OBJECT
public:
    static constexpr int kHeight = 28;

    FRWPillButton(QString title, std::optional<FRWDynamicColor> dotColor, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);
    std::optional<FRWDynamicColor> dotColor() const { return m_dotColor; }
    /// nullopt hides the dot.
    void setDotColor(std::optional<FRWDynamicColor> color);
    bool isHovered() const { return m_hovered; }
    /// Re-applies the colours of the current appearance.
    void restyle();

    QColor backgroundColor() const;
    /// The title as drawn: whole whenever the pill has its size hint's width.
    QString shownTitle() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    /// A checkable pill stands for a mode that is on or off; readers hear which.
    bool isCheckable() const { return m_checkable; }
    void setCheckable(bool checkable);
    bool isChecked() const { return m_checked; }
    /// Shows the state only; never emits clicked().
    void setChecked(bool checked);

    QString accessibleTitle() const override { return m_title; }
    /// Sends clicked(); true only when someone listens to it.
    bool performAccessiblePress() override;
    void addAccessibleState(QAccessible::State& state) const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static QFont titleFont();
    int titleLeft() const;
    int titleWidth() const;

    QString m_title;
    std::optional<FRWDynamicColor> m_dotColor;
    bool m_hovered = false;
    bool m_checkable = false;
    bool m_checked = false;
};
