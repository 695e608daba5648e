#pragma once

#include <future>
#include <memory>
#include <optional>

#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>

class QFileSystemWatcher;

/// Names and icons of programs as the desktop shows them: from the desktop entries in the XDG
/// applications folders, matched by the executable the entry runs (its Exec or TryExec program,
/// by full path or file name) and, failing that, by the entry's own file name. Read in the
/// background from first use on; until they are in, programs show by their file names. The
/// folders are watched: after a change the next look-up reads them again.
class FRWDesktopEntries {
public:
    struct Entry {
        QString name;
        QString icon;
    };
    static constexpr int kIconCacheSize = 128;

    /// `applicationDirs` in order of precedence; `searchPath` resolves bare program names.
    FRWDesktopEntries(QStringList applicationDirs, QStringList searchPath);
    ~FRWDesktopEntries();
    /// The desktop's own folders ($XDG_DATA_HOME and $XDG_DATA_DIRS) and $PATH.
    static FRWDesktopEntries& shared();

    /// Whether the entries are in; starts reading them when nobody has yet.
    bool loaded();

    /// The entry for a client process given as a full executable path or a bare executable name.
    std::optional<Entry> entryFor(const QString& process);
    /// The entry's name, else the executable's file name, else the text as given.
    QString titleFor(const QString& process);
    /// The entry's icon, else a generic icon for programs. Cached, at most kIconCacheSize entries.
    QIcon iconFor(const QString& process);
    static QIcon genericIcon();

private:
    struct Index {
        QList<Entry> entries;
        QHash<QString, int> byPath;
        QHash<QString, int> byName;
        QHash<QString, int> byFileStem;
    };
    static Index read(const QStringList& applicationDirs, const QStringList& searchPath);
    const Index* index();
    void watchFolders();

    QStringList m_applicationDirs;
    QStringList m_searchPath;
    std::future<Index> m_reading;
    std::optional<Index> m_index;
    QHash<QString, QIcon> m_icons;
    // Owned by the application too, so a shared instance outliving it leaves no watcher behind.
    QPointer<QFileSystemWatcher> m_watcher;
    bool m_stale = false;
};
