#pragma once

#include <optional>

#include <QString>

class FRWUserDefaults;

/// "profile.conf", the file the core runs with. Remembers (in the user settings) which profile it
/// was last written for and the file's identity then, so that hand edits made since can be found
/// without reading the file at every save.
class FRWRenderedConfig {
public:
    FRWRenderedConfig(QString path, FRWUserDefaults& defaults);

    const QString& path() const { return m_path; }
    /// The identifier of the profile the file was last written for; empty when unknown.
    QString renderedFor() const;
    /// What the library holds as the file's last written text (after a load: that profile's text).
    const QString& lastText() const { return m_lastText; }
    void setLastText(const QString& text) { m_lastText = text; }

    /// The file's text when something other than `write` changed it since; nothing otherwise.
    std::optional<QString> editedText() const;

    bool write(const QString& identifier, const QString& text);

private:
    QString currentStamp() const;

    QString m_path;
    FRWUserDefaults& m_defaults;
    QString m_lastText;
};
