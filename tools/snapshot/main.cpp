// ferrow-snapshot: renders the main window on every sidebar page, a gallery of the drawing
// widgets, the tray menu and the quitting panel, in the light and the dark appearance, to PNG files in the
// folder given. --language renders the texts of one of the app's translations (and its layout
// direction); --scheme restricts the run to one appearance.

#include <cstdio>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFontDatabase>
#include <QWidget>

#include "FRWAppearance.h"
#include "FRWMainWindowController.h"
#include "FRWSidebarRow.h"
#include "FRWSidebarViewController.h"
#include "FRWSymbols.h"
#include "FRWTranslations.h"
#include "SnapshotGallery.h"
#include "SnapshotScreens.h"
#include "SnapshotShell.h"

namespace {
void settle()
{
    // Two rounds: layouts post further events while they settle.
    for (int round = 0; round < 2; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

bool save(QWidget* widget, const QDir& folder, const QString& name)
{
    settle();
    // The offscreen cursor may rest over a row or a pill; snapshots show nothing hovered.
    for (FRWSidebarRow* row : widget->findChildren<FRWSidebarRow*>()) {
        row->setHovered(false);
    }
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (child->underMouse()) {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(child, &leave);
        }
    }
    const QString path = folder.filePath(name);
    if (!widget->grab().save(path, "PNG")) {
        std::fprintf(stderr, "ferrow-snapshot: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int usage()
{
    std::fprintf(
        stderr,
        "usage: ferrow-snapshot [--theme-icons] [--language NAME] [--scheme light|dark] OUTPUT-FOLDER\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCursor::setPos(-10000, -10000);

    QString output;
    bool themeIcons = false;
    QString language;
    QString onlyScheme;
    const QStringList arguments = app.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--theme-icons")) {
            themeIcons = true;
        } else if (argument == QLatin1String("--language") && hasValue) {
            language = arguments[++i];
        } else if (argument == QLatin1String("--scheme") && hasValue &&
                   (arguments[i + 1] == u"light" || arguments[i + 1] == u"dark")) {
            onlyScheme = arguments[++i];
        } else if (argument.startsWith(QLatin1Char('-')) || !output.isEmpty()) {
            return usage();
        } else {
            output = argument;
        }
    }
    if (output.isEmpty()) {
        return usage();
    }
    QDir folder(output);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "ferrow-snapshot: cannot create %s\n", qPrintable(output));
        return 1;
    }

    // Images must not depend on this machine's desktop: a fixed font, the project's own symbols,
    // and the appearance chosen here rather than asked of the portal.
    if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
        QFont font(QStringLiteral("Inter"));
        font.setHintingPreference(QFont::PreferNoHinting);
        QApplication::setFont(font);
    }
    if (!language.isEmpty() && FRWTranslations::install({language}) == QLatin1String("en") &&
        !language.startsWith(QLatin1String("en"))) {
        std::fprintf(stderr, "ferrow-snapshot: no translation for %s\n", qPrintable(language));
        return 2;
    }
    FRWSymbols::setPrefersThemeIcons(themeIcons);
    FRWAppearance::setUsesDesktopPortal(false);

    const std::pair<FRWAppearance::Scheme, QString> schemes[] = {
        {FRWAppearance::Scheme::Light, QStringLiteral("light")},
        {FRWAppearance::Scheme::Dark, QStringLiteral("dark")},
    };
    bool ok = true;
    for (const auto& [scheme, suffix] : schemes) {
        if (!onlyScheme.isEmpty() && suffix != onlyScheme) {
            continue;
        }
        FRWAppearance::shared()->setOverride(scheme);
        {
            FRWMainWindowController controller;
            QWidget* window = controller.window();
            window->show();
            for (FRWSidebarRow* row : controller.sidebar()->rows()) {
                // As a click would: select the row, then show its page.
                row->onClick(row->itemID());
                ok =
                    save(window, folder, QStringLiteral("window-%1-%2.png").arg(row->itemID(), suffix)) && ok;
            }
        }
        QWidget* gallery = makeSnapshotGallery();
        gallery->show();
        ok = save(gallery, folder, QStringLiteral("gallery-%1.png").arg(suffix)) && ok;
        delete gallery;
        ok = saveShellSnapshots(folder, suffix, save) && ok;
        ok = saveScreenSnapshots(folder, suffix, save) && ok;
    }
    return ok ? 0 : 1;
}
