#include "FRWProfileStore.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "FRWAPIInfo.h"
#include "FRWAtomicFile.h"
#include "FRWControllerAPI.h"
#include "FRWDefaultsKeys.h"
#include "FRWLegacyStoreMigration.h"
#include "FRWNames.h"
#include "FRWProfileDocument.h"
#include "FRWProfileEdits.h"
#include "FRWRenderedConfig.h"
#include "FRWShareLink.h"
#include "FRWUserDefaults.h"

namespace {

constexpr qsizetype kMaxNameUnits = 200;
// Linux allows 255 bytes per file name. A profile's file is the name and ".conf", and QSaveFile
// writes it through a temporary "<name>.conf.XXXXXX" beside it.
constexpr qsizetype kMaxNameBytes = 255 - 5 - 7;
constexpr int kReloadTimeoutMs = 60 * 1000;

const QString kConfExtension = QStringLiteral(".conf");

// Cuts a name to the length limits without splitting a character.
QString shortened(QString name, qsizetype maxUnits, qsizetype maxBytes)
{
    if (name.size() > maxUnits) {
        name.truncate(maxUnits > 0 && name.at(maxUnits - 1).isHighSurrogate() ? maxUnits - 1 : maxUnits);
    }
    qsizetype bytes = name.toUtf8().size();
    while (bytes > maxBytes && !name.isEmpty()) {
        const qsizetype cut = name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1;
        bytes -= QStringView(name).last(cut).toUtf8().size();
        name.chop(cut);
    }
    return name;
}

// The order a file browser shows names in: localised, without case, digit runs by value. The C
// locale has no such collation, so it borrows English rules.
QCollator fileBrowserOrder()
{
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

FRWProfileStore::FRWProfileStore(const FRWAppPaths& paths, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_defaults(std::make_unique<FRWUserDefaults>(paths.settingsFile))
    , m_rendered(std::make_unique<FRWRenderedConfig>(
          paths.supportFolder + u'/' + QLatin1String(ferrow::kRenderedConfigFileName), *m_defaults))
{
}

FRWProfileStore::~FRWProfileStore() = default;

FRWProfileStore& FRWProfileStore::shared()
{
    // Lives for the whole run of the program.
    static FRWProfileStore* const instance = [] {
        auto* store = new FRWProfileStore(FRWAppPaths::fromEnvironment());
        store->load();
        return store;
    }();
    return *instance;
}

void FRWProfileStore::setAPIInfoPathProvider(APIInfoPathProvider provider)
{
    m_apiInfoPath = std::move(provider);
}

// ---- Paths and names

QString FRWProfileStore::supportFolder() const
{
    QDir().mkpath(m_paths.supportFolder);
    return m_paths.supportFolder;
}

QString FRWProfileStore::profilesDir() const
{
    return supportFolder() + u'/' + QLatin1String(ferrow::kProfilesFolderName);
}

QString FRWProfileStore::configPath() const
{
    return supportFolder() + u'/' + QLatin1String(ferrow::kRenderedConfigFileName);
}

QString FRWProfileStore::fileForName(const QString& name) const
{
    return profilesDir() + u'/' + name + kConfExtension;
}

QString FRWProfileStore::ensureProfilesDir() const
{
    QString dir = profilesDir();
    QDir().mkpath(dir);
    return dir;
}

QString FRWProfileStore::sanitizedName(const QString& name)
{
    QString result = name.trimmed();
    result.replace(u'/', u'-').replace(u':', u'-');
    qsizetype dots = 0;
    while (dots < result.size() && result.at(dots) == u'.') {
        ++dots;
    }
    result.remove(0, dots);
    if (result.isEmpty()) {
        result = QStringLiteral("Untitled");
    }
    return shortened(result, kMaxNameUnits, kMaxNameBytes);
}

QString FRWProfileStore::nameWithSuffix(const QString& name, const QString& suffix)
{
    return shortened(name, kMaxNameUnits - suffix.size(), kMaxNameBytes - suffix.toUtf8().size()) + suffix;
}

QString FRWProfileStore::uniqueNameFrom(const QString& wanted, const FRWProfile* excluding) const
{
    return uniqueNameWithSuffix(wanted, QString(), excluding);
}

// The wanted name is cut, never the suffix or the number after it: a copy of a long name stays
// recognisable as "… copy 2".
QString FRWProfileStore::uniqueNameWithSuffix(const QString& wanted, const QString& suffix,
                                              const FRWProfile* excluding) const
{
    const QString base = sanitizedName(wanted);
    QString candidate = nameWithSuffix(base, suffix);
    unsigned long counter = 2;
    bool clash = true;
    while (clash) {
        clash = false;
        for (const FRWProfilePtr& profile : m_profiles) {
            // A profile whose rename could not be written still lives in its old file: that name is
            // taken too, or a new profile would overwrite the only copy.
            const bool taken = profile->name.compare(candidate, Qt::CaseInsensitive) == 0 ||
                               (m_strandedFiles.contains(profile->identifier) &&
                                profile->identifier.compare(candidate, Qt::CaseInsensitive) == 0);
            if (profile.get() != excluding && taken) {
                candidate = nameWithSuffix(base, suffix + u' ' + QString::number(counter++));
                clash = true;
                break;
            }
        }
    }
    return candidate;
}

FRWProfilePtr FRWProfileStore::activeProfile() const
{
    if (FRWProfilePtr active = profileNamed(m_activeID)) {
        return active;
    }
    return m_profiles.isEmpty() ? nullptr : m_profiles.first();
}

FRWProfilePtr FRWProfileStore::profileNamed(const QString& identifier) const
{
    if (identifier.isEmpty()) {
        return nullptr;
    }
    for (const FRWProfilePtr& profile : m_profiles) {
        if (profile->identifier == identifier) {
            return profile;
        }
    }
    return nullptr;
}

bool FRWProfileStore::isConfigured() const
{
    return activeText().contains(QLatin1String("ferrow"), Qt::CaseSensitive);
}

QString FRWProfileStore::renderConfigFor(const FRWProfile& profile) const
{
    return profile.configText;
}

QString FRWProfileStore::activeText() const
{
    const FRWProfilePtr active = activeProfile();
    return active ? active->configText : QString();
}

// ---- Load and save

void FRWProfileStore::load()
{
    m_profiles.clear();
    m_ownedFiles.clear();
    m_strandedFiles.clear();
    const QString dir = ensureProfilesDir();
    migrateLegacyStoreIfNeeded();

    QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(), fileBrowserOrder());

    for (const QString& entry : entries) {
        const qsizetype dot = entry.lastIndexOf(u'.');
        if (dot < 0 || QStringView(entry).sliced(dot + 1) != QLatin1String(ferrow::kProfileExtension)) {
            continue;
        }
        const std::optional<QString> text = FRWAtomicFile::readText(dir + u'/' + entry);
        if (!text) {
            qWarning("ferrow: skipping profile file %s: it is not UTF-8 text", qPrintable(entry));
            continue;
        }
        const QString stem = entry.first(dot);
        m_profiles.append(std::make_shared<FRWProfile>(stem, stem, *text));
        m_ownedFiles.insert(entry);
    }

    if (m_profiles.isEmpty()) {
        const QString name = QStringLiteral("Default");
        m_profiles.append(std::make_shared<FRWProfile>(name, name, templateConfig()));
        m_activeID = name;
        save();
    }

    m_activeID = m_defaults->string(ferrow::defaults::kActiveProfile);
    if (!profileNamed(m_activeID)) {
        m_activeID = m_profiles.first()->identifier;
    }
    // What the library last wrote to profile.conf is, as far as it knows now, that profile's text.
    if (const FRWProfilePtr owner = profileNamed(m_rendered->renderedFor())) {
        m_rendered->setLastText(owner->configText);
    }
    emit profilesChanged();
}

void FRWProfileStore::migrateLegacyStoreIfNeeded()
{
    FRWLegacyStoreMigration migration(supportFolder(), ensureProfilesDir(), *m_defaults);
    migration.run();
}

void FRWProfileStore::save()
{
    ensureProfilesDir();
    adoptHandEditsOfRenderedConfig();

    QSet<QString> kept;
    QSet<QString> stranded;
    for (const FRWProfilePtr& profile : m_profiles) {
        const QString unique = uniqueNameFrom(profile->name, profile.get());
        if (unique != profile->name) {
            profile->name = unique;
        }
        const QString fileName = unique + kConfExtension;
        const bool written = FRWAtomicFile::writeText(fileForName(unique), profile->configText);
        if (unique == profile->identifier) {
            kept.insert(fileName); // a failed write left the file as it was
            continue;
        }
        const QString oldFileName = profile->identifier + kConfExtension;
        if (!written) {
            // The profile stays tied to the file that really holds it until a write succeeds;
            // the next save tries the new name again.
            kept.insert(oldFileName);
            stranded.insert(profile->identifier);
            continue;
        }
        kept.insert(fileName);
        // Written first, removed second. A file that a profile earlier in this save now owns stays.
        if (!kept.contains(oldFileName)) {
            QFile::remove(fileForName(profile->identifier));
        }
        if (m_activeID == profile->identifier) {
            m_activeID = unique;
        }
        profile->identifier = unique;
    }
    m_strandedFiles = stranded;
    sweepProfilesFolder(kept);
    m_ownedFiles = kept;

    m_defaults->setString(ferrow::defaults::kActiveProfile, m_activeID);

    if (const FRWProfilePtr active = activeProfile()) {
        writeRenderedConfig(*active);
        reloadRunningCore();
    }
    emit profilesChanged();
}

void FRWProfileStore::sweepProfilesFolder(const QSet<QString>& kept)
{
    const QString dir = profilesDir();
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!kept.contains(entry) && m_ownedFiles.contains(entry)) {
            QFile::remove(dir + u'/' + entry);
        }
    }
}

void FRWProfileStore::writeRenderedConfig(const FRWProfile& profile)
{
    m_rendered->write(profile.identifier, renderConfigFor(profile));
}

// profile.conf is regenerated at every save. When the user edited it by hand since it was last
// written, those edits go back into the profile it was written for. When that profile was changed
// in the library as well, both versions are kept: the hand-edited one as a profile of its own.
void FRWProfileStore::adoptHandEditsOfRenderedConfig()
{
    const std::optional<QString> edited = m_rendered->editedText();
    const FRWProfilePtr owner = profileNamed(m_rendered->renderedFor());
    if (!edited || !owner || *edited == owner->configText) {
        return;
    }
    if (owner->configText == m_rendered->lastText()) {
        qInfo("ferrow: taking the hand edits of profile.conf into profile %s", qPrintable(owner->name));
        owner->configText = *edited;
        return;
    }
    const QString name = uniqueNameWithSuffix(owner->name, QStringLiteral(" (edited)"), nullptr);
    qInfo("ferrow: profile.conf and profile %s were both edited; keeping the file as profile %s",
          qPrintable(owner->name), qPrintable(name));
    m_profiles.insert(m_profiles.indexOf(owner) + 1, std::make_shared<FRWProfile>(name, name, *edited));
}

void FRWProfileStore::reloadRunningCore()
{
    if (!m_apiInfoPath) {
        return;
    }
    const std::optional<QJsonObject> info = FRWAPIInfo::read(m_apiInfoPath());
    if (!info) {
        return;
    }
    if (!m_api) {
        m_api = new FRWControllerAPI(nullptr, nullptr, this);
    }
    // Fire and forget: the profile watch sends its own reload and reports a rejection.
    m_api->reload(*info, kReloadTimeoutMs, nullptr);
}

// ---- Library operations

FRWProfilePtr FRWProfileStore::addProfileWithName(const QString& name)
{
    const QString unique = uniqueNameFrom(name.isEmpty() ? QStringLiteral("New Profile") : name, nullptr);
    auto profile = std::make_shared<FRWProfile>(unique, unique, templateConfig());
    m_profiles.append(profile);
    save();
    return profile;
}

FRWProfilePtr FRWProfileStore::duplicateProfile(const FRWProfilePtr& source)
{
    if (!source) {
        return nullptr;
    }
    const QString unique = uniqueNameWithSuffix(source->name, QStringLiteral(" copy"), nullptr);
    auto copy = std::make_shared<FRWProfile>(unique, unique, source->configText);
    const qsizetype index = m_profiles.indexOf(source);
    m_profiles.insert(index < 0 ? m_profiles.size() : index + 1, copy);
    save();
    return copy;
}

void FRWProfileStore::deleteProfile(const FRWProfilePtr& profile)
{
    if (m_profiles.size() < 2 || !m_profiles.contains(profile)) {
        return;
    }
    const bool wasActive = activeProfile() == profile;
    m_profiles.removeOne(profile);
    if (wasActive) {
        m_activeID = m_profiles.first()->identifier;
    }
    save();
}

// Qt 6.4 treats the working folder as the trash when it cannot make the home trash, so the
// file would land in whatever folder the program was started from. Make sure there is one first.
FRWResult FRWProfileStore::ensureHomeTrash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString trash = data + QStringLiteral("/Trash");
    if (data.isEmpty() || !(QFileInfo(trash).isDir() || QDir().mkpath(trash))) {
        return FRWError::ferrow(tr("there is no Trash folder at %1.").arg(trash));
    }
    return std::nullopt;
}

FRWResult FRWProfileStore::moveProfileToTrash(const FRWProfilePtr& profile)
{
    if (m_profiles.size() < 2 || !m_profiles.contains(profile)) {
        return FRWError::ferrow(tr("the last profile cannot be deleted."));
    }
    // The file holding the profile is named after its identifier until the next save.
    const QString fileName = profile->identifier + kConfExtension;
    QFile file(fileForName(profile->identifier));
    if (m_ownedFiles.contains(fileName) && file.exists()) {
        if (FRWResult noTrash = ensureHomeTrash()) {
            return noTrash;
        }
        if (!file.moveToTrash()) {
            qWarning("ferrow: could not move profile %s to the trash: %s", qPrintable(profile->name),
                     qPrintable(file.errorString()));
            return FRWError::ferrow(tr("the Trash cannot take it (%1).").arg(file.errorString()));
        }
        m_ownedFiles.remove(fileName);
    }
    deleteProfile(profile);
    return std::nullopt;
}

void FRWProfileStore::setActiveProfile(const FRWProfilePtr& profile)
{
    if (!profile) {
        return;
    }
    m_activeID = profile->identifier;
    m_defaults->setString(ferrow::defaults::kActiveProfile, m_activeID);
    save();
}

// ---- The active profile's document

QStringList FRWProfileStore::linesInSection(const QString& header) const
{
    return FRWProfileDocument::linesInSection(activeText(), header);
}

QList<QVariantMap> FRWProfileStore::nodes() const
{
    return FRWProfileDocument::nodes(activeText());
}

QList<QVariantMap> FRWProfileStore::editableNodes() const
{
    return FRWProfileDocument::editableNodes(activeText());
}

QVariantMap FRWProfileStore::nodeDetails(const QString& name) const
{
    return FRWProfileDocument::nodeDetails(activeText(), name);
}

bool FRWProfileStore::hasUsableNode() const
{
    for (const QVariantMap& node : editableNodes()) {
        const QString server = node.value(QStringLiteral("server")).toString().toLower();
        const QString psk = node.value(QStringLiteral("psk")).toString();
        const bool placeholderServer = server == u"example.com" || server.endsWith(u".example.com");
        if (!placeholderServer && !psk.isEmpty() && !psk.contains(u"goes-here")) {
            return true;
        }
    }
    return false;
}

QList<QVariantMap> FRWProfileStore::groups() const
{
    return FRWProfileDocument::groups(activeText());
}

QList<QVariantMap> FRWProfileStore::editableGroups() const
{
    return FRWProfileDocument::editableGroups(activeText());
}

QList<QVariantMap> FRWProfileStore::rules() const
{
    return FRWProfileDocument::rules(activeText());
}

void FRWProfileStore::replaceSection(const QString& header, const QStringList& lines)
{
    if (const FRWProfilePtr active = activeProfile()) {
        active->configText = FRWProfileDocument::replaceSection(active->configText, header, lines);
    }
}

void FRWProfileStore::setRules(const QList<QVariantMap>& rules)
{
    replaceSection(QLatin1String(FRWProfileDocument::kRuleSection), FRWProfileDocument::ruleLines(rules));
    save();
}

void FRWProfileStore::rewriteProxies(const QList<QVariantMap>& nodes, const QList<QVariantMap>& groups)
{
    replaceSection(QLatin1String(FRWProfileDocument::kProxySection), FRWProfileDocument::proxyLines(nodes));
    replaceSection(QLatin1String(FRWProfileDocument::kGroupSection), FRWProfileDocument::groupLines(groups));
    save();
}

void FRWProfileStore::addNode(const QString& name, const QString& server, int port, const QString& psk,
                              const QString& tfo)
{
    QList<QVariantMap> nodeRecords = editableNodes();
    QList<QVariantMap> groupRecords = editableGroups();
    FRWProfileEdits::addNode(nodeRecords, groupRecords, {name, server, port, psk, tfo});
    rewriteProxies(nodeRecords, groupRecords);
}

void FRWProfileStore::updateNode(const QString& oldName, const QString& name, const QString& server, int port,
                                 const QString& psk, const QString& tfo)
{
    QList<QVariantMap> nodeRecords = editableNodes();
    QList<QVariantMap> groupRecords = editableGroups();
    FRWProfileEdits::updateNode(nodeRecords, groupRecords, oldName, {name, server, port, psk, tfo});
    rewriteProxies(nodeRecords, groupRecords);
}

void FRWProfileStore::deleteNode(const QString& name)
{
    QList<QVariantMap> nodeRecords = editableNodes();
    QList<QVariantMap> groupRecords = editableGroups();
    FRWProfileEdits::deleteNode(nodeRecords, groupRecords, name);
    rewriteProxies(nodeRecords, groupRecords);
}

void FRWProfileStore::addGroup(const QString& name, const QString& type, const QStringList& members,
                               const QString& strategy)
{
    QList<QVariantMap> groupRecords = editableGroups();
    FRWProfileEdits::addGroup(groupRecords, name, type, members, strategy);
    rewriteProxies(editableNodes(), groupRecords);
}

void FRWProfileStore::deleteGroup(const QString& name)
{
    QList<QVariantMap> groupRecords = editableGroups();
    FRWProfileEdits::deleteGroup(groupRecords, name);
    rewriteProxies(editableNodes(), groupRecords);
}

QString FRWProfileStore::templateConfig()
{
    return FRWProfileDocument::templateConfig();
}

std::optional<QVariantMap> FRWProfileStore::parseShareURI(const QString& text)
{
    return FRWShareLink::parse(text);
}
