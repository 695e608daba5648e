#include "FRWSegmented.h"

#include <algorithm>
#include <cmath>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include "FRWAccessibility.h"
#include "FRWAppearance.h"
#include "FRWTheme.h"

namespace {
constexpr qreal kTrackRadius = 7;
constexpr qreal kThumbRadius = 5.5;
constexpr qreal kThumbInset = 2;
constexpr int kMinimumLabelWidth = 30;
constexpr int kLabelPadding = 22;
// The least room around a label, for a translation that needs the width.
constexpr int kMinimumLabelPadding = 8;

QFont labelFont()
{
    return FRWTheme::font(11, QFont::DemiBold);
}

// One segment as a reader sees it: a tab of the control, selected when chosen.
class FRWSegmentAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    FRWSegmentAccessible(FRWSegmented* control, int index) : m_control(control), m_index(index) {}

    bool isValid() const override { return m_control && m_index < m_control->labels().size(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_control ? m_control->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_control); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? m_control->labels().at(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid()) {
            return {};
        }
        const QRect local = m_control->segmentRect(m_index).toRect();
        return QRect(m_control->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool chosen = m_control->selectedIndex() == m_index;
        s.selectable = true;
        s.selected = chosen;
        s.focused = chosen && FRWFocus::showsRing(m_control);
        s.invisible = !m_control->isVisible();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid()) {
            m_control->chooseIndex(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<FRWSegmented> m_control;
    int m_index;
};

// The control as a tab list whose tabs are the segments, as a tab bar is read.
class FRWSegmentedAccessible : public QAccessibleWidget {
public:
    explicit FRWSegmentedAccessible(FRWSegmented* control)
        : QAccessibleWidget(control, QAccessible::PageTabList), m_control(control)
    {
    }
    ~FRWSegmentedAccessible() override
    {
        for (QAccessible::Id id : m_children) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return static_cast<int>(m_control->labels().size()); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        if (!m_children.contains(index)) {
            m_children.insert(
                index, QAccessible::registerAccessibleInterface(new FRWSegmentAccessible(m_control, index)));
        }
        return QAccessible::accessibleInterface(m_children.value(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = m_children.cbegin(); it != m_children.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child) {
                return it.key();
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = m_control->mapFromGlobal(QPoint(x, y));
        return m_control->rect().contains(local) ? child(m_control->segmentAt(local.x())) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        return m_control->hasFocus() ? child(m_control->selectedIndex()) : nullptr;
    }

private:
    QPointer<FRWSegmented> m_control;
    mutable QHash<int, QAccessible::Id> m_children;
};

QAccessibleInterface* segmentedFactory(const QString&, QObject* object)
{
    if (auto* control = qobject_cast<FRWSegmented*>(object)) {
        return new FRWSegmentedAccessible(control);
    }
    return nullptr;
}
} // namespace

FRWSegmented::FRWSegmented(QStringList labels, QWidget* parent) : QWidget(parent), m_labels(std::move(labels))
{
    // Never wider than it likes; narrower down to its minimum when a translation needs the room.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(segmentedFactory);
        return true;
    }();
    (void)factoryInstalled;
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWSegmented::restyle);
}

void FRWSegmented::setSelectedIndex(int index)
{
    if (index < 0 || index >= m_labels.size() || index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    restyle();
}

void FRWSegmented::chooseIndex(int index)
{
    if (index < 0 || index >= m_labels.size() || index == m_selectedIndex) {
        return;
    }
    m_selectedIndex = index;
    restyle();
    FRWFocus::announceState(this, false, true);
    if (onChange) {
        onChange(index);
    }
}

QRectF FRWSegmented::segmentRect(int index) const
{
    const double segment = segmentWidth();
    // The first segment leads: on the right in a right-to-left layout.
    const double slot = layoutDirection() == Qt::RightToLeft ? m_labels.size() - 1 - index : index;
    return QRectF(slot * segment, 0, segment, height());
}

void FRWSegmented::restyle()
{
    update();
}

double FRWSegmented::segmentWidth() const
{
    return m_labels.isEmpty() ? 0 : width() / static_cast<double>(m_labels.size());
}

int FRWSegmented::segmentAt(double x) const
{
    const double segment = segmentWidth();
    if (m_labels.isEmpty() || segment <= 0 || !std::isfinite(x)) {
        return 0;
    }
    const double slot = std::clamp(std::floor(x / segment), 0.0, static_cast<double>(m_labels.size() - 1));
    return static_cast<int>(layoutDirection() == Qt::RightToLeft ? m_labels.size() - 1 - slot : slot);
}

QRectF FRWSegmented::thumbRect() const
{
    return segmentRect(m_selectedIndex).adjusted(kThumbInset, kThumbInset, -kThumbInset, -kThumbInset);
}

QSize FRWSegmented::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    int widest = kMinimumLabelWidth;
    for (const QString& label : m_labels) {
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    return {static_cast<int>(m_labels.size()) * (widest + kLabelPadding), kHeight};
}

QSize FRWSegmented::minimumSizeHint() const
{
    const QFontMetrics metrics(labelFont());
    int widest = kMinimumLabelWidth;
    for (const QString& label : m_labels) {
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    return {static_cast<int>(m_labels.size()) * (widest + kMinimumLabelPadding), kHeight};
}

void FRWSegmented::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), kTrackRadius, kTrackRadius);
    painter.fillPath(track, FRWTheme::buttonHovered().resolved());

    if (!m_labels.isEmpty()) {
        const QRectF thumb = thumbRect();
        // A soft shadow half a point below the thumb, as a few widening translucent rings.
        for (int ring = 2; ring >= 1; --ring) {
            QPainterPath shadow;
            const QRectF r =
                thumb.translated(0, 0.5).adjusted(-ring * 0.5, -ring * 0.5, ring * 0.5, ring * 0.5);
            shadow.addRoundedRect(r, kThumbRadius + ring * 0.5, kThumbRadius + ring * 0.5);
            painter.fillPath(shadow, QColor(0, 0, 0, ring == 1 ? 22 : 12));
        }
        QPainterPath thumbPath;
        thumbPath.addRoundedRect(thumb, kThumbRadius, kThumbRadius);
        painter.fillPath(thumbPath, FRWTheme::cardBackground().resolved());
    }

    painter.setFont(labelFont());
    for (int i = 0; i < m_labels.size(); ++i) {
        painter.setPen(i == m_selectedIndex ? FRWTheme::primaryText().resolved()
                                            : FRWTheme::secondaryLabel().resolved());
        painter.drawText(segmentRect(i), Qt::AlignCenter, m_labels[i]);
    }
    if (FRWFocus::showsRing(this)) {
        FRWFocus::paintRing(painter, QRectF(rect()), kTrackRadius);
    }
}

void FRWSegmented::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || m_labels.isEmpty()) {
        return;
    }
    chooseIndex(segmentAt(event->position().x()));
}

void FRWSegmented::keyPressEvent(QKeyEvent* event)
{
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        const int step = (event->key() == Qt::Key_Right) != rtl ? 1 : -1;
        chooseIndex(m_selectedIndex + step);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        chooseIndex(event->key() == Qt::Key_Home ? 0 : static_cast<int>(m_labels.size()) - 1);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FRWSegmented::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void FRWSegmented::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}
