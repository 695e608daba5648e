#pragma once

#include <functional>

#include <QList>

#include "FRWViewController.h"

class QLabel;
class QVBoxLayout;
class FRWSidebarRow;

/// The navigation sidebar: page rows in sections at the top, Settings at the bottom.
/// It owns the selection; picking a row reports the key through onSelect.
class FRWSidebarViewController : public FRWViewController {
    Q_OBJECT
public:
    static constexpr int kWidth = 208;

    explicit FRWSidebarViewController(QObject* parent = nullptr);

    QList<FRWSidebarRow*> rows() const { return m_rows; }
    FRWSidebarRow* rowForID(const QString& itemID) const;
    QString selectedID() const { return m_selectedID; }

    /// Marks exactly the rows whose key equals itemID as selected; never calls onSelect.
    void selectItemID(const QString& itemID);

    /// Called with the key when the user picks a row, also when it was already selected.
    std::function<void(const QString&)> onSelect;

    QVBoxLayout* makeStack();
    FRWSidebarRow* addItemTo(QVBoxLayout* stack, const QString& itemID, const QString& title,
                             const QString& symbol);
    QLabel* addHeaderTo(QVBoxLayout* stack, const QString& text);

protected:
    void loadView() override;

private:
    void stepFrom(FRWSidebarRow* row, int step);

    QList<FRWSidebarRow*> m_rows;
    QString m_selectedID;
};
