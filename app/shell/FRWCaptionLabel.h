#pragma once

#include <QLabel>

/// The small upper-case caption above a figure.
class FRWCaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit FRWCaptionLabel(const QString& text, QWidget* parent = nullptr);
    static FRWCaptionLabel* captionWithString(const QString& text, QWidget* parent = nullptr);
};
