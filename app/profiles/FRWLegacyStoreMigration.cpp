#include "FRWLegacyStoreMigration.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "FRWAtomicFile.h"
#include "FRWDefaultsKeys.h"
#include "FRWNames.h"
#include "FRWProfileStore.h"
#include "FRWUserDefaults.h"

namespace {

QString numbered(const QString& base, unsigned long counter)
{
    return FRWProfileStore::nameWithSuffix(base, u' ' + QString::number(counter));
}

} // namespace

FRWLegacyStoreMigration::FRWLegacyStoreMigration(QString supportFolder, QString profilesDir,
                                                 FRWUserDefaults& defaults)
    : m_supportFolder(std::move(supportFolder)), m_profilesDir(std::move(profilesDir)), m_defaults(defaults)
{
}

void FRWLegacyStoreMigration::run()
{
    const QString legacyPath = m_supportFolder + u'/' + QLatin1String(ferrow::kLegacyLibraryFileName);
    if (QFile::exists(legacyPath)) {
        migrate(legacyPath);
    }
    QFile::remove(m_supportFolder + u'/' + QLatin1String(ferrow::kLegacyLaunchScriptFileName));
    QFile::remove(m_supportFolder + u'/' + QLatin1String(ferrow::kLegacyPrivilegedScriptFileName));
}

void FRWLegacyStoreMigration::migrate(const QString& legacyPath)
{
    QFile file(legacyPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("ferrow: cannot read %s; setting it aside", qPrintable(legacyPath));
        setAside(legacyPath);
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    file.close();
    if (!document.isObject()) {
        qWarning("ferrow: %s is not a library file; setting it aside", qPrintable(legacyPath));
        setAside(legacyPath);
        return;
    }

    const QJsonObject library = document.object();
    const QJsonValue activeID = library.value(QStringLiteral("activeID"));
    bool complete = true;
    for (const QJsonValue element : library.value(QStringLiteral("profiles")).toArray()) {
        if (!element.isObject()) {
            continue;
        }
        const QJsonObject profile = element.toObject();
        const QJsonValue name = profile.value(QStringLiteral("name"));
        const QJsonValue config = profile.value(QStringLiteral("config"));
        const bool isActive = activeID.isString() && profile.value(QStringLiteral("id")) == activeID;
        complete &= migrateProfile(name.isString() ? name.toString() : QStringLiteral("Profile"),
                                   config.isString() ? config.toString() : QString(), isActive);
    }
    if (complete) {
        QFile::remove(legacyPath);
    } else {
        qWarning("ferrow: some legacy profiles could not be written; keeping %s", qPrintable(legacyPath));
    }
}

bool FRWLegacyStoreMigration::migrateProfile(const QString& wantedName, const QString& text, bool isActive)
{
    const QString base = FRWProfileStore::sanitizedName(wantedName);
    unsigned long counter = 2;
    QString name = m_usedNames.contains(base.toLower()) ? nextFreeName(base, counter, false) : base;
    m_usedNames.insert(name.toLower());

    const QByteArray bytes = text.toUtf8();
    QString path = m_profilesDir + u'/' + name + u'.' + QLatin1String(ferrow::kProfileExtension);
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        if (existing.readAll() != bytes) {
            // The name is taken by a file with other content: never overwrite it, keep this text too.
            name = nextFreeName(base, counter, true);
            m_usedNames.insert(name.toLower());
            path = m_profilesDir + u'/' + name + u'.' + QLatin1String(ferrow::kProfileExtension);
            existing.close();
        } else {
            existing.close();
            path.clear(); // migrated by an earlier, interrupted run
        }
    }
    if (!path.isEmpty()) {
        if (!FRWAtomicFile::write(path, bytes)) {
            return false;
        }
    }
    if (isActive) {
        m_defaults.setString(ferrow::defaults::kActiveProfile, name);
        m_defaults.sync();
    }
    return true;
}

QString FRWLegacyStoreMigration::nextFreeName(const QString& base, unsigned long& counter,
                                              bool checkFiles) const
{
    for (;;) {
        QString candidate = numbered(base, counter++);
        const bool fileTaken = checkFiles && QFile::exists(m_profilesDir + u'/' + candidate + u'.' +
                                                           QLatin1String(ferrow::kProfileExtension));
        if (!m_usedNames.contains(candidate.toLower()) && !fileTaken) {
            return candidate;
        }
    }
}

void FRWLegacyStoreMigration::setAside(const QString& legacyPath)
{
    QString target = m_supportFolder + u'/' + QLatin1String(ferrow::kLegacyLibraryInvalidFileName);
    for (int n = 2; QFile::exists(target); ++n) {
        target = m_supportFolder + u'/' + QLatin1String(ferrow::kLegacyLibraryInvalidFileName) + u'.' +
                 QString::number(n);
    }
    QFile::rename(legacyPath, target);
}
