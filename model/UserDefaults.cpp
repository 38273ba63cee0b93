#include "UserDefaults.h"

#include <QSettings>

UserDefaults::UserDefaults() : m_settings(std::make_shared<QSettings>()) {}

UserDefaults::UserDefaults(std::shared_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

std::optional<bool> UserDefaults::storedBool(const QString &key) const
{
    if (!m_settings->contains(key))
        return std::nullopt;
    return m_settings->value(key).toBool();
}

void UserDefaults::setBool(const QString &key, bool value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

QStringList UserDefaults::stringList(const QString &key) const
{
    return m_settings->value(key).toStringList();
}

void UserDefaults::setStringList(const QString &key, const QStringList &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

void UserDefaults::flush()
{
    m_settings->sync();
}

void UserDefaults::remove(const QString &key)
{
    m_settings->remove(key);
    m_settings->sync();
}
