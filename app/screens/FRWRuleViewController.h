#pragma once

#include <functional>

#include <QPointer>
#include <QVariantMap>

#include "FRWPageViewController.h"
#include "FRWRuleEditorSheet.h"
#include "FRWScreens.h"

class QTableView;
class FRWRulesModel;

/// The routing rules of the active profile in priority order: add, edit, delete and reorder,
/// each written back through the library at once.
class FRWRuleViewController : public FRWPageViewController {
    Q_OBJECT
public:
    explicit FRWRuleViewController(FRWScreensContext context, QObject* parent = nullptr);

    void reload();
    void persist();
    void addRule();
    void editSelectedRule();
    void deleteSelectedRule();
    /// Opens the editor for a rule (empty for a new one); null when the window shows a sheet.
    FRWRuleEditorSheet* showRuleEditor(const QVariantMap& rule, std::function<void(QVariantMap)> completion);
    QStringList policyOptions() const;

    QList<QVariantMap> rules() const;
    QTableView* table() const { return m_table; }
    FRWRulesModel* rulesModel() const { return m_model; }
    FRWRuleEditorSheet* ruleEditor() const { return m_editor; }

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The clicked row, else the selected one; -1 when neither.
    int targetRow() const;
    /// The active profile's rules as the library holds them now.
    QList<QVariantMap> libraryRules() const;
    /// True when the table shows the library's rules; otherwise reloads it and returns false.
    bool showsLibraryRules();
    void write(const QList<QVariantMap>& rules);
    void libraryChanged();

    FRWScreensContext m_context;
    FRWRulesModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QPointer<FRWRuleEditorSheet> m_editor;
    int m_clickedRow = -1;
    bool m_writing = false;
};
