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
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

bool FRWCaptionBar::stacksAt(int width) const
{
    return m_caption->sizeHint().width() + kGap + m_control->sizeHint().width() > width;
}

bool FRWCaptionBar::isStacked() const
{
    return stacksAt(width());
}

QSize FRWCaptionBar::sizeHint() const
{
    const QSize caption = m_caption->sizeHint();
    const QSize control = m_control->sizeHint();
    return {caption.width() + kGap + control.width(), std::max(caption.height(), control.height())};
}

QSize FRWCaptionBar::minimumSizeHint() const
{
    return {std::max(m_caption->sizeHint().width(), m_control->sizeHint().width()), heightForWidth(0)};
}

int FRWCaptionBar::heightForWidth(int width) const
{
    const int caption = m_caption->sizeHint().height();
    const int control = m_control->sizeHint().height();
    return stacksAt(width) ? caption + kStackedSpacing + control : std::max(caption, control);
}

void FRWCaptionBar::resizeEvent(QResizeEvent*)
{
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
    if (stacksAt(width())) {
        m_caption->setGeometry(place({0, 0, std::min(caption.width(), width()), caption.height()}));
        m_control->setGeometry(
            place({0, caption.height() + kStackedSpacing, control.width(), control.height()}));
    } else {
        const int rowHeight = std::max(caption.height(), control.height());
        m_caption->setGeometry(
            place({0, (rowHeight - caption.height()) / 2, caption.width(), caption.height()}));
        m_control->setGeometry(place({width() - control.width(), (rowHeight - control.height()) / 2,
                                      control.width(), control.height()}));
    }
}
