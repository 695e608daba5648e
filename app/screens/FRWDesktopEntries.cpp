#include "FRWDesktopEntries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QTextStream>

#include "FRWSymbols.h"

namespace {
// The Exec line's words, quotes removed; field codes such as %U are dropped.
QStringList execWords(const QString& exec)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c == QLatin1Char('\\') && quoted && i + 1 < exec.size()) {
            word += exec.at(++i);
        } else if (c.isSpace() && !quoted) {
            if (any || !word.isEmpty()) {
                words << word;
            }
            word.clear();
            any = false;
        } else {
            word += c;
        }
    }
    if (any || !word.isEmpty()) {
        words << word;
    }
    words.removeIf([](const QString& w) { return w.size() == 2 && w.startsWith(QLatin1Char('%')); });
    return words;
}

bool isShell(const QString& name)
{
    static const QStringList shells{QStringLiteral("sh"), QStringLiteral("bash"), QStringLiteral("dash"),
                                    QStringLiteral("zsh")};
    return shells.contains(name);
}

// Programs that run someone else's code: the process they show up as is theirs, shared by every
// entry that uses them, so it names none of those entries.
bool isInterpreter(const QString& name)
{
    static const QStringList interpreters{QStringLiteral("perl"), QStringLiteral("java"),
                                          QStringLiteral("node"), QStringLiteral("ruby")};
    return interpreters.contains(name) || name.startsWith(QLatin1String("python"));
}

QString programOfWords(QStringList words, int depth);

// The program an Exec line runs, past "env" and its assignments, into a shell's -c command and
// to a flatpak's application id; empty for an interpreter's script.
QString programOf(const QString& exec, int depth = 0)
{
    return programOfWords(execWords(exec), depth);
}

QString programOfWords(QStringList words, int depth)
{
    const auto skipOptions = [&words] {
        while (!words.isEmpty() && words.first().startsWith(QLatin1Char('-'))) {
            words.removeFirst();
        }
    };
    if (words.isEmpty() || depth > 3) {
        return {};
    }
    const QString name = QFileInfo(words.first()).fileName();
    if (name == QLatin1String("exec") && depth > 0) {
        words.removeFirst();
        return programOfWords(words, depth + 1);
    }
    if (name == QLatin1String("env")) {
        words.removeFirst();
        while (!words.isEmpty() &&
               (words.first().contains(QLatin1Char('=')) || words.first().startsWith(QLatin1Char('-')))) {
            words.removeFirst();
        }
        return programOfWords(words, depth + 1);
    }
    if (isShell(name)) {
        const qsizetype command = words.indexOf(QStringLiteral("-c"));
        return command > 0 && command + 1 < words.size() ? programOf(words.at(command + 1), depth + 1)
                                                         : QString();
    }
    if (name == QLatin1String("flatpak") && words.size() > 1 && words.at(1) == QLatin1String("run")) {
        words.remove(0, 2);
        skipOptions();
        return words.isEmpty() ? QString() : words.first();
    }
    if (isInterpreter(name)) {
        return {};
    }
    return words.first();
}
} // namespace

FRWDesktopEntries::FRWDesktopEntries(QStringList applicationDirs, QStringList searchPath)
    : m_applicationDirs(std::move(applicationDirs)), m_searchPath(std::move(searchPath))
{
}

FRWDesktopEntries& FRWDesktopEntries::shared()
{
    static FRWDesktopEntries entries(
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation),
        qEnvironmentVariable("PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin"))
            .split(QLatin1Char(':'), Qt::SkipEmptyParts));
    return entries;
}

namespace {
QString resolveProgram(const QString& program, const QStringList& searchPath)
{
    if (program.isEmpty() || program.startsWith(QLatin1Char('/'))) {
        return program;
    }
    for (const QString& dir : searchPath) {
        const QFileInfo candidate(QDir(dir), program);
        if (candidate.isFile() && candidate.isExecutable()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}

QHash<QString, QString> mainGroupOf(const QString& file)
{
    QHash<QString, QString> values;
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text) || source.size() > qint64{256} * 1024) {
        return values;
    }
    QTextStream in(&source);
    bool inMain = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMain || equals <= 0 || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        if (!values.contains(key)) {
            values.insert(key, line.mid(equals + 1).trimmed());
        }
    }
    return values;
}

// Earlier folders take precedence: a key already claimed stays with its first entry.
void claim(QHash<QString, int>& keys, const QString& key, int index)
{
    keys.insert(key, keys.value(key, index));
}
} // namespace

FRWDesktopEntries::Index FRWDesktopEntries::read(const QStringList& applicationDirs,
                                                 const QStringList& searchPath)
{
    Index index;
    for (const QString& dir : applicationDirs) {
        QDir folder(dir);
        const QStringList files =
            folder.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& file : files) {
            const QHash<QString, QString> values = mainGroupOf(folder.filePath(file));
            const QString type = values.value(QStringLiteral("Type"), QStringLiteral("Application"));
            if (type != QLatin1String("Application") ||
                values.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
                values.value(QStringLiteral("Name")).isEmpty()) {
                continue;
            }
            const int at = int(index.entries.size());
            index.entries.append(
                {values.value(QStringLiteral("Name")), values.value(QStringLiteral("Icon"))});
            for (const QString& exec :
                 {values.value(QStringLiteral("TryExec")), programOf(values.value(QStringLiteral("Exec")))}) {
                if (exec.isEmpty()) {
                    continue;
                }
                const QString path = resolveProgram(exec, searchPath);
                if (!path.isEmpty()) {
                    claim(index.byPath, path, at);
                    const QString canonical = QFileInfo(path).canonicalFilePath();
                    if (!canonical.isEmpty()) {
                        claim(index.byPath, canonical, at);
                        claim(index.byName, QFileInfo(canonical).fileName(), at);
                    }
                }
                claim(index.byName, QFileInfo(exec).fileName(), at);
            }
            claim(index.byFileStem, QFileInfo(file).completeBaseName(), at);
        }
    }
    return index;
}

FRWDesktopEntries::~FRWDesktopEntries()
{
    delete m_watcher.data();
}

const FRWDesktopEntries::Index* FRWDesktopEntries::index()
{
    if ((!m_index || m_stale) && !m_reading.valid()) {
        // Hundreds of small files on a cold disk: never on the thread that draws. Until a new
        // reading is in, the last one keeps answering.
        m_stale = false;
        watchFolders();
        m_reading = std::async(std::launch::async, &FRWDesktopEntries::read, m_applicationDirs, m_searchPath);
    }
    if (m_reading.valid() && m_reading.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        m_index = m_reading.get();
        // Icons picked before were stand-ins or may belong to entries that changed.
        m_icons.clear();
    }
    return m_index ? &*m_index : nullptr;
}

void FRWDesktopEntries::watchFolders()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(QCoreApplication::instance());
        // An installed or removed program changes a folder; the next look-up reads them again.
        QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_watcher,
                         [this] { m_stale = true; });
    }
    // A folder that does not exist yet is watched through the nearest one that does.
    QStringList wanted;
    for (const QString& dir : m_applicationDirs) {
        QDir folder(dir);
        while (!folder.exists() && !folder.isRoot() && folder.cdUp()) {
        }
        if (folder.exists()) {
            wanted << folder.absolutePath();
        }
    }
    wanted.removeDuplicates();
    const QStringList watched = m_watcher->directories();
    for (const QString& dir : wanted) {
        if (!watched.contains(dir)) {
            m_watcher->addPath(dir);
        }
    }
}

bool FRWDesktopEntries::loaded()
{
    return index() != nullptr;
}

std::optional<FRWDesktopEntries::Entry> FRWDesktopEntries::entryFor(const QString& process)
{
    if (process.isEmpty()) {
        return std::nullopt;
    }
    const Index* entries = index();
    if (!entries) {
        return std::nullopt;
    }
    const QString name = QFileInfo(process).fileName();
    int index = -1;
    if (process.contains(QLatin1Char('/'))) {
        index = entries->byPath.value(process, -1);
        if (index < 0) {
            const QString canonical = QFileInfo(process).canonicalFilePath();
            index = canonical.isEmpty() ? -1 : entries->byPath.value(canonical, -1);
        }
    }
    if (index < 0) {
        index = entries->byName.value(name, -1);
    }
    if (index < 0) {
        index = entries->byFileStem.value(name, -1);
    }
    if (index < 0) {
        return std::nullopt;
    }
    return entries->entries.at(index);
}

QString FRWDesktopEntries::titleFor(const QString& process)
{
    if (const auto entry = entryFor(process)) {
        return entry->name;
    }
    const QString name = QFileInfo(process).fileName();
    return name.isEmpty() ? process : name;
}

QIcon FRWDesktopEntries::genericIcon()
{
    // The project's drawing is one flat shape: drawn in a theme colour, it reads on either card.
    QIcon own = FRWSymbols::themedIcon(QStringLiteral("terminal"), FRWTheme::secondaryLabel());
    if (FRWSymbols::prefersThemeIcons() && QIcon::hasThemeIcon(QStringLiteral("application-x-executable"))) {
        return QIcon::fromTheme(QStringLiteral("application-x-executable"), own);
    }
    return own;
}

QIcon FRWDesktopEntries::iconFor(const QString& process)
{
    if (const auto cached = m_icons.constFind(process); cached != m_icons.constEnd()) {
        return *cached;
    }
    QIcon icon;
    if (const auto entry = entryFor(process); entry && !entry->icon.isEmpty()) {
        if (entry->icon.startsWith(QLatin1Char('/'))) {
            if (QFileInfo::exists(entry->icon)) {
                icon = QIcon(entry->icon);
            }
        } else if (QIcon::hasThemeIcon(entry->icon)) {
            icon = QIcon::fromTheme(entry->icon);
        }
    }
    if (icon.isNull()) {
        icon = genericIcon();
    }
    if (m_icons.size() >= kIconCacheSize) {
        m_icons.clear();
    }
    if (m_index) {
        m_icons.insert(process, icon);
    }
    return icon;
}
