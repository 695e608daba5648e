#include "FRWStatusMenuBuilder.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QIcon>
#include <QJsonObject>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "FRWPlatformTerms.h"
#include "FRWRowMenu.h"
#include "FRWTheme.h"

namespace {

// Past this a name is shortened rather than the menu growing across the screen.
constexpr int kWidestRow = 460;

/// Adds items to one menu in either form; rows of a Drawn menu are collected for sizing.
class MenuWriter {
public:
    MenuWriter(QMenu& menu, FRWStatusMenuBuilder::Form form) : m_menu(menu), m_form(form) {}

    QAction* item(const QString& title, const QString& key = {})
    {
        QAction* action = m_menu.addAction(title);
        if (!key.isEmpty()) {
            action->setShortcut(QKeySequence(Qt::CTRL | QKeySequence(key)[0].key()));
        }
        return action;
    }

    /// An item shown as a row: title, detail or badge, submenu chevron, check and dimming.
    QAction* row(const FRWMenuRowView& row, QMenu* submenu = nullptr)
    {
        QAction* action = nullptr;
        if (submenu) {
            submenu->setTitle(row.title());
            action = m_menu.addMenu(submenu);
        } else {
            action = m_menu.addAction(row.title());
        }
        if (m_form == FRWStatusMenuBuilder::Form::Drawn) {
            FRWRowMenu::setRow(action, row);
        } else {
            if (!row.detail().isEmpty() && row.badgeText().isEmpty()) {
                action->setText(row.title() + QStringLiteral(" \u2014 ") + row.detail());
            }
            if (!row.badgeText().isEmpty()) {
                action->setIcon(badgeIcon(row.badgeText(), row.badgeColor()));
            }
            if (row.checked()) {
                action->setCheckable(true);
                action->setChecked(true);
            }
        }
        return action;
    }

    QMenu* submenu() const
    {
        if (m_form == FRWStatusMenuBuilder::Form::Drawn) {
            return new FRWRowMenu(&m_menu);
        }
        return new QMenu(&m_menu);
    }

    void separator() { m_menu.addSeparator(); }

    void disabled(const QString& title) { m_menu.addAction(title)->setEnabled(false); }

    /// Every row gets the widest row's width, at least `minimum`: plain items are measured as the
    /// rows they are drawn as, so no title is cut.
    void sizeRows(int minimum)
    {
        if (auto* rows = qobject_cast<FRWRowMenu*>(&m_menu)) {
            int widest = minimum;
            for (const QAction* action : m_menu.actions()) {
                if (!action->isSeparator()) {
                    widest = std::max(widest, FRWRowMenu::rowFor(action).preferredWidth());
                }
            }
            rows->setRowWidth(std::min(widest, kWidestRow));
        }
    }

private:
    static QIcon badgeIcon(const QString& text, const QColor& colour)
    {
        QPixmap pixmap(64, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(colour.isValid() ? colour : FRWTheme::statusBlue().resolved());
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 4, 64, 24), 6, 6);
        painter.setPen(Qt::white);
        QFont font = FRWTheme::font(11, QFont::Bold);
        font.setPixelSize(text.size() > 4 ? 13 : 16);
        painter.setFont(font);
        painter.drawText(QRectF(0, 4, 64, 24), Qt::AlignCenter, text);
        return {pixmap};
    }

    QMenu& m_menu;
    FRWStatusMenuBuilder::Form m_form;
};

} // namespace

QString FRWStatusMenuBuilder::outboundLetter(const QString& mode)
{
    if (mode == QLatin1String("direct")) {
        return QStringLiteral("D");
    }
    if (mode == QLatin1String("global")) {
        return QStringLiteral("G");
    }
    return QStringLiteral("R");
}

QColor FRWStatusMenuBuilder::outboundColor(const QString& mode)
{
    if (mode == QLatin1String("direct")) {
        return FRWTheme::statusGreen().resolved();
    }
    if (mode == QLatin1String("global")) {
        return FRWTheme::statusOrange().resolved();
    }
    return FRWTheme::statusBlue().resolved();
}

std::optional<FRWStatusMenuBuilder::Badge>
FRWStatusMenuBuilder::latencyBadgeFor(const QString& node, const FRWStatusMenuState& state)
{
    if (node == QLatin1String("DIRECT") || node == QLatin1String("REJECT")) {
        return std::nullopt;
    }
    if (state.nodesTesting.contains(node)) {
        return Badge{QStringLiteral("\u2026"), FRWTheme::tertiaryLabel().resolved()};
    }
    const auto cached = state.nodeLatencies.constFind(node);
    if (cached == state.nodeLatencies.constEnd()) {
        return std::nullopt;
    }
    if (*cached < 0) {
        return Badge{tr("Failed"), FRWTheme::statusRed().resolved()};
    }
    const QColor colour =
        *cached < 600 ? FRWTheme::statusGreen().resolved() : FRWTheme::statusOrange().resolved();
    return Badge{QStringLiteral("%1 ms").arg(*cached), colour};
}

QList<FRWStatusMenuBuilder::ClientTotal> FRWStatusMenuBuilder::clientTotals(const QJsonArray& connections)
{
    QMap<QString, qint64> totals;
    for (const QJsonValue value : connections) {
        const QJsonObject record = value.toObject();
        const QString process = record.value(QStringLiteral("process")).toString();
        if (!process.isEmpty()) {
            totals[process] += record.value(QStringLiteral("up")).toInteger() +
                               record.value(QStringLiteral("down")).toInteger();
        }
    }
    QList<ClientTotal> ordered;
    for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
        ordered.append({it.key(), it.value()});
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const ClientTotal& a, const ClientTotal& b) { return a.bytes > b.bytes; });
    return ordered;
}

QString FRWStatusMenuBuilder::formatBytes(qint64 bytes)
{
    if (bytes < 1024) {
        return QStringLiteral("%1 B").arg(bytes);
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

void FRWStatusMenuBuilder::build(QMenu& menu, const FRWStatusMenuState& state, Form form)
{
    // clear() deletes only the menu's own actions: the submenus of the last build, parented to the
    // menu, would pile up with their actions at every opening.
    const auto submenus = menu.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    menu.clear();
    qDeleteAll(submenus);
    MenuWriter top(menu, form);
    connect(top.item(tr("Show Main Window"), QStringLiteral("M")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::showMainWindow);
    top.separator();

    // Outbound mode; global has no item of its own and is chosen by picking its node.
    QMenu* outbound = top.submenu();
    MenuWriter modes(*outbound, form);
    // Rule-based, direct and each global node are one choice.
    auto* choice = new QActionGroup(outbound);
    choice->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const auto& [title, mode] : {std::pair{tr("Rule-Based"), QStringLiteral("rule")},
                                      std::pair{tr("Direct"), QStringLiteral("direct")}}) {
        QAction* action = modes.item(title);
        action->setCheckable(true);
        choice->addAction(action);
        action->setChecked(state.outboundMode == mode);
        connect(action, &QAction::triggered, this,
                [this, picked = mode] { emit outboundModePicked(picked); });
    }
    if (!state.outboundNodes.isEmpty()) {
        modes.separator();
        modes.disabled(tr("Global via"));
        for (const QString& node : state.outboundNodes) {
            QAction* action = modes.item(node);
            action->setCheckable(true);
            choice->addAction(action);
            action->setChecked(state.outboundMode == QLatin1String("global") &&
                               node == state.outboundGlobalNode);
            connect(action, &QAction::triggered, this, [this, node] { emit globalNodePicked(node); });
        }
    }
    modes.sizeRows(FRWMenuRowView::kInitialWidth);
    top.row(FRWMenuRowView::rowWithTitle(tr("Outbound Mode"), {}, outboundLetter(state.outboundMode),
                                         outboundColor(state.outboundMode), true, false),
            outbound);

    // Policy groups, each with its members and a test of them all.
    if (!state.groups.isEmpty()) {
        top.separator();
    }
    for (const FRWProxyGroup& group : state.groups) {
        QMenu* members = top.submenu();
        MenuWriter rows(*members, form);
        const bool testing = !state.nodesTesting.isEmpty();
        QAction* test = rows.row(FRWMenuRowView::rowWithTitle(testing ? tr("Testing\u2026") : tr("Test All"),
                                                              {}, {}, {}, false, testing));
        test->setEnabled(!testing);
        const QString& name = group.name();
        connect(test, &QAction::triggered, this, [this, name] { emit groupTestRequested(name); });
        rows.separator();
        for (const QString& member : group.members()) {
            const auto badge = latencyBadgeFor(member, state);
            QAction* action = rows.row(FRWMenuRowView::rowWithTitle(
                member, {}, badge ? badge->text : QString(), badge ? badge->color : QColor(), false, false,
                member == group.selected()));
            connect(action, &QAction::triggered, this,
                    [this, name, member] { emit memberSelected(name, member); });
        }
        rows.sizeRows(FRWMenuRowView::kInitialWidth);
        top.row(FRWMenuRowView::rowWithTitle(name, group.selected(), {}, {}, true, false), members);
    }

    // The busiest clients.
    top.separator();
    top.disabled(tr("Top Clients"));
    const QList<ClientTotal> clients = clientTotals(state.connections);
    if (clients.isEmpty()) {
        top.disabled(tr("    No traffic yet"));
    }
    for (qsizetype i = 0; i < std::min<qsizetype>(clients.size(), 5); ++i) {
        const QString name = QFileInfo(clients[i].name).fileName();
        top.row(FRWMenuRowView::rowWithTitle(name, formatBytes(clients[i].bytes), {}, {}, false, true))
            ->setEnabled(false);
    }

    top.separator();
    QAction* systemProxy = top.item(tr("Set as System Proxy"));
    systemProxy->setCheckable(true);
    systemProxy->setChecked(state.systemProxyRunning);
    connect(systemProxy, &QAction::triggered, this, &FRWStatusMenuBuilder::toggleSystemProxy);
    QAction* enhanced = top.item(tr("Enhanced Mode"), QStringLiteral("E"));
    enhanced->setCheckable(true);
    enhanced->setChecked(state.enhancedRunning);
    connect(enhanced, &QAction::triggered, this, &FRWStatusMenuBuilder::toggleEnhanced);
    connect(top.item(tr("Copy Shell Export Command"), QStringLiteral("C")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::copyShellExport);

    // Profiles and the profile file.
    top.separator();
    QMenu* profiles = top.submenu();
    profiles->setTitle(tr("Switch Profile"));
    MenuWriter profileItems(*profiles, form);
    for (const FRWStatusMenuState::Profile& profile : state.profiles) {
        QAction* action = profileItems.item(profile.name.isEmpty() ? tr("Untitled") : profile.name);
        action->setCheckable(true);
        action->setChecked(profile.identifier == state.activeProfileIdentifier);
        const QString identifier = profile.identifier;
        connect(action, &QAction::triggered, this, [this, identifier] { emit switchProfile(identifier); });
    }
    profileItems.separator();
    QAction* resources = profileItems.item(tr("External Resources"));
    resources->setEnabled(state.externalResourcesAvailable);
    connect(resources, &QAction::triggered, this, &FRWStatusMenuBuilder::showExternalResources);
    connect(profileItems.item(tr("Update All External Resources")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::updateAllExternalResources);
    profileItems.separator();
    connect(profileItems.item(tr("Edit in Text Editor")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::editProfileInTextEditor);
    connect(profileItems.item(tr("Reveal in %1").arg(FRWPlatformTerms::term(FRWPlatformTerms::kFileManager))),
            &QAction::triggered, this, &FRWStatusMenuBuilder::revealProfileInFileManager);
    profileItems.sizeRows(FRWMenuRowView::kInitialWidth);
    QAction* switchProfiles = menu.addMenu(profiles);
    switchProfiles->setEnabled(!state.profiles.isEmpty());
    connect(top.item(tr("Reload Profile from File")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::reloadProfile);

    top.separator();
    connect(top.item(tr("Check For Updates\u2026"), QStringLiteral("U")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::checkForUpdates);
    top.separator();
    connect(top.item(tr("Quit Ferrow"), QStringLiteral("Q")), &QAction::triggered, this,
            &FRWStatusMenuBuilder::quit);
    top.sizeRows(230);
}
