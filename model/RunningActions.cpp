#include "RunningActions.h"

QStringList RunningActions::keys() const
{
    QStringList keys = m_keys.values();
    keys.sort();
    return keys;
}

bool RunningActions::begin(const QString &key)
{
    if (m_keys.contains(key))
        return false;
    m_keys.insert(key);
    emit runningActionsChanged();
    return true;
}

void RunningActions::end(const QString &key)
{
    if (m_keys.remove(key))
        emit runningActionsChanged();
}
