#pragma once

#include <optional>

#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QVariantMap>

#include "FRWNodeEditorSheet.h"
#include "FRWNodeShareSheet.h"
#include "FRWPageViewController.h"
#include "FRWScreens.h"
#include "FRWTheme.h"

class QComboBox;
class QGridLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QVBoxLayout;
class FRWGroupTile;
class FRWNodeTile;
class FRWSegmented;

/// The nodes of the active profile with their latency, and the policy groups with their selected
/// member: the outbound mode, tests, member choice, and the node and group editors.
class FRWPolicyViewController : public FRWPageViewController {
    Q_OBJECT
public:
    /// (type, pop-up label), in pop-up order.
    static const QList<std::pair<QString, QString>>& supportedGroupTypes();
    static const QList<std::pair<QString, QString>>& loadBalanceStrategies();
    static QString labelForGroupType(const QString& type);
    /// The tile's status text and whether it is a good one; a stale result is never good. `failure`
    /// is what the core said of a failed test.
    static std::pair<QString, bool> latencyStatus(const QString& type, bool testing,
                                                  std::optional<int> latency, bool stale = false,
                                                  const QString& failure = {});

    explicit FRWPolicyViewController(FRWScreensContext context, QObject* parent = nullptr);

    /// Re-renders the grids when what they show changed.
    void rebuild();
    void forceRebuild();
    void testAll();
    void testOne(const QString& name);
    void pickMemberFor(const QString& group, const QStringList& members, const QString& selected,
                       QWidget* tile);
    void selectMember(const QString& member, const QString& group);
    void addGroup();
    void deleteGroup(const QString& name);
    void addNode();
    void editNode(const QString& name);
    void deleteNode(const QString& name);
    /// Opens the node editor for the node of that name, or empty to add one; null when the window
    /// already shows a sheet.
    FRWNodeEditorSheet* showNodeEditor(const QString& name);
    /// Shows the node's link as a QR code; null when the window already shows a sheet or there
    /// is no such node.
    FRWNodeShareSheet* shareNode(const QString& name);
    /// The groups shown: the running core's when it has any, else the profile's.
    QList<QVariantMap> currentGroups() const;

    QList<FRWNodeTile*> nodeTiles() const;
    QList<FRWGroupTile*> groupTiles() const;
    QDialog* groupDialog() const { return m_groupDialog; }
    QMessageBox* deleteConfirmation() const { return m_confirm; }
    FRWNodeEditorSheet* nodeEditor() const { return m_nodeEditor; }
    FRWNodeShareSheet* shareSheet() const { return m_shareSheet; }
    /// The member menu while it is open; null otherwise.
    QMenu* memberMenu() const { return m_memberMenu; }
    /// How many times the grids were rendered.
    int renderCount() const { return m_renders; }

protected:
    void viewDidLoad() override;

private:
    void modeChosen(int index);
    void syncMode();
    void commitNode(const FRWNodeEdit& edit);
    void commitGroup(const QString& name, const QString& type, const QString& strategy);
    void addSectionHeader(const QString& title, const FRWDynamicColor& color, const QString& action);
    QGridLayout* addGrid(const QList<QWidget*>& tiles);
    static void clearLayout(QLayout* layout);
    QWidget* dialogParent() const;
    QStringList profileNodeNames() const;
    QStringList profileGroupNames() const;

    FRWScreensContext m_context;
    FRWSegmented* m_mode = nullptr;
    QLabel* m_modeText = nullptr;
    QWidget* m_stackWidget = nullptr;
    QVBoxLayout* m_stack = nullptr;
    std::optional<QString> m_signature;
    QPointer<QMenu> m_memberMenu;
    QPointer<QDialog> m_groupDialog;
    QPointer<QMessageBox> m_confirm;
    QPointer<FRWNodeEditorSheet> m_nodeEditor;
    QPointer<FRWNodeShareSheet> m_shareSheet;
    int m_renders = 0;
    QList<QPointer<FRWNodeTile>> m_nodeTiles;
    QList<QPointer<FRWGroupTile>> m_groupTiles;
};
