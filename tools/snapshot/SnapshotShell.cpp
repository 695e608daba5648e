#include "SnapshotShell.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMenu>

#include "FRWRowMenu.h"
#include "FRWStatusMenuBuilder.h"
#include "FRWTerminatingPanel.h"

namespace {

FRWStatusMenuState sampleState()
{
    FRWStatusMenuState state;
    state.outboundMode = QStringLiteral("rule");
    state.outboundNodes = {QStringLiteral("Hong Kong"), QStringLiteral("Tokyo"),
                           QStringLiteral("Frankfurt am Main \u2014 de-fra-01")};
    state.groups = {
        FRWProxyGroup(QStringLiteral("Proxy"), QStringLiteral("select"),
                      {QStringLiteral("Hong Kong"), QStringLiteral("Tokyo"), QStringLiteral("DIRECT")},
                      QStringLiteral("Tokyo")),
        FRWProxyGroup(QStringLiteral("Streaming"), QStringLiteral("select"),
                      {QStringLiteral("Tokyo"), QStringLiteral("DIRECT")}, QStringLiteral("DIRECT"))};
    state.nodeLatencies = {{QStringLiteral("Hong Kong"), 84}, {QStringLiteral("Tokyo"), 612}};
    state.connections = {
        QJsonObject{{"process", "/usr/lib/firefox/firefox"}, {"up", 120000}, {"down", 5400000}},
        QJsonObject{{"process", "/usr/bin/git"}, {"up", 30000}, {"down", 900000}}};
    state.systemProxyRunning = true;
    state.profiles = {{QStringLiteral("a"), QStringLiteral("Home")},
                      {QStringLiteral("b"), QStringLiteral("Travel")}};
    state.activeProfileIdentifier = QStringLiteral("a");
    return state;
}

} // namespace

bool saveShellSnapshots(const QDir& folder, const QString& suffix,
                        const std::function<bool(QWidget*, const QDir&, const QString&)>& save)
{
    bool ok = true;
    FRWStatusMenuBuilder builder;
    const std::pair<FRWStatusMenuBuilder::Form, QString> forms[] = {
        {FRWStatusMenuBuilder::Form::Drawn, QStringLiteral("drawn")},
        {FRWStatusMenuBuilder::Form::Native, QStringLiteral("native")},
    };
    for (const auto& [form, name] : forms) {
        std::unique_ptr<QMenu> menu;
        if (form == FRWStatusMenuBuilder::Form::Drawn) {
            menu = std::make_unique<FRWRowMenu>();
        } else {
            menu = std::make_unique<QMenu>();
        }
        builder.build(*menu, sampleState(), form);
        menu->adjustSize();
        ok = save(menu.get(), folder, QStringLiteral("menu-%1-%2.png").arg(name, suffix)) && ok;
        // The first group's members with their latency badges, the modes and the profile items.
        const std::pair<const char*, const char*> submenus[] = {
            {"Proxy", "group"}, {"Outbound Mode", "outbound"}, {"Switch Profile", "profiles"}};
        for (const auto& [title, file] : submenus) {
            for (QAction* action : menu->actions()) {
                if (action->menu() && action->text().startsWith(QLatin1String(title))) {
                    action->menu()->adjustSize();
                    ok = save(action->menu(), folder,
                              QStringLiteral("menu-%1-%2-%3.png").arg(name, QLatin1String(file), suffix)) &&
                         ok;
                    break;
                }
            }
        }
    }
    FRWTerminatingPanel panel;
    panel.show();
    ok = save(&panel, folder, QStringLiteral("terminating-%1.png").arg(suffix)) && ok;
    return ok;
}
