#include "FRWRuleViewController.h"

#include <utility>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableView>
#include <QVBoxLayout>

#include "FRWCardView.h"
#include "FRWEditorKit.h"
#include "FRWProfileStore.h"
#include "FRWRuleRowDelegate.h"
#include "FRWRulesModel.h"

namespace {
constexpr int kTableCardHeight = 520;

QString str(const QVariantMap& map, const char* key)
{
    return map.value(QLatin1String(key)).toString();
}
} // namespace

FRWRuleViewController::FRWRuleViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Rule"), parent), m_context(std::move(context))
{
}

void FRWRuleViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(10);
    content->addWidget(FRWEditorKit::label(tr("Rules are evaluated in priority order, top to bottom."), 12,
                                           QFont::Normal, FRWTheme::secondaryLabel()));
    content->addSpacing(10);
    auto* add = new QPushButton(tr("+ Add Rule"));
    add->setObjectName(QStringLiteral("addRuleButton"));
    content->addWidget(add, 0, Qt::AlignLeft);
    content->addSpacing(12);
    auto* card = FRWCardView::card(contentView());
    card->setObjectName(QStringLiteral("tableCard"));
    card->setCornerRadius(12);
    card->setFixedHeight(kTableCardHeight);
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(8, 8, 8, 8);
    m_model = new FRWRulesModel(this);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("rulesTable"));
    m_table->setAccessibleName(tr("Rules"));
    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    FRWRuleRowDelegate::styleTable(m_table);
    m_table->horizontalHeader()->resizeSection(0, 170);
    m_table->horizontalHeader()->resizeSection(1, 380);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(false);
    m_table->setDragEnabled(true);
    m_table->setAcceptDrops(true);
    m_table->setDropIndicatorShown(true);
    m_table->setDragDropMode(QAbstractItemView::DragDrop);
    m_table->setDefaultDropAction(Qt::MoveAction);
    m_table->setDragDropOverwriteMode(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->installEventFilter(this);
    cardLayout->addWidget(m_table);
    content->addWidget(card);
    content->addSpacing(28);

    connect(add, &QPushButton::clicked, this, &FRWRuleViewController::addRule);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        m_clickedRow = index.row();
        editSelectedRule();
    });
    connect(m_table, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = m_table->indexAt(at);
        if (!index.isValid()) {
            return;
        }
        m_clickedRow = index.row();
        QMenu menu;
        menu.addAction(tr("Edit Rule\u2026"), this, &FRWRuleViewController::editSelectedRule);
        menu.addAction(tr("Delete Rule"), this, &FRWRuleViewController::deleteSelectedRule);
        menu.exec(m_table->viewport()->mapToGlobal(at));
        m_clickedRow = -1;
    });
    connect(m_model, &FRWRulesModel::ruleMoved, this, [this](int from, int to) {
        QList<QVariantMap> shown = m_model->rules();
        shown.move(to, from);
        if (shown != libraryRules()) {
            // The drag started from a list that was no longer the library's.
            reload();
            return;
        }
        persist();
        m_table->selectRow(to);
    });
    // The list always follows the active profile, so one profile's rules are never written into another.
    connect(m_context.profiles, &FRWProfileStore::profilesChanged, this,
            &FRWRuleViewController::libraryChanged);
    reload();
}

QList<QVariantMap> FRWRuleViewController::rules() const
{
    return m_model ? m_model->rules() : QList<QVariantMap>();
}

QList<QVariantMap> FRWRuleViewController::libraryRules() const
{
    QList<QVariantMap> fresh;
    for (const QVariantMap& rule : m_context.profiles->rules()) {
        fresh << QVariantMap{{QStringLiteral("type"), str(rule, "type")},
                             {QStringLiteral("value"), str(rule, "value")},
                             {QStringLiteral("policy"), str(rule, "policy")}};
    }
    return fresh;
}

bool FRWRuleViewController::showsLibraryRules()
{
    if (m_model->rules() == libraryRules()) {
        return true;
    }
    // The rules changed in memory elsewhere (the Profile page commits its editor without a save):
    // the row the user acted on may no longer be the rule it showed, so show the current list.
    reload();
    return false;
}

void FRWRuleViewController::write(const QList<QVariantMap>& rules)
{
    // Our own write comes back as a change signal; the list already shows it.
    const QScopedValueRollback writing(m_writing, true);
    m_context.profiles->setRules(rules);
}

void FRWRuleViewController::libraryChanged()
{
    if (!m_writing) {
        reload();
    }
}

void FRWRuleViewController::reload()
{
    const QList<QVariantMap> fresh = libraryRules();
    const int selected = m_table && m_table->currentIndex().isValid() ? m_table->currentIndex().row() : -1;
    m_model->setRules(fresh);
    if (selected >= 0 && selected < fresh.size()) {
        m_table->selectRow(selected);
    }
}

void FRWRuleViewController::persist()
{
    write(m_model->rules());
}

QStringList FRWRuleViewController::policyOptions() const
{
    QStringList options{QStringLiteral("DIRECT"), QStringLiteral("REJECT")};
    const auto append = [&options](const QString& name) {
        if (!name.isEmpty() && !options.contains(name)) {
            options << name;
        }
    };
    for (const QVariantMap& group : m_context.profiles->groups()) {
        append(str(group, "name"));
    }
    for (const QVariantMap& node : m_context.profiles->nodes()) {
        append(str(node, "name"));
    }
    return options;
}

int FRWRuleViewController::targetRow() const
{
    const int row = m_clickedRow >= 0
                        ? m_clickedRow
                        : (m_table->currentIndex().isValid() && m_table->selectionModel()->hasSelection()
                               ? m_table->currentIndex().row()
                               : -1);
    return row >= 0 && row < m_model->rowCount() ? row : -1;
}

void FRWRuleViewController::addRule()
{
    showRuleEditor({}, [this](const QVariantMap& rule) {
        QList<QVariantMap> list = libraryRules();
        qsizetype at = list.size();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (str(list[i], "type") == u"FINAL") {
                at = i;
                break;
            }
        }
        list.insert(at, rule);
        write(list);
        reload();
    });
}

void FRWRuleViewController::editSelectedRule()
{
    const int row = targetRow();
    if (row < 0) {
        return;
    }
    showRuleEditor(m_model->rules()[row],
                   [this, row, before = m_model->rules()[row]](const QVariantMap& rule) {
                       QList<QVariantMap> list = libraryRules();
                       // The rules may have changed while the sheet was open; replace only the rule
                       // edited.
                       if (row >= list.size() || list[row] != before) {
                           reload();
                           return;
                       }
                       list[row] = rule;
                       write(list);
                       reload();
                   });
}

void FRWRuleViewController::deleteSelectedRule()
{
    const int row = targetRow();
    if (row < 0 || !showsLibraryRules()) {
        return;
    }
    QList<QVariantMap> list = m_model->rules();
    list.removeAt(row);
    write(list);
    reload();
}

FRWRuleEditorSheet* FRWRuleViewController::showRuleEditor(const QVariantMap& rule,
                                                          std::function<void(QVariantMap)> completion)
{
    if ((m_editor && m_editor->isVisible()) || FRWEditorKit::windowHasSheet(m_table)) {
        return nullptr;
    }
    auto* sheet = new FRWRuleEditorSheet(m_table->window(), rule, policyOptions());
    connect(sheet, &FRWRuleEditorSheet::confirmed, this,
            [completion = std::move(completion)](const QVariantMap& confirmed) { completion(confirmed); });
    m_editor = sheet;
    sheet->open();
    return sheet;
}

bool FRWRuleViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) {
            deleteSelectedRule();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            editSelectedRule();
            return true;
        }
    }
    return FRWPageViewController::eventFilter(watched, event);
}
