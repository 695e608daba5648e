#include "FRWLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

/// The value of `key` in the [Desktop Entry] group; empty when absent.
QString desktopEntryValue(const QString& text, const QString& key)
{
    bool inEntry = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inEntry && equals > 0 && line.left(equals).trimmed() == key) {
            return line.mid(equals + 1).trimmed();
        }
    }
    return {};
}

/// Quotes an Exec argument when it needs it, as the desktop entry format asks.
QString execArgument(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !program.isEmpty();
    for (const QChar c : program) {
        plain = plain && !reserved.contains(c);
    }
    QString text = program;
    text.replace(u'%', QStringLiteral("%%"));
    if (plain) {
        return text;
    }
    QString quoted;
    for (const QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            quoted += u'\\';
        }
        quoted += c;
    }
    // The entry's string escaping doubles each backslash once more.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

FRWLoginItem::FRWLoginItem(QString autostartDirectory, QString program)
    : m_directory(std::move(autostartDirectory)), m_program(std::move(program))
{
}

FRWLoginItem FRWLoginItem::forCurrentUser()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {config + QStringLiteral("/autostart"), QCoreApplication::applicationFilePath()};
}

QString FRWLoginItem::entryPath() const
{
    return m_directory + QStringLiteral("/ferrow.desktop");
}

bool FRWLoginItem::enabled() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // An entry is small; anything larger is not one of ours to parse.
    const QString text = QString::fromUtf8(file.read(qint64{64} * 1024));
    const auto isTrue = [&text](const char* key) {
        return desktopEntryValue(text, QLatin1String(key))
                   .compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    };
    const auto isFalse = [&text](const char* key) {
        return desktopEntryValue(text, QLatin1String(key))
                   .compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
    };
    return !isTrue("Hidden") && !isFalse("X-GNOME-Autostart-enabled");
}

QString FRWLoginItem::entryText(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Ferrow\n"
                          "Comment=Start Ferrow in the tray at login\n"
                          "Exec=%1\n"
                          "Icon=zq.orbel.ferrow-mac\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(program));
}

FRWResult FRWLoginItem::setEnabled(bool enabled)
{
    if (!enabled) {
        QFile file(entryPath());
        if (file.exists() && !file.remove()) {
            return FRWError::ferrow(file.errorString());
        }
        return std::nullopt;
    }
    if (!QDir().mkpath(m_directory)) {
        return FRWError::ferrow(
            QCoreApplication::translate("FRWLoginItem", "Cannot create %1").arg(m_directory));
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText(m_program).toUtf8()) < 0 || !file.commit()) {
        return FRWError::ferrow(file.errorString());
    }
    return std::nullopt;
}
