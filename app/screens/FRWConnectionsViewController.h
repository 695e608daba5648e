#pragma once

#include <QJsonObject>
#include <QList>

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QItemSelection;
class QLabel;
class QLineEdit;
class QTableView;
class QVBoxLayout;
class FRWCardView;
class FRWConnectionsFilter;
class FRWConnectionsModel;
class FRWElidedLabel;

/// The live connection list: open connections first, newest first, with a filter, a count line
/// and the details of the selected connection, which stays selected across polls by its id.
class FRWConnectionsViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWConnectionsViewController(FRWScreensContext context, QObject* parent = nullptr);

    void refresh();

    QTableView* table() const { return m_table; }
    QLabel* emptyState() const { return m_emptyState; }
    /// The connections listed, in order.
    QList<QJsonObject> conns() const;
    /// The key of the selected connection's id; empty when none is selected.
    QString selectedID() const { return m_selectedID; }
    /// The details as shown: caption → full value.
    QList<std::pair<QString, QString>> detailRows() const;

protected:
    void viewDidLoad() override;

private:
    void selectionChanged();
    void populateDetail(const QJsonObject& connection);
    void updateDetailVisibility();
    qint64 nowMilliseconds() const;

    FRWScreensContext m_context;
    FRWConnectionsModel* m_source = nullptr;
    FRWConnectionsFilter* m_filter = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_search = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_emptyState = nullptr;
    QWidget* m_detailStack = nullptr;
    QVBoxLayout* m_detailLayout = nullptr;
    QLabel* m_detailEmpty = nullptr;
    QList<std::pair<QLabel*, FRWElidedLabel*>> m_detailRows;
    QString m_selectedID;
    bool m_reselecting = false;
};
