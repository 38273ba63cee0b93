#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

// The user's stored choices ("tvn.operatorSealedEnabled", "tvn.operatorVaultModeChosen", …).
// The app uses its QSettings; tests pass a settings file of their own.
class UserDefaults
{
public:
    // The application's own settings.
    UserDefaults();
    explicit UserDefaults(std::shared_ptr<QSettings> settings);

    // Absent when nothing was ever stored under the key.
    std::optional<bool> storedBool(const QString &key) const;
    bool boolValue(const QString &key) const { return storedBool(key).value_or(false); }
    void setBool(const QString &key, bool value);
    // Empty when nothing was stored.
    QStringList stringList(const QString &key) const;
    void setStringList(const QString &key, const QStringList &value);
    // Writes what is held in memory to disk now (the app is about to end).
    void flush();
    void remove(const QString &key);

private:
    std::shared_ptr<QSettings> m_settings;
};
