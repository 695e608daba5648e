#include "FRWUserDefaults.h"

#include <QSettings>

FRWUserDefaults::FRWUserDefaults(const QString& settingsFile)
    : m_settings(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat))
{
}

FRWUserDefaults::~FRWUserDefaults() = default;

QString FRWUserDefaults::fileName() const
{
    return m_settings->fileName();
}

QString FRWUserDefaults::string(const char* key) const
{
    return m_settings->value(QLatin1String(key)).toString();
}

void FRWUserDefaults::setString(const char* key, const QString& value)
{
    setValue(key, value);
}

bool FRWUserDefaults::boolean(const char* key) const
{
    return m_settings->value(QLatin1String(key), false).toBool();
}

void FRWUserDefaults::setBoolean(const char* key, bool value)
{
    setValue(key, value);
}

QVariant FRWUserDefaults::value(const char* key) const
{
    return m_settings->value(QLatin1String(key));
}

// An unchanged value is not written again: every change costs a flush of the settings file.
void FRWUserDefaults::setValue(const char* key, const QVariant& value)
{
    const QLatin1String name(key);
    if (m_settings->contains(name) && m_settings->value(name) == value) {
        return;
    }
    m_settings->setValue(name, value);
}

bool FRWUserDefaults::contains(const char* key) const
{
    return m_settings->contains(QLatin1String(key));
}

void FRWUserDefaults::remove(const char* key)
{
    m_settings->remove(QLatin1String(key));
}

bool FRWUserDefaults::sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
