#pragma once

#include <memory>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWProfileStore.h"
#include "QtTestFiles.h"
#include "TemporaryHome.h"

/// A profile library in a temporary home, with helpers to look at what it wrote.
class ProfileStoreTest : public ::testing::Test {
protected:
    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();

    std::unique_ptr<FRWProfileStore> loadedStore()
    {
        auto store = std::make_unique<FRWProfileStore>(paths);
        store->load();
        return store;
    }

    QString profilesDir() const { return paths.supportFolder + QStringLiteral("/Profiles"); }
    QString profileFile(const QString& name) const
    {
        return profilesDir() + u'/' + name + QStringLiteral(".conf");
    }
    QString renderedConfig() const { return readText(paths.supportFolder + QStringLiteral("/profile.conf")); }

    static QString readText(const QString& path)
    {
        return ferrow::test::readText(path, QStringLiteral("<missing>"));
    }
    static void writeBytes(const QString& path, const QByteArray& bytes)
    {
        ferrow::test::writeBytes(path, bytes);
    }

    QStringList folderEntries() const
    {
        return QDir(profilesDir())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QVariant storedDefault(const char* key) const
    {
        return QSettings(paths.settingsFile, QSettings::IniFormat).value(QLatin1String(key));
    }

    static QStringList names(const FRWProfileStore& store)
    {
        QStringList result;
        for (const FRWProfilePtr& profile : store.profiles()) {
            result.append(profile->name);
        }
        return result;
    }
};
