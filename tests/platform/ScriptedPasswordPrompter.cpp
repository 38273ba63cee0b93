#include "ScriptedPasswordPrompter.h"

ScriptedPasswordPrompter::ScriptedPasswordPrompter(QList<std::optional<QString>> answers)
    : m_answers(std::move(answers))
{
}

std::optional<QString> ScriptedPasswordPrompter::askPassword(const Request &request)
{
    const QMutexLocker locker(&m_mutex);
    m_requests.append(request);
    return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
}

QList<PasswordPrompter::Request> ScriptedPasswordPrompter::requests() const
{
    const QMutexLocker locker(&m_mutex);
    return m_requests;
}
