#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "FRWStatusMenuBuilder.h"
#include "FRWStatusMenuState.h"

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;

/// The tray item: its icon follows the outbound mode and whether a routing mode runs, and its
/// menu is rebuilt from a fresh state every time it is about to open.
class FRWStatusItem : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWStatusItem)

public:
    using StateSource = std::function<FRWStatusMenuState()>;

    /// `form` is how the menu is built; `formForSession` decides it for the running desktop.
    FRWStatusItem(StateSource source, FRWStatusMenuBuilder::Form form, QObject* parent = nullptr);
    ~FRWStatusItem() override;

    /// Native when the desktop draws tray menus itself (a StatusNotifierWatcher is on the session
    /// bus, so Qt exports the menu over D-Bus), Drawn when Qt draws it.
    static FRWStatusMenuBuilder::Form formForSession();

    FRWStatusMenuBuilder& builder() { return m_builder; }
    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    const QString& statusIconLetter() const { return m_statusIconLetter; }
    bool looksDisabled() const { return m_disabled; }

    /// Redraws the icon when the letter changed, and sets the disabled look.
    void refreshStatusIcon();
    /// Rebuilds the menu from a fresh state (done each time it is about to show).
    void rebuildMenu();

signals:
    /// A left click on the tray item.
    void activated();

private:
    void showWhenTrayAppears();

    StateSource m_source;
    FRWStatusMenuBuilder::Form m_form;
    FRWStatusMenuBuilder m_builder;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    QDBusServiceWatcher* m_trayWatcher = nullptr;
    QString m_statusIconLetter;
    bool m_disabled = false;
    bool m_hasIcon = false;
};
