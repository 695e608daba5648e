#include "FRWTranslations.h"

#include <memory>

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Outside any namespace: the macro declares the resource's initialiser where it stands.
static void initialiseResource()
{
    // A static library's resources are linked in only when something names them.
    static const bool done = [] {
        Q_INIT_RESOURCE(ferrow_translations);
        return true;
    }();
    (void)done;
}

namespace {

const QString kDirectory = QStringLiteral(":/i18n");
const QString kPrefix = QStringLiteral("ferrow_");

struct Installed {
    std::unique_ptr<QTranslator> app;
    std::unique_ptr<QTranslator> qt;
};

Installed& installed()
{
    static Installed translators;
    return translators;
}

void removeInstalled()
{
    Installed& current = installed();
    for (std::unique_ptr<QTranslator>* translator : {&current.app, &current.qt}) {
        if (*translator) {
            QCoreApplication::removeTranslator(translator->get());
            translator->reset();
        }
    }
}

} // namespace

namespace FRWTranslations {

QStringList available()
{
    initialiseResource();
    QStringList names;
    const QStringList files = QDir(kDirectory).entryList({kPrefix + QStringLiteral("*.qm")}, QDir::Files);
    for (const QString& file : files) {
        names.append(file.mid(kPrefix.size()).chopped(3));
    }
    return names;
}

QString install(const QStringList& uiLanguages)
{
    initialiseResource();
    removeInstalled();
    QLocale chosen(QLocale::English);
    auto app = std::make_unique<QTranslator>();
    for (const QString& language : uiLanguages) {
        const QLocale locale(language);
        // The source texts are English: a user who lists English first gets them, not a later choice.
        if (locale.language() == QLocale::English || locale.language() == QLocale::C) {
            break;
        }
        if (app->load(locale, QStringLiteral("ferrow"), QStringLiteral("_"), kDirectory)) {
            chosen = locale;
            break;
        }
    }
    Installed& current = installed();
    if (!app->isEmpty()) {
        QCoreApplication::installTranslator(app.get());
        current.app = std::move(app);
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(chosen, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt.get());
            current.qt = std::move(qt);
        }
    }
    QGuiApplication::setLayoutDirection(chosen.textDirection());
    return current.app ? chosen.name() : QStringLiteral("en");
}

} // namespace FRWTranslations
