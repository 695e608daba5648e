#pragma once

#include <QWidget>

/// A card's caption with a control at its trailing end, such as a segmented period switch. When a
/// longer translation leaves no room for both on one line, the control moves under the caption
/// instead of widening the card.
class FRWCaptionBar : public QWidget {
    Q_OBJECT
public:
    /// Takes both widgets as children.
    FRWCaptionBar(QWidget* caption, QWidget* control, QWidget* parent = nullptr);

    /// Whether the control currently sits under the caption.
    bool isStacked() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool stacksAt(int width) const;
    int heightAt(int width) const;
    void placeParts();

    QWidget* m_caption;
    QWidget* m_control;
    bool m_stacked = false;
};
