#include "FRWDesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The program an Exec line runs, past "env" and its assignments.
QString programOf(const QString& exec)
{
    QStringList words = execWords(exec);
    if (!words.isEmpty() && QFileInfo(words.first()).fileName() == QLatin1String("env")) {
        words.removeFirst();
        while (!words.isEmpty() &&
               (words.first().contains(QLatin1Char('=')) || words.first().startsWith(QLatin1Char('-')))) {
            words.removeFirst();
        }
    }
    return words.isEmpty() ? QString() : words.first();
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

QString FRWDesktopEntries::resolveProgram(const QString& program) const
{
    if (program.isEmpty() || program.startsWith(QLatin1Char('/'))) {
        return program;
    }
    for (const QString& dir : m_searchPath) {
        const QFileInfo candidate(QDir(dir), program);
        if (candidate.isFile() && candidate.isExecutable()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}

void FRWDesktopEntries::addEntry(const QString& file)
{
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text) || source.size() > 256 * 1024) {
        return;
    }
    QTextStream in(&source);
    bool inMain = false;
    QHash<QString, QString> values;
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
    const QString type = values.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (type != QLatin1String("Application") ||
        values.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        values.value(QStringLiteral("Name")).isEmpty()) {
        return;
    }
    const int index = int(m_entries.size());
    m_entries.append({values.value(QStringLiteral("Name")), values.value(QStringLiteral("Icon"))});
    // Earlier folders take precedence: a key already claimed stays with its first entry.
    for (const QString& exec :
         {values.value(QStringLiteral("TryExec")), programOf(values.value(QStringLiteral("Exec")))}) {
        if (exec.isEmpty()) {
            continue;
        }
        const QString path = resolveProgram(exec);
        if (!path.isEmpty()) {
            m_byPath.insert(path, m_byPath.value(path, index));
            const QString canonical = QFileInfo(path).canonicalFilePath();
            if (!canonical.isEmpty()) {
                m_byPath.insert(canonical, m_byPath.value(canonical, index));
                const QString canonicalName = QFileInfo(canonical).fileName();
                m_byName.insert(canonicalName, m_byName.value(canonicalName, index));
            }
        }
        const QString name = QFileInfo(exec).fileName();
        m_byName.insert(name, m_byName.value(name, index));
    }
    const QString stem = QFileInfo(file).completeBaseName();
    m_byFileStem.insert(stem, m_byFileStem.value(stem, index));
}

void FRWDesktopEntries::load()
{
    m_loaded = true;
    for (const QString& dir : m_applicationDirs) {
        QDir folder(dir);
        const QStringList files =
            folder.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& file : files) {
            addEntry(folder.filePath(file));
        }
    }
}

std::optional<FRWDesktopEntries::Entry> FRWDesktopEntries::entryFor(const QString& process)
{
    if (process.isEmpty()) {
        return std::nullopt;
    }
    if (!m_loaded) {
        load();
    }
    const QString name = QFileInfo(process).fileName();
    int index = -1;
    if (process.contains(QLatin1Char('/'))) {
        index = m_byPath.value(process, -1);
        if (index < 0) {
            const QString canonical = QFileInfo(process).canonicalFilePath();
            index = canonical.isEmpty() ? -1 : m_byPath.value(canonical, -1);
        }
    }
    if (index < 0) {
        index = m_byName.value(name, -1);
    }
    if (index < 0) {
        index = m_byFileStem.value(name, -1);
    }
    if (index < 0) {
        return std::nullopt;
    }
    return m_entries.at(index);
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
    const QIcon own = FRWSymbols::icon(QStringLiteral("terminal"));
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
    m_icons.insert(process, icon);
    return icon;
}
