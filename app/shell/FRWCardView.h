#pragma once

#include <optional>

#include <QPointer>
#include <QWidget>

#include "FRWTheme.h"

class FRWCardShadow;

/// The rounded, translucent card that frames most content, with a soft shadow below it.
/// The shadow is drawn by a companion widget just under the card in its parent, since a widget
/// cannot paint outside its own rectangle.
class FRWCardView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWCardView)

public:
    static constexpr qreal kDefaultCornerRadius = 18;
    static constexpr qreal kShadowRadius = 14;
    static constexpr qreal kShadowOpacity = 0.1;
    static constexpr qreal kShadowOffsetY = 3;

    explicit FRWCardView(QWidget* parent = nullptr);
    ~FRWCardView() override;
    /// A new card meant for a layout.
    static FRWCardView* card(QWidget* parent = nullptr);

    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);
    /// Subclasses recolour the border (on hover, for example); nullopt restores the default.
    void setBorderColor(std::optional<FRWDynamicColor> color);
    /// Re-applies the colours of the current appearance.
    void applyStyle();

    QWidget* shadowWidget() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void syncShadow();

    qreal m_cornerRadius = kDefaultCornerRadius;
    std::optional<FRWDynamicColor> m_borderColor;
    QPointer<FRWCardShadow> m_shadow;
};
