#include "FRWAppearance.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>

#include "FRWColorSchemePortal.h"

namespace {
bool g_usesPortal = true;
}

FRWAppearance* FRWAppearance::shared()
{
    // Parented to the application so it goes away with it; created on first use.
    static auto* instance = new FRWAppearance(g_usesPortal);
    return instance;
}

void FRWAppearance::setUsesDesktopPortal(bool enabled)
{
    g_usesPortal = enabled;
}

FRWAppearance::FRWAppearance(bool usePortal) : QObject(QCoreApplication::instance())
{
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    m_scheme = paletteScheme();
    if (usePortal) {
        m_portalWatcher = new FRWColorSchemePortal(QDBusConnection::sessionBus(), this);
        connect(m_portalWatcher, &FRWColorSchemePortal::colorSchemeChanged, this,
                &FRWAppearance::setPortalColorScheme);
        m_portalWatcher->start();
    }
}

void FRWAppearance::setOverride(std::optional<Scheme> scheme)
{
    m_override = scheme;
    reevaluate();
}

void FRWAppearance::setPortalColorScheme(uint value)
{
    if (value == 1) {
        m_portal = Scheme::Dark;
    } else if (value == 2) {
        m_portal = Scheme::Light;
    } else {
        m_portal.reset();
    }
    reevaluate();
}

bool FRWAppearance::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() &&
        (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange)) {
        reevaluate();
    }
    return QObject::eventFilter(watched, event);
}

FRWAppearance::Scheme FRWAppearance::paletteScheme() const
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return Scheme::Light;
    }
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? Scheme::Dark : Scheme::Light;
}

void FRWAppearance::reevaluate()
{
    const Scheme next = m_override.value_or(m_portal.value_or(paletteScheme()));
    if (next == m_scheme) {
        return;
    }
    m_scheme = next;
    emit changed();
}
