#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

/// The Logs page's find bar: a search field and a level filter. Hidden until Ctrl+F.
class FRWLogFindBar : public QWidget {
    Q_OBJECT
public:
    /// The lowest level a line must have to be shown; All shows lines without a level too.
    enum class Level { All, Info, Warning, Error };

    explicit FRWLogFindBar(QWidget* parent = nullptr);

    QLineEdit* findLineEdit() const { return m_find; }
    QString query() const;
    Level level() const;
    void setLevel(Level level);
    void setNotFound(bool notFound);

    /// The level of a core log line ("2024-05-01 12:00:00 [warning] …"), or All when it has none.
    static Level levelOfLine(const QString& line);
    static bool shows(Level filter, const QString& line);

signals:
    void queryChanged(const QString& query);
    void levelChanged();
    void findNext();
    void findPrevious();
    void closeRequested();

private:
    QLineEdit* m_find;
    QComboBox* m_level;
    QLabel* m_status;
};
