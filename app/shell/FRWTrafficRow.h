#pragma once

#include <QWidget>

class QLabel;
class FRWStackedBar;

/// One line of a top-traffic list: name and byte total above a thin proportional bar.
class FRWTrafficRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 28;

    explicit FRWTrafficRow(QWidget* parent = nullptr);

    QLabel* nameLabel() const { return m_nameLabel; }
    QLabel* bytesLabel() const { return m_bytesLabel; }
    FRWStackedBar* bar() const { return m_bar; }
    /// Full (not elided) name shown.
    QString name() const { return m_name; }

    /// Touches only what differs from what is shown.
    void updateWithName(const QString& name, qint64 bytes, double fraction);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutLabels();

    QLabel* m_nameLabel;
    QLabel* m_bytesLabel;
    FRWStackedBar* m_bar;
    QString m_name;
};
