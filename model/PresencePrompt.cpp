#include "PresencePrompt.h"

#include <QCoreApplication>
#include <QThread>

PresencePrompt::~PresencePrompt()
{
    // A check still waiting must not outlive the app.
    finish(std::nullopt);
}

std::optional<QString> PresencePrompt::askPassword(const Request &request)
{
    Q_ASSERT_X(QThread::currentThread() != thread(), "PresencePrompt", "the presence check never runs on the GUI thread");
    auto answer = std::make_shared<Answer>();
    std::future<std::optional<QString>> answered = answer->get_future();
    QMetaObject::invokeMethod(this, [this, request, answer] { begin(request, answer); }, Qt::QueuedConnection);
    return answered.get();
}

void PresencePrompt::begin(const Request &request, std::shared_ptr<Answer> answer)
{
    // One question at a time: a second one while the first waits is refused rather than hidden.
    if (m_answer) {
        answer->set_value(std::nullopt);
        return;
    }
    m_request = request;
    m_answer = std::move(answer);
    emit pendingChanged();
}

void PresencePrompt::answer(const QString &password)
{
    finish(password);
}

void PresencePrompt::cancel()
{
    finish(std::nullopt);
}

void PresencePrompt::finish(std::optional<QString> password)
{
    if (!m_answer)
        return;
    std::shared_ptr<Answer> answer = std::exchange(m_answer, nullptr);
    m_request = {};
    answer->set_value(std::move(password));
    emit pendingChanged();
}
