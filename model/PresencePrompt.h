#pragma once

#include "PasswordPrompter.h"

#include <QObject>
#include <QStringList>

#include <future>
#include <memory>
#include <optional>

// The question the presence check is waiting on, held on the GUI thread so the password dialog
// (or the automation channel) can show and answer it. The check itself blocks on a worker
// thread until `answer` or `cancel`.
class PresencePrompt : public QObject, public PasswordPrompter
{
    Q_OBJECT
    Q_PROPERTY(bool pending READ isPending NOTIFY pendingChanged)

public:
    using QObject::QObject;
    ~PresencePrompt() override;

    // Worker thread only: hands the question to the GUI thread and waits for the answer.
    std::optional<QString> askPassword(const Request &request) override;

    bool isPending() const { return m_answer != nullptr; }
    Request request() const { return m_request; }
    void answer(const QString &password);
    void cancel();

Q_SIGNALS:
    void pendingChanged();

private:
    using Answer = std::promise<std::optional<QString>>;
    void begin(const Request &request, std::shared_ptr<Answer> answer);
    void finish(std::optional<QString> password);

    Request m_request;
    std::shared_ptr<Answer> m_answer;
};
