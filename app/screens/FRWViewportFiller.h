#pragma once

#include <QObject>
#include <QPointer>

class QScrollArea;
class QWidget;

/// Keeps a page's last card reaching down to the bottom of the visible area, so a list or a log
/// fills the window however short its content is.
class FRWViewportFiller : public QObject {
    Q_OBJECT
public:
    FRWViewportFiller(QScrollArea* scroll, QWidget* card, int bottomMargin, int minimumHeight);

    void apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QScrollArea> m_scroll;
    QPointer<QWidget> m_card;
    int m_bottomMargin;
    int m_minimumHeight;
};
