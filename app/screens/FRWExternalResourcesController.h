#pragma once

#include <QDateTime>
#include <QDialog>
#include <QJsonArray>
#include <QObject>
#include <QPointer>

class FRWAppModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

/// The rule sets the running core downloaded from URLs: whether each is usable, when it was last
/// updated and its last error, and "Update All". One window per run, hidden rather than closed.
class FRWTimerSource;

class FRWExternalResourcesController : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWExternalResourcesController)
public:
    /// The settle wait's timer comes from `timers`; the real ones when null.
    explicit FRWExternalResourcesController(FRWAppModel& model, QObject* parent = nullptr,
                                            FRWTimerSource* timers = nullptr);
    ~FRWExternalResourcesController() override;

    /// Reloads and shows the window modally over `over` (may be null); returns at once.
    void presentOver(QWidget* over);
    void dismiss();
    void reload();
    void applyFilter();
    void updateAllPressed();

    static bool isReady(const QJsonObject& entry);
    /// The "Last Updated" text of an entry's "updated" value, measured from `now`.
    static QString relativeUpdated(const QJsonValue& value, const QDateTime& now);

    QDialog* window() const { return m_window; }
    QTableWidget* table() const { return m_table; }
    QLabel* emptyLabel() const { return m_emptyLabel; }
    const QJsonArray& shown() const { return m_shown; }
    /// How long after an update's end the list is read again; tests shorten it.
    void setUpdateSettleMs(int ms) { m_updateSettleMs = ms; }

signals:
    /// A fetched list is on screen.
    void reloaded();

private:
    void buildUI();

    FRWAppModel& m_model;
    FRWTimerSource& m_timers;
    QPointer<QDialog> m_window;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_onlyNotReady = nullptr;
    QPushButton* m_updateAll = nullptr;
    QLabel* m_emptyLabel = nullptr;
    QJsonArray m_all;
    QJsonArray m_shown;
    int m_updateSettleMs = 2500;
};
