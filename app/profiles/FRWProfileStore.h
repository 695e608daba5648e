#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

#include "FRWAppPaths.h"
#include "FRWError.h"
#include "FRWProfile.h"

class FRWRenderedConfig;
class FRWUserDefaults;
class FRWControllerAPI;

/// The library of the user's profiles: one file per profile in the profiles folder, the active
/// profile, and the rendered "profile.conf" that the core runs with. Every document read and edit
/// acts on the active profile's text. GUI thread only.
class FRWProfileStore : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FRWProfileStore)

public:
    /// Where a running core announces its controller API; empty when no core can be asked.
    using APIInfoPathProvider = std::function<QString()>;

    explicit FRWProfileStore(const FRWAppPaths& paths, QObject* parent = nullptr);
    ~FRWProfileStore() override;

    /// The process's library, built from the environment and loaded on first use.
    static FRWProfileStore& shared();

    void setAPIInfoPathProvider(APIInfoPathProvider provider);

    // The library
    const QList<FRWProfilePtr>& profiles() const { return m_profiles; }
    QString activeID() const { return m_activeID; }
    QString supportFolder() const;
    QString profilesDir() const;
    QString configPath() const;
    QString fileForName(const QString& name) const;
    QString uniqueNameFrom(const QString& wanted, const FRWProfile* excluding) const;
    FRWProfilePtr activeProfile() const;
    FRWProfilePtr profileNamed(const QString& identifier) const;
    bool isConfigured() const;
    QString renderConfigFor(const FRWProfile& profile) const;

    void load();
    void migrateLegacyStoreIfNeeded();
    void save();
    void reloadRunningCore();
    FRWProfilePtr addProfileWithName(const QString& name);
    FRWProfilePtr duplicateProfile(const FRWProfilePtr& source);
    void deleteProfile(const FRWProfilePtr& profile);
    /// Deletes the profile, its file going to the desktop's trash under its own name. When the trash
    /// cannot take the file, the profile and its file stay and the error says why. Refused for the
    /// last profile.
    FRWResult moveProfileToTrash(const FRWProfilePtr& profile);
    void setActiveProfile(const FRWProfilePtr& profile);

    static QString sanitizedName(const QString& name);
    /// The name cut so that it still fits a file name with the suffix, then the suffix.
    static QString nameWithSuffix(const QString& name, const QString& suffix);

    // The active profile's document
    QStringList linesInSection(const QString& header) const;
    QList<QVariantMap> nodes() const;
    QList<QVariantMap> editableNodes() const;
    /// A node that can work: neither the template's placeholder key nor a server under example.com.
    bool hasUsableNode() const;
    QVariantMap nodeDetails(const QString& name) const;
    QList<QVariantMap> groups() const;
    QList<QVariantMap> editableGroups() const;
    QList<QVariantMap> rules() const;
    void replaceSection(const QString& header, const QStringList& lines);
    void setRules(const QList<QVariantMap>& rules);
    void rewriteProxies(const QList<QVariantMap>& nodes, const QList<QVariantMap>& groups);
    void addNode(const QString& name, const QString& server, int port, const QString& psk,
                 const QString& tfo);
    void updateNode(const QString& oldName, const QString& name, const QString& server, int port,
                    const QString& psk, const QString& tfo);
    void deleteNode(const QString& name);
    void addGroup(const QString& name, const QString& type, const QStringList& members,
                  const QString& strategy);
    void deleteGroup(const QString& name);

    static QString templateConfig();
    static std::optional<QVariantMap> parseShareURI(const QString& text);

signals:
    /// The list, a name, the active profile or a text may have changed (after every save and load).
    void profilesChanged();

private:
    QString activeText() const;
    QString uniqueNameWithSuffix(const QString& wanted, const QString& suffix,
                                 const FRWProfile* excluding) const;
    void adoptHandEditsOfRenderedConfig();
    static FRWResult ensureHomeTrash();
    void writeRenderedConfig(const FRWProfile& profile);
    void sweepProfilesFolder(const QSet<QString>& kept);
    QString ensureProfilesDir() const;

    FRWAppPaths m_paths;
    std::unique_ptr<FRWUserDefaults> m_defaults;
    std::unique_ptr<FRWRenderedConfig> m_rendered;
    APIInfoPathProvider m_apiInfoPath;
    FRWControllerAPI* m_api = nullptr;
    QList<FRWProfilePtr> m_profiles;
    QString m_activeID;
    /// File names in the profiles folder that belong to the library (loaded or written by it);
    /// the sweep never touches anything else.
    QSet<QString> m_ownedFiles;
    /// Identifiers of profiles whose new name could not be written; their old file is their only copy.
    QSet<QString> m_strandedFiles;
};
