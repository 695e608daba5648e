#pragma once

#include <QSet>
#include <QString>

class FRWUserDefaults;

/// Converts the library file of early versions ("profiles.json") into profile files, once, and
/// removes the scripts those versions left in the support folder.
class FRWLegacyStoreMigration {
public:
    FRWLegacyStoreMigration(QString supportFolder, QString profilesDir, FRWUserDefaults& defaults);

    void run();

private:
    void migrate(const QString& legacyPath);
    /// Writes one legacy profile; false when its text could not be stored.
    bool migrateProfile(const QString& wantedName, const QString& text, bool isActive);
    QString nextFreeName(const QString& base, unsigned long& counter, bool checkFiles) const;
    void setAside(const QString& legacyPath);

    QString m_supportFolder;
    QString m_profilesDir;
    FRWUserDefaults& m_defaults;
    QSet<QString> m_usedNames; // lower-cased
};
