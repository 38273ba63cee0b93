#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The app's own password dialog, as the presence check's conversation sees it. Called on a worker
// thread (the presence check blocks); an implementation hands the question to the GUI thread and
// waits for the answer. Absent means the user cancelled.
class PasswordPrompter
{
public:
    struct Request
    {
        // Why the app asks ("Unlock Torvane to let your agents connect").
        QString reason;
        // The system's own prompt ("Password: ").
        QString prompt;
        // Title of the button that falls back to the password ("Use Password…"); may be empty.
        QString fallbackTitle;
        // Messages the system sent before this question (e.g. "Authentication failed"), oldest first.
        QStringList messages;
    };

    virtual ~PasswordPrompter() = default;
    virtual std::optional<QString> askPassword(const Request &request) = 0;
};
