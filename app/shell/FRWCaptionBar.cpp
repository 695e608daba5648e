#include "FRWCaptionBar.h"

#include <algorithm>

#include <QEvent>
#include <QStyle>

namespace {
constexpr int kGap = 8;
constexpr int kStackedSpacing = 6;
} // namespace

FRWCaptionBar::FRWCaptionBar(QWidget* caption, QWidget* control, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_control(control)
{
    m_caption->setParent(this);
    m_control->setParent(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

bool FRWCaptionBar::stacksAt(int width) const
{
    // The control may give up its padding before it moves.
    return m_caption->sizeHint().width() + kGap + m_control->minimumSizeHint().width() > width;
}

bool FRWCaptionBar::isStacked() const
{
    return m_stacked;
}

QSize FRWCaptionBar::sizeHint() const
{
    const QSize caption = m_caption->sizeHint();
    const QSize control = m_control->sizeHint();
    // The height of the arrangement in force, so the card makes room when the control moves down.
    return {caption.width() + kGap + control.width(), heightAt(width())};
}

QSize FRWCaptionBar::minimumSizeHint() const
{
    return {std::max(m_caption->sizeHint().width(), m_control->minimumSizeHint().width()), heightAt(width())};
}

int FRWCaptionBar::heightAt(int width) const
{
    const int caption = m_caption->sizeHint().height();
    const int control = m_control->sizeHint().height();
    return stacksAt(width) ? caption + kStackedSpacing + control : std::max(caption, control);
}

void FRWCaptionBar::resizeEvent(QResizeEvent*)
{
    if (stacksAt(width()) != m_stacked) {
        m_stacked = !m_stacked;
        updateGeometry();
    }
    placeParts();
}

void FRWCaptionBar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange) {
        placeParts();
    }
    QWidget::changeEvent(event);
}

void FRWCaptionBar::placeParts()
{
    const QSize caption = m_caption->sizeHint();
    const QSize control = m_control->sizeHint();
    const auto place = [this](const QRect& part) {
        return QStyle::visualRect(layoutDirection(), rect(), part);
    };
    if (m_stacked) {
        m_caption->setGeometry(place({0, 0, std::min(caption.width(), width()), caption.height()}));
        const int controlWidth = std::clamp(width(), m_control->minimumSizeHint().width(), control.width());
        m_control->setGeometry(
            place({0, caption.height() + kStackedSpacing, controlWidth, control.height()}));
    } else {
        const int rowHeight = std::max(caption.height(), control.height());
        m_caption->setGeometry(
            place({0, (rowHeight - caption.height()) / 2, caption.width(), caption.height()}));
        const int controlWidth = std::min(control.width(), width() - caption.width() - kGap);
        m_control->setGeometry(place(
            {width() - controlWidth, (rowHeight - control.height()) / 2, controlWidth, control.height()}));
    }
}
