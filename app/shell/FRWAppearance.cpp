#include "FRWAppearance.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>

#include "FRWColorSchemePortal.h"
#include "FRWTheme.h"

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
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_desktopPalette = QGuiApplication::palette();
    }
    m_scheme = schemeOf(m_desktopPalette);
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

void FRWAppearance::setManagesApplicationPalette(bool manages)
{
    m_managesPalette = manages;
    syncApplicationPalette();
}

bool FRWAppearance::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && !m_applyingPalette &&
        (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange)) {
        m_desktopPalette = QGuiApplication::palette();
        reevaluate();
    }
    return QObject::eventFilter(watched, event);
}

FRWAppearance::Scheme FRWAppearance::schemeOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? Scheme::Dark : Scheme::Light;
}

void FRWAppearance::reevaluate()
{
    const Scheme next = m_override.value_or(m_portal.value_or(schemeOf(m_desktopPalette)));
    if (next != m_scheme) {
        m_scheme = next;
        syncApplicationPalette();
        emit changed();
    } else {
        syncApplicationPalette();
    }
}

void FRWAppearance::syncApplicationPalette()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || !m_managesPalette) {
        return;
    }
    const QPalette wanted =
        schemeOf(m_desktopPalette) == m_scheme ? m_desktopPalette : themePalette(m_scheme);
    if (QGuiApplication::palette() == wanted) {
        return;
    }
    m_applyingPalette = true;
    QApplication::setPalette(wanted);
    m_applyingPalette = false;
}

QPalette FRWAppearance::themePalette(Scheme scheme)
{
    const bool dark = scheme == Scheme::Dark;
    const QColor window = FRWTheme::windowGradientMid().resolve(dark);
    const QColor text = FRWTheme::primaryText().resolve(dark);
    const QColor secondary = FRWTheme::secondaryLabel().resolve(dark);
    // Fields sit on the window like cards do: the card fill laid over the window colour.
    const QColor card = FRWTheme::cardBackground().resolve(dark);
    const qreal a = card.alphaF();
    const QColor base = QColor::fromRgbF(card.redF() * a + window.redF() * (1 - a),
                                         card.greenF() * a + window.greenF() * (1 - a),
                                         card.blueF() * a + window.blueF() * (1 - a));
    const QColor line = FRWTheme::border().resolve(dark);

    QPalette palette(window);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, base);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, dark ? QColor(Qt::white) : QColor(Qt::black));
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, secondary);
    palette.setColor(QPalette::Highlight, FRWTheme::accentBlue().resolve(dark));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, FRWTheme::accentBlue().resolve(dark));
    palette.setColor(QPalette::Light, dark ? base.lighter(130) : QColor(Qt::white));
    palette.setColor(QPalette::Midlight, line.lighter(110));
    palette.setColor(QPalette::Mid, line);
    palette.setColor(QPalette::Dark, line.darker(130));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0, dark ? 160 : 60));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, secondary);
    }
    return palette;
}
