#pragma once

#include <QLabel>

/// A one-line label that shortens its text to fit, keeping the whole text as its tool tip.
class FRWElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit FRWElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyElision();

    QString m_fullText;
    Qt::TextElideMode m_mode;
};
