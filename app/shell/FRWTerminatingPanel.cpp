#include "FRWTerminatingPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include "FRWTheme.h"

namespace {

/// A 16 × 16 spinning arc.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(16, 16);
        auto* turn = new QVariantAnimation(this);
        turn->setStartValue(0);
        turn->setEndValue(360);
        turn->setDuration(900);
        turn->setLoopCount(-1);
        connect(turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_angle = value.toInt();
            update();
        });
        turn->start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(FRWTheme::secondaryLabel().resolved(), 2);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(QRectF(2, 2, 12, 12), -m_angle * 16, 270 * 16);
    }

private:
    int m_angle = 0;
};

} // namespace

FRWTerminatingPanel::FRWTerminatingPanel(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("terminatingPanel"));
    setWindowTitle(QString());
    setFixedSize(260, 96);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(20, 0, 20, 0);
    row->setSpacing(12);
    row->addWidget(new Spinner(this), 0, Qt::AlignVCenter);
    auto* lines = new QVBoxLayout();
    lines->setSpacing(2);
    auto* title = new QLabel(tr("Terminating\u2026"), this);
    title->setObjectName(QStringLiteral("terminatingTitleLabel"));
    title->setFont(FRWTheme::font(13, QFont::DemiBold));
    auto* detail = new QLabel(tr("Restoring DNS and routing"), this);
    detail->setObjectName(QStringLiteral("terminatingDetailLabel"));
    detail->setFont(FRWTheme::font(11.5));
    FRWTheme::bindTextColor(detail, FRWTheme::secondaryLabel());
    lines->addStretch();
    lines->addWidget(title);
    lines->addWidget(detail);
    lines->addStretch();
    row->addLayout(lines, 1);
}

void FRWTerminatingPanel::present()
{
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}
