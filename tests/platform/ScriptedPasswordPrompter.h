#pragma once

#include "PasswordPrompter.h"

#include <QList>
#include <QMutex>

#include <optional>

// Stands in for the app's password dialog: gives the scripted answers in order (none = the user
// cancelled; an exhausted script cancels too) and keeps every question it was asked.
class ScriptedPasswordPrompter : public PasswordPrompter
{
public:
    explicit ScriptedPasswordPrompter(QList<std::optional<QString>> answers = {});

    std::optional<QString> askPassword(const Request &request) override;

    QList<Request> requests() const;

private:
    mutable QMutex m_mutex;
    QList<std::optional<QString>> m_answers;
    QList<Request> m_requests;
};
