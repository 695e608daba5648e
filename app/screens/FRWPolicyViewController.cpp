#include "FRWPolicyViewController.h"

#include <utility>

#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWEditorKit.h"
#include "FRWGroupTile.h"
#include "FRWNodeEditorSheet.h"
#include "FRWNodeTile.h"
#include "FRWPlusTile.h"
#include "FRWProfileStore.h"
#include "FRWProfileValidation.h"
#include "FRWSegmented.h"

namespace {
constexpr int kColumns = 4;
constexpr int kSpacing = 12;
const QString kBuiltin = QStringLiteral("Builtin");
const QStringList kModes{QStringLiteral("direct"), QStringLiteral("global"), QStringLiteral("rule")};
const char* const kModeTexts[] = {
    QT_TRANSLATE_NOOP("FRWPolicyViewController",
                      "Every request goes out directly, without going through a node."),
    QT_TRANSLATE_NOOP("FRWPolicyViewController", "Every request is sent through one node."),
    QT_TRANSLATE_NOOP("FRWPolicyViewController",
                      "Using the rule system to decide how each request is handled."),
};

QString str(const QVariantMap& map, const char* key)
{
    return map.value(QLatin1String(key)).toString();
}
} // namespace

const QList<std::pair<QString, QString>>& FRWPolicyViewController::supportedGroupTypes()
{
    static const QList<std::pair<QString, QString>> types{
        {QStringLiteral("select"), tr("Manual Selection Group \u2014 you choose the member")},
        {QStringLiteral("url-test"), tr("Automatic Testing Group \u2014 lowest latency wins")},
        {QStringLiteral("fallback"), tr("Fallback Group \u2014 first member that is alive")},
        {QStringLiteral("load-balance"), tr("Load Balance Group \u2014 spread across members")},
    };
    return types;
}

const QList<std::pair<QString, QString>>& FRWPolicyViewController::loadBalanceStrategies()
{
    static const QList<std::pair<QString, QString>> strategies{
        {QStringLiteral("consistent-hashing"),
         tr("Consistent hashing \u2014 one site always uses one member")},
        {QStringLiteral("round-robin"), tr("Round robin \u2014 every connection may use a different member")},
        {QStringLiteral("sticky-sessions"), tr("Sticky sessions \u2014 this client stays on one member")},
    };
    return strategies;
}

QString FRWPolicyViewController::labelForGroupType(const QString& type)
{
    const QString lower = type.toLower();
    if (lower == u"url-test") {
        return tr("Automatic Testing Group");
    }
    if (lower == u"fallback") {
        return tr("Fallback Group");
    }
    if (lower == u"load-balance") {
        return tr("Load Balance Group");
    }
    return tr("Manual Selection Group");
}

std::pair<QString, bool> FRWPolicyViewController::latencyStatus(const QString& type, bool testing,
                                                                std::optional<int> latency, bool stale,
                                                                const QString& failure)
{
    if (type == kBuiltin) {
        return {QString(), false};
    }
    if (testing) {
        return {tr("Testing\u2026"), false};
    }
    if (latency && *latency >= 0) {
        // An old answer says nothing about the node now: never green.
        return stale ? std::pair{tr("%1 ms \u00b7 old").arg(*latency), false}
                     : std::pair{QStringLiteral("%1 ms").arg(*latency), true};
    }
    if (latency) {
        // What the core could tell; a wrong key gives a prober nothing, so it stays "Timeout".
        if (failure == u"refused") {
            return {tr("Refused"), false};
        }
        if (failure == u"unreachable") {
            return {tr("No route"), false};
        }
        if (failure == u"name") {
            return {tr("Name not found"), false};
        }
        if (failure == u"rejected") {
            return {tr("Rejected"), false};
        }
        return {tr("Timeout"), false};
    }
    return {tr("Tap to Test"), false};
}

FRWPolicyViewController::FRWPolicyViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Policy"), parent), m_context(std::move(context))
{
}

void FRWPolicyViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(14);
    m_mode = new FRWSegmented({tr("Direct Outbound"), tr("Global Proxy"), tr("Rule-based Proxy")});
    m_mode->setObjectName(QStringLiteral("modeSegmented"));
    m_mode->setAccessibleName(tr("Outbound Mode"));
    m_mode->setSelectedIndex(2);
    m_mode->onChange = [this](int index) { modeChosen(index); };
    content->addWidget(m_mode, 0, Qt::AlignLeft);
    content->addSpacing(10);
    m_modeText = FRWEditorKit::label(tr(kModeTexts[2]), 12, QFont::Normal, FRWTheme::secondaryLabel());
    m_modeText->setObjectName(QStringLiteral("modeTextLabel"));
    content->addWidget(m_modeText);
    content->addSpacing(18);
    // The sections are layouts straight in the page's document, not widgets of their own: a
    // tile's shadow reaches past the tile and would be cut square at a tight parent's edge.
    m_stackWidget = contentView();
    m_stack = new QVBoxLayout;
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->setSpacing(12);
    content->addLayout(m_stack);
    content->addSpacing(28);
    content->addStretch(1);

    connect(m_context.model, &FRWAppModel::didUpdate, this, &FRWPolicyViewController::rebuild);
    // Edits made on other pages or by a profile switch show up without waiting for the next tick.
    connect(m_context.profiles, &FRWProfileStore::profilesChanged, this, &FRWPolicyViewController::rebuild);
    rebuild();
}

void FRWPolicyViewController::modeChosen(int index)
{
    if (index < 0 || index >= kModes.size()) {
        return;
    }
    m_modeText->setText(tr(kModeTexts[index]));
    QString node;
    if (kModes[index] == u"global") {
        node = m_context.model->outboundGlobalNode();
        if (node.isEmpty()) {
            for (const QVariantMap& entry : m_context.profiles->nodes()) {
                if (str(entry, "type") != kBuiltin) {
                    node = str(entry, "name");
                    break;
                }
            }
        }
        if (node.isEmpty()) {
            node = QStringLiteral("DIRECT");
        }
    }
    m_context.model->setOutboundMode(kModes[index], node);
}

void FRWPolicyViewController::syncMode()
{
    const qsizetype index = kModes.indexOf(m_context.model->outboundMode());
    if (index >= 0 && index != m_mode->selectedIndex()) {
        m_mode->setSelectedIndex(static_cast<int>(index));
        m_modeText->setText(tr(kModeTexts[index]));
    }
}

QList<QVariantMap> FRWPolicyViewController::currentGroups() const
{
    // Members come from the profile, so an edit shows before the core has reloaded it; the choice is
    // the core's while one answers, otherwise the one kept for the next start.
    const QList<QVariantMap> profileGroups = m_context.profiles->groups();
    QHash<QString, QStringList> profileMembers;
    for (const QVariantMap& group : profileGroups) {
        profileMembers.insert(str(group, "name"), group.value(QStringLiteral("members")).toStringList());
    }
    QList<QVariantMap> groups;
    for (const FRWProxyGroup& group : m_context.model->groups()) {
        groups << QVariantMap{
            {QStringLiteral("name"), group.name()},
            {QStringLiteral("type"), group.type()},
            {QStringLiteral("members"), profileMembers.value(group.name(), group.members())},
            {QStringLiteral("selected"), group.selected()}};
    }
    if (!groups.isEmpty()) {
        return groups;
    }
    for (QVariantMap group : profileGroups) {
        const QString name = str(group, "name");
        const QString chosen = m_context.model->chosenMember(name);
        if (profileMembers.value(name).contains(chosen)) {
            group.insert(QStringLiteral("selected"), chosen);
        }
        groups << group;
    }
    return groups;
}

void FRWPolicyViewController::forceRebuild()
{
    m_signature.reset();
    rebuild();
}

void FRWPolicyViewController::rebuild()
{
    if (!m_stack) {
        return;
    }
    syncMode();
    const QList<QVariantMap> nodes = m_context.profiles->nodes();
    const QList<QVariantMap> groups = currentGroups();
    const QHash<QString, int>& latencies = m_context.model->nodeLatencies();
    const QSet<QString>& testing = m_context.model->nodesTesting();
    QString signature;
    for (const QVariantMap& node : nodes) {
        const QString name = str(node, "name");
        const auto latency = latencies.constFind(name);
        signature +=
            QStringLiteral("%1/%2/%3%4/%5%6;")
                .arg(name, str(node, "type"),
                     latency == latencies.constEnd() ? QStringLiteral("-") : QString::number(*latency),
                     m_context.model->nodeFailure(name))
                .arg(testing.contains(name) ? 1 : 0)
                .arg(m_context.model->latencyIsStale(name) ? 1 : 0);
    }
    for (const QVariantMap& group : groups) {
        signature += QStringLiteral("%1|%2|%3|%4;")
                         .arg(str(group, "name"), str(group, "type"), str(group, "selected"),
                              group.value(QStringLiteral("members")).toStringList().join(u','));
    }
    if (m_signature == signature) {
        return;
    }
    m_signature = signature;
    ++m_renders;

    m_nodeTiles.clear();
    m_groupTiles.clear();
    clearLayout(m_stack);

    addSectionHeader(tr("PROXY"), FRWTheme::magentaText(), tr("Test All"));
    QList<QWidget*> tiles;
    QPointer<FRWPolicyViewController> self(this);
    for (const QVariantMap& node : nodes) {
        const QString name = str(node, "name");
        const QString type = str(node, "type");
        auto* tile = new FRWNodeTile(name, type);
        tile->setEditable(type != kBuiltin);
        const auto latency = latencies.constFind(name);
        const auto [text, good] =
            latencyStatus(type, testing.contains(name),
                          latency == latencies.constEnd() ? std::nullopt : std::optional<int>(*latency),
                          m_context.model->latencyIsStale(name), m_context.model->nodeFailure(name));
        tile->setStatus(text, good);
        connect(tile, &FRWNodeTile::clicked, this, &FRWPolicyViewController::testOne);
        connect(tile, &FRWNodeTile::editRequested, this, &FRWPolicyViewController::editNode);
        connect(tile, &FRWNodeTile::deleteRequested, this, &FRWPolicyViewController::deleteNode);
        connect(tile, &FRWNodeTile::shareRequested, this, &FRWPolicyViewController::shareNode);
        m_nodeTiles << tile;
        tiles << tile;
    }
    auto* addNodeTile = new FRWPlusTile(tr("Add Node"));
    connect(addNodeTile, &FRWPlusTile::clicked, this, &FRWPolicyViewController::addNode);
    tiles << addNodeTile;
    addGrid(tiles);

    addSectionHeader(tr("POLICY GROUP"), FRWTheme::indigoText(), QString());
    tiles.clear();
    for (const QVariantMap& group : groups) {
        const QString name = str(group, "name");
        const QStringList members = group.value(QStringLiteral("members")).toStringList();
        const QString selected = str(group, "selected");
        auto* tile = new FRWGroupTile(name, labelForGroupType(str(group, "type")), selected);
        QPointer<FRWGroupTile> weakTile(tile);
        connect(tile, &FRWGroupTile::clicked, this, [this, name, members, selected, weakTile] {
            pickMemberFor(name, members, selected, weakTile);
        });
        connect(tile, &FRWGroupTile::deleteRequested, this, [this, name] { deleteGroup(name); });
        m_groupTiles << tile;
        tiles << tile;
    }
    auto* addGroupTile = new FRWPlusTile(tr("Add Policy Group"));
    connect(addGroupTile, &FRWPlusTile::clicked, this, &FRWPolicyViewController::addGroup);
    tiles << addGroupTile;
    addGrid(tiles);
}

void FRWPolicyViewController::addSectionHeader(const QString& title, const FRWDynamicColor& color,
                                               const QString& action)
{
    auto* header = new QWidget;
    header->setFixedHeight(24);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FRWEditorKit::label(title, 12, QFont::Bold, color));
    layout->addStretch(1);
    if (!action.isEmpty()) {
        auto* button = new QPushButton(action);
        button->setObjectName(QStringLiteral("testAllButton"));
        connect(button, &QPushButton::clicked, this, &FRWPolicyViewController::testAll);
        layout->addWidget(button);
    }
    m_stack->addWidget(header);
}

void FRWPolicyViewController::clearLayout(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        } else if (QLayout* inner = item->layout()) {
            clearLayout(inner);
        }
        delete item;
    }
}

QGridLayout* FRWPolicyViewController::addGrid(const QList<QWidget*>& tiles)
{
    auto* layout = new QGridLayout;
    layout->setObjectName(QStringLiteral("tileGrid"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    for (int column = 0; column < kColumns; ++column) {
        layout->setColumnStretch(column, 1);
    }
    qsizetype index = 0;
    for (QWidget* tile : tiles) {
        layout->addWidget(tile, static_cast<int>(index / kColumns), static_cast<int>(index % kColumns));
        ++index;
    }
    // Pad the last row so that a lone tile is one quarter of the row wide.
    while (index % kColumns != 0) {
        auto* filler = new QWidget;
        filler->setObjectName(QStringLiteral("emptyCell"));
        layout->addWidget(filler, static_cast<int>(index / kColumns), static_cast<int>(index % kColumns));
        ++index;
    }
    m_stack->addLayout(layout);
    return layout;
}

QList<FRWNodeTile*> FRWPolicyViewController::nodeTiles() const
{
    QList<FRWNodeTile*> tiles;
    for (const QPointer<FRWNodeTile>& tile : m_nodeTiles) {
        if (tile) {
            tiles << tile;
        }
    }
    return tiles;
}

QList<FRWGroupTile*> FRWPolicyViewController::groupTiles() const
{
    QList<FRWGroupTile*> tiles;
    for (const QPointer<FRWGroupTile>& tile : m_groupTiles) {
        if (tile) {
            tiles << tile;
        }
    }
    return tiles;
}

void FRWPolicyViewController::testAll()
{
    m_context.model->testAllNodes(profileNodeNames());
}

void FRWPolicyViewController::testOne(const QString& name)
{
    m_signature.reset();
    m_context.model->testNodeCached(name);
}

void FRWPolicyViewController::pickMemberFor(const QString& group, const QStringList& members,
                                            const QString& selected, QWidget* tile)
{
    if (members.isEmpty()) {
        return;
    }
    if (m_memberMenu) {
        m_memberMenu->close();
        m_memberMenu->deleteLater();
    }
    // A profile's group may name a policy the profile no longer has; it cannot be chosen.
    QSet<QString> known;
    for (const QVariantMap& node : m_context.profiles->nodes()) {
        known.insert(str(node, "name"));
    }
    for (const QVariantMap& other : m_context.profiles->groups()) {
        known.insert(str(other, "name"));
    }
    const bool fromCore = !m_context.model->groups().isEmpty();
    m_memberMenu = new QMenu(m_stackWidget);
    m_memberMenu->setObjectName(QStringLiteral("memberMenu"));
    m_memberMenu->setAttribute(Qt::WA_DeleteOnClose);
    for (const QString& member : members) {
        const bool exists = fromCore || known.contains(member);
        QAction* action = m_memberMenu->addAction(exists ? member : member + tr(" (missing)"));
        action->setCheckable(true);
        action->setChecked(member == selected);
        action->setEnabled(exists);
        connect(action, &QAction::triggered, this, [this, group, member] {
            selectMember(member, group);
            forceRebuild();
        });
    }
    m_memberMenu->popup(tile ? tile->mapToGlobal(QPoint(0, 0)) : QCursor::pos());
}

void FRWPolicyViewController::selectMember(const QString& member, const QString& group)
{
    m_context.model->selectGroup(group, member);
}

QStringList FRWPolicyViewController::profileNodeNames() const
{
    QStringList names;
    for (const QVariantMap& node : m_context.profiles->nodes()) {
        if (str(node, "type") != kBuiltin) {
            names << str(node, "name");
        }
    }
    return names;
}

QStringList FRWPolicyViewController::profileGroupNames() const
{
    QStringList names;
    for (const QVariantMap& group : m_context.profiles->groups()) {
        names << str(group, "name");
    }
    return names;
}

QWidget* FRWPolicyViewController::dialogParent() const
{
    return m_stackWidget ? m_stackWidget->window() : nullptr;
}

void FRWPolicyViewController::addGroup()
{
    if (FRWEditorKit::windowHasSheet(m_stackWidget)) {
        return;
    }
    QDialog* dialog = FRWEditorKit::sheet(m_stackWidget, QStringLiteral("addGroupDialog"));
    dialog->setWindowTitle(tr("Add Policy Group"));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->addWidget(FRWEditorKit::label(tr("Add Policy Group"), 13, QFont::Bold, FRWTheme::primaryText()));
    auto* info = FRWEditorKit::label(
        tr("A group chooses between policies you already have; it does not create new ones."), 11.5,
        QFont::Normal, FRWTheme::secondaryLabel());
    info->setWordWrap(true);
    layout->addWidget(info);
    auto* name = new QLineEdit;
    name->setObjectName(QStringLiteral("groupNameLineEdit"));
    name->setPlaceholderText(tr("Group name (e.g. Streaming)"));
    name->setFixedWidth(420);
    name->setAccessibleName(tr("Group name"));
    layout->addWidget(name);
    auto* kind = new QComboBox;
    kind->setObjectName(QStringLiteral("groupKindComboBox"));
    kind->setAccessibleName(tr("Group type"));
    for (const auto& [type, label] : supportedGroupTypes()) {
        kind->addItem(label, type);
    }
    layout->addWidget(kind);
    auto* strategyRow = new QWidget;
    strategyRow->setObjectName(QStringLiteral("strategyRow"));
    auto* strategyLayout = new QHBoxLayout(strategyRow);
    strategyLayout->setContentsMargins(0, 0, 0, 0);
    auto* strategy = new QComboBox;
    strategy->setObjectName(QStringLiteral("strategyComboBox"));
    auto* strategyCaption = new QLabel(tr("Balancing:"));
    strategyCaption->setBuddy(strategy);
    strategyLayout->addWidget(strategyCaption);
    for (const auto& [value, label] : loadBalanceStrategies()) {
        strategy->addItem(label, value);
    }
    strategyLayout->addWidget(strategy, 1);
    strategyRow->setVisible(false);
    layout->addWidget(strategyRow);
    auto* problem = FRWEditorKit::label(QString(), 11.5, QFont::Normal, FRWTheme::secondaryLabel());
    problem->setObjectName(QStringLiteral("problemNoteLabel"));
    problem->setWordWrap(true);
    layout->addWidget(problem);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    auto* add = new QPushButton(tr("Add"));
    add->setObjectName(QStringLiteral("addButton"));
    add->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(add);
    layout->addLayout(buttons);

    connect(kind, &QComboBox::currentIndexChanged, strategyRow, [strategyRow, kind] {
        strategyRow->setVisible(kind->currentData().toString() == u"load-balance");
    });
    // A name the profile cannot hold, or one it already uses, is refused while it is typed: Add
    // never replaces a group.
    const auto nameProblem = [this, name] {
        const QString trimmed = name->text().trimmed();
        return trimmed.isEmpty()
                   ? QString()
                   : FRWProfileValidation::groupNameProblem(trimmed, profileNodeNames(), profileGroupNames());
    };
    connect(name, &QLineEdit::textChanged, dialog, [nameProblem, problem, add] {
        const QString text = nameProblem();
        problem->setText(text);
        add->setEnabled(text.isEmpty());
    });
    connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    connect(add, &QPushButton::clicked, dialog, [this, dialog, name, kind, strategy, nameProblem, problem] {
        const QString type = kind->currentData().toString();
        const QString chosen = type == u"load-balance" ? strategy->currentData().toString() : QString();
        const QString trimmed = name->text().trimmed();
        if (const QString text = nameProblem(); !text.isEmpty()) {
            problem->setText(text);
            return;
        }
        dialog->accept();
        commitGroup(trimmed, type, chosen);
    });
    m_groupDialog = dialog;
    dialog->open();
    name->setFocus();
}

void FRWPolicyViewController::commitGroup(const QString& name, const QString& type, const QString& strategy)
{
    if (name.isEmpty()) {
        return;
    }
    QStringList members;
    for (const QVariantMap& node : m_context.profiles->nodes()) {
        members << str(node, "name");
    }
    m_context.profiles->addGroup(name, type, members, strategy);
    forceRebuild();
}

void FRWPolicyViewController::deleteGroup(const QString& name)
{
    auto* box =
        new QMessageBox(QMessageBox::Warning, tr("Delete \u201c%1\u201d?").arg(name),
                        tr("Delete \u201c%1\u201d?").arg(name), QMessageBox::NoButton, dialogParent());
    box->setObjectName(QStringLiteral("deleteGroupMessageBox"));
    box->setInformativeText(tr("Rules that send traffic to this group will fall through to FINAL."));
    QPushButton* remove = box->addButton(tr("Delete"), QMessageBox::DestructiveRole);
    box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    box->setWindowModality(dialogParent() ? Qt::WindowModal : Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, name, remove](QAbstractButton* clicked) {
        if (clicked == remove) {
            m_context.profiles->deleteGroup(name);
            forceRebuild();
        }
    });
    m_confirm = box;
    box->open();
}

void FRWPolicyViewController::addNode()
{
    showNodeEditor(QString());
}

void FRWPolicyViewController::editNode(const QString& name)
{
    for (const QVariantMap& node : m_context.profiles->editableNodes()) {
        if (str(node, "name") == name) {
            showNodeEditor(name);
            return;
        }
    }
    showNodeEditor(QString());
}

void FRWPolicyViewController::deleteNode(const QString& name)
{
    m_context.profiles->deleteNode(name);
    forceRebuild();
}

FRWNodeEditorSheet* FRWPolicyViewController::showNodeEditor(const QString& name)
{
    if (FRWEditorKit::windowHasSheet(m_stackWidget)) {
        return nullptr;
    }
    const QVariantMap details = name.isEmpty() ? QVariantMap() : m_context.profiles->nodeDetails(name);
    auto* sheet = new FRWNodeEditorSheet(dialogParent(), details.isEmpty() ? QString() : name, details,
                                         profileNodeNames(), profileGroupNames());
    connect(sheet, &FRWNodeEditorSheet::committed, this, &FRWPolicyViewController::commitNode);
    m_nodeEditor = sheet;
    sheet->open();
    return sheet;
}

FRWNodeShareSheet* FRWPolicyViewController::shareNode(const QString& name)
{
    const QVariantMap details = m_context.profiles->nodeDetails(name);
    if (details.isEmpty() || FRWEditorKit::windowHasSheet(m_stackWidget)) {
        return nullptr;
    }
    auto* sheet = new FRWNodeShareSheet(dialogParent(), details);
    m_shareSheet = sheet;
    sheet->open();
    return sheet;
}

void FRWPolicyViewController::commitNode(const FRWNodeEdit& edit)
{
    if (edit.oldName.isEmpty()) {
        m_context.profiles->addNode(edit.name, edit.server, edit.port, edit.psk, edit.tfo);
    } else {
        m_context.profiles->updateNode(edit.oldName, edit.name, edit.server, edit.port, edit.psk, edit.tfo);
    }
    forceRebuild();
}
