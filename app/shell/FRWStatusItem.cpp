#include "FRWStatusItem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>

#include "FRWAppearance.h"
#include "FRWRowMenu.h"
#include "FRWStatusIcon.h"
#include "FRWTheme.h"

namespace {

constexpr char kTrayWatcherService[] = "org.kde.StatusNotifierWatcher";

bool trayWatcherRegistered()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QLatin1String(kTrayWatcherService)).value();
}

} // namespace

FRWStatusMenuBuilder::Form FRWStatusItem::formForSession()
{
    return trayWatcherRegistered() ? FRWStatusMenuBuilder::Form::Native : FRWStatusMenuBuilder::Form::Drawn;
}

FRWStatusItem::FRWStatusItem(StateSource source, FRWStatusMenuBuilder::Form form, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_form(form)
{
    if (m_form == FRWStatusMenuBuilder::Form::Drawn) {
        m_menu = std::make_unique<FRWRowMenu>();
    } else {
        m_menu = std::make_unique<QMenu>();
    }
    connect(m_menu.get(), &QMenu::aboutToShow, this, &FRWStatusItem::rebuildMenu);
    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(QStringLiteral("Ferrow"));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            emit activated();
        }
    });
    rebuildMenu();
    refreshStatusIcon();
    showWhenTrayAppears();
    // The icon is drawn in the panel's text colour, which changes with the colour scheme.
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, [this] {
        m_hasIcon = false;
        refreshStatusIcon();
    });
}

FRWStatusItem::~FRWStatusItem() = default;

void FRWStatusItem::showWhenTrayAppears()
{
    // Qt says nothing when a tray appears later (a panel restarting, a desktop still starting);
    // the watcher's name on the session bus does.
    if (QDBusConnection::sessionBus().isConnected()) {
        m_trayWatcher =
            new QDBusServiceWatcher(QLatin1String(kTrayWatcherService), QDBusConnection::sessionBus(),
                                    QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_trayWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            m_tray->hide();
            m_tray->show();
        });
    }
    m_tray->show();
}

void FRWStatusItem::refreshStatusIcon()
{
    const FRWStatusMenuState state = m_source();
    const QString letter = FRWStatusMenuBuilder::outboundLetter(state.outboundMode);
    const bool disabled = !state.systemProxyRunning && !state.enhancedRunning;
    if (letter == m_statusIconLetter && m_hasIcon && disabled == m_disabled) {
        return;
    }
    m_statusIconLetter = letter;
    m_disabled = disabled;
    m_hasIcon = true;
    const QColor ink = FRWTheme::primaryText().resolved();
    m_tray->setIcon(FRWStatusIcon::trayIcon(letter, ink, disabled));
}

void FRWStatusItem::rebuildMenu()
{
    m_builder.build(*m_menu, m_source(), m_form);
}
