#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

// Keys of the long actions in flight ("health", "approve:<id>", …), so a button can show progress
// and refuse a second press. Each action inserts its key when it starts and removes it when it ends.
class RunningActions : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList runningActions READ keys NOTIFY runningActionsChanged)

public:
    using QObject::QObject;

    QStringList keys() const;
    bool contains(const QString &key) const { return m_keys.contains(key); }
    // False when the action already runs: the caller must not start it again.
    bool begin(const QString &key);
    void end(const QString &key);

Q_SIGNALS:
    void runningActionsChanged();

private:
    QSet<QString> m_keys;
};
