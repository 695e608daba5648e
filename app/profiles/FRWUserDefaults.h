#pragma once

#include <memory>

#include <QString>
#include <QVariant>

class QSettings;

/// The user settings of Ferrow: an INI file (QSettings) with the keys of FRWDefaultsKeys.h.
/// Changes are coalesced and reach the disk when the event loop next runs, or at `sync`.
class FRWUserDefaults {
public:
    explicit FRWUserDefaults(const QString& settingsFile);
    ~FRWUserDefaults();
    FRWUserDefaults(const FRWUserDefaults&) = delete;
    FRWUserDefaults& operator=(const FRWUserDefaults&) = delete;

    QString fileName() const;

    /// The stored text; empty when absent.
    QString string(const char* key) const;
    void setString(const char* key, const QString& value);
    /// The stored flag; false when absent.
    bool boolean(const char* key) const;
    void setBoolean(const char* key, bool value);
    QVariant value(const char* key) const;
    void setValue(const char* key, const QVariant& value);
    bool contains(const char* key) const;
    void remove(const char* key);

    /// Writes pending changes to disk now; true when the file was written.
    bool sync();

private:
    std::unique_ptr<QSettings> m_settings;
};
