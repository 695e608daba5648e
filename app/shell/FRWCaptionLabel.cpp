#include "FRWCaptionLabel.h"

#include "FRWTheme.h"

FRWCaptionLabel::FRWCaptionLabel(const QString& text, QWidget* parent) : QLabel(text.toUpper(), parent)
{
    setFont(FRWTheme::font(11, QFont::DemiBold));
    FRWTheme::bindTextColor(this, FRWTheme::secondaryLabel());
}

FRWCaptionLabel* FRWCaptionLabel::captionWithString(const QString& text, QWidget* parent)
{
    return new FRWCaptionLabel(text, parent);
}
