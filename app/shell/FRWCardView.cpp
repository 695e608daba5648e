#include "FRWCardView.h"

#include <algorithm>
#include <vector>

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "FRWAppearance.h"

namespace {
constexpr int kShadowMargin = 24;

// Three box blurs approximate a Gaussian; the alpha channel is all a shadow needs.
void boxBlurAlpha(QImage& image, int radius)
{
    if (radius < 1) {
        return;
    }
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(static_cast<size_t>(std::max(w, h)));
    const auto pass = [&](int count, int length, auto at) {
        for (int c = 0; c < count; ++c) {
            int sum = 0;
            for (int i = -radius; i <= radius; ++i) {
                sum += *at(c, std::clamp(i, 0, length - 1));
            }
            for (int i = 0; i < length; ++i) {
                line[static_cast<size_t>(i)] = sum / (2 * radius + 1);
                sum += *at(c, std::min(i + radius + 1, length - 1)) - *at(c, std::max(i - radius, 0));
            }
            for (int i = 0; i < length; ++i) {
                *at(c, i) = static_cast<uchar>(line[static_cast<size_t>(i)]);
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return image.scanLine(y) + x; });
        pass(w, h, [&](int x, int y) { return image.scanLine(y) + x; });
    }
}
} // namespace

class FRWCardShadow : public QWidget {
public:
    explicit FRWCardShadow(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("cardShadow"));
    }

    void setShape(const QSize& cardSize, qreal radius)
    {
        if (cardSize == m_cardSize && radius == m_radius) {
            return;
        }
        m_cardSize = cardSize;
        m_radius = radius;
        m_cache = QImage();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_cardSize.isEmpty()) {
            return;
        }
        const qreal dpr = devicePixelRatioF();
        if (m_cache.isNull() || m_cache.devicePixelRatio() != dpr) {
            m_cache = render(dpr);
        }
        QPainter painter(this);
        painter.setOpacity(FRWCardView::kShadowOpacity);
        painter.drawImage(QPointF(0, 0), m_cache);
    }

private:
    QImage render(qreal dpr) const
    {
        QImage alpha(size() * dpr, QImage::Format_Alpha8);
        alpha.setDevicePixelRatio(dpr);
        alpha.fill(0);
        {
            QPainter painter(&alpha);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(kShadowMargin, kShadowMargin + FRWCardView::kShadowOffsetY,
                                        m_cardSize.width(), m_cardSize.height()),
                                 m_radius, m_radius);
            painter.fillPath(shape, Qt::black);
        }
        // A shadow's blur radius is about twice the Gaussian's deviation; each of the three boxes
        // then spans about that deviation on either side.
        boxBlurAlpha(alpha, qRound(FRWCardView::kShadowRadius / 2.0 * dpr));
        QImage shadow(alpha.size(), QImage::Format_ARGB32_Premultiplied);
        shadow.setDevicePixelRatio(dpr);
        shadow.fill(Qt::transparent);
        QPainter painter(&shadow);
        painter.drawImage(QPointF(0, 0), alpha);
        return shadow;
    }

    QSize m_cardSize;
    qreal m_radius = 0;
    QImage m_cache;
};

FRWCardView::FRWCardView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, false);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWCardView::applyStyle);
    syncShadow();
}

FRWCardView::~FRWCardView()
{
    delete m_shadow.data();
}

FRWCardView* FRWCardView::card(QWidget* parent)
{
    return new FRWCardView(parent);
}

void FRWCardView::setCornerRadius(qreal radius)
{
    m_cornerRadius = std::max<qreal>(0, radius);
    applyStyle();
}

void FRWCardView::setBorderColor(std::optional<FRWDynamicColor> color)
{
    m_borderColor = color;
    update();
}

void FRWCardView::applyStyle()
{
    syncShadow();
    update();
}

QWidget* FRWCardView::shadowWidget() const
{
    return m_shadow;
}

void FRWCardView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = std::min({m_cornerRadius, width() / 2.0, height() / 2.0});
    const QRectF bounds = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    QPainterPath shape;
    shape.addRoundedRect(bounds, radius, radius);
    painter.fillPath(shape, FRWTheme::cardBackground().resolved());
    QColor borderColor(255, 255, 255, 128);
    if (m_borderColor) {
        borderColor = m_borderColor->resolved();
    }
    painter.setPen(QPen(borderColor, 0.5));
    painter.drawPath(shape);
}

bool FRWCardView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
    case QEvent::ZOrderChange:
        syncShadow();
        break;
    default:
        break;
    }
    return handled;
}

void FRWCardView::syncShadow()
{
    QWidget* host = parentWidget();
    if (!host || isWindow()) {
        delete m_shadow.data();
        return;
    }
    if (!m_shadow) {
        m_shadow = new FRWCardShadow(host);
    } else if (m_shadow->parentWidget() != host) {
        m_shadow->setParent(host);
    }
    m_shadow->setGeometry(geometry().adjusted(-kShadowMargin, -kShadowMargin, kShadowMargin, kShadowMargin));
    m_shadow->setShape(size(), std::min({m_cornerRadius, width() / 2.0, height() / 2.0}));
    m_shadow->setVisible(isVisibleTo(host) && !isHidden());
    // Just below the card, so the shadow never covers it.
    m_shadow->stackUnder(this);
}
