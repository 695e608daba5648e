#pragma once

#include <QLabel>

/// A one-line label that shortens its text to fit, keeping the whole text as its tool tip.
/// Copying a selection that covers the shortening mark copies what the mark stands for.
class FRWElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit FRWElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }
    /// The selection as the full text has it; empty without a selection.
    QString copiedText() const;
    /// Puts copiedText() on the clipboard, when there is a selection.
    void copySelection() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void applyElision();

    QString m_fullText;
    Qt::TextElideMode m_mode;
};
