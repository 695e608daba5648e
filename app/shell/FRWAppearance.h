#pragma once

#include <optional>

#include <QObject>
#include <QPalette>

class FRWColorSchemePortal;

/// Which of the two appearances (light or dark) every view draws with. It follows the desktop:
/// the portal's colour-scheme preference when the desktop states one, else the lightness of the
/// desktop's application palette. Views connect to changed() and re-apply their colours.
/// When the portal's preference and the desktop palette disagree, the application palette is
/// replaced by one made from the theme, so stock widgets match the custom-drawn ones.
class FRWAppearance : public QObject {
    Q_OBJECT
public:
    enum class Scheme { Light, Dark };

    static FRWAppearance* shared();
    /// Whether shared() asks the desktop portal over D-Bus; set before the first shared().
    /// Tests and the snapshot tool turn it off so the machine's desktop cannot leak in.
    static void setUsesDesktopPortal(bool enabled);

    Scheme scheme() const { return m_scheme; }
    bool isDark() const { return m_scheme == Scheme::Dark; }

    /// Pins the appearance regardless of the desktop (snapshot tool); nullopt follows the desktop again.
    void setOverride(std::optional<Scheme> scheme);
    /// The portal's org.freedesktop.appearance color-scheme: 1 dark, 2 light, anything else no preference.
    void setPortalColorScheme(uint value);

    /// Whether the application palette is kept in step with the appearance (on by default).
    void setManagesApplicationPalette(bool manages);
    /// The palette stock widgets get for a scheme when the desktop's own palette does not fit it.
    static QPalette themePalette(Scheme scheme);

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit FRWAppearance(bool usePortal);
    void reevaluate();
    static Scheme schemeOf(const QPalette& palette);
    void syncApplicationPalette();

    Scheme m_scheme = Scheme::Light;
    std::optional<Scheme> m_override;
    std::optional<Scheme> m_portal;
    FRWColorSchemePortal* m_portalWatcher = nullptr;
    // The palette the desktop gave the application, as opposed to one set here.
    QPalette m_desktopPalette;
    bool m_managesPalette = true;
    bool m_applyingPalette = false;
};
