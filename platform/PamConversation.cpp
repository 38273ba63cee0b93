#include "PamConversation.h"

#include <QByteArray>

#include <cstdlib>
#include <cstring>

namespace {

void wipeAndFree(char *secret)
{
    if (!secret)
        return;
    explicit_bzero(secret, std::strlen(secret));
    std::free(secret);
}

void discardResponses(pam_response *responses, int count)
{
    for (int i = 0; i < count; ++i)
        wipeAndFree(responses[i].resp);
    std::free(responses);
}

} // namespace

PamConversation::PamConversation(PasswordPrompter &prompter, PasswordPrompter::Request request)
    : m_prompter(prompter), m_request(std::move(request)), m_conv{&PamConversation::converse, this}
{
}

int PamConversation::converse(int count, const pam_message **messages, pam_response **responses, void *self)
{
    // Nothing may unwind through PAM's C frames.
    try {
        return static_cast<PamConversation *>(self)->answer(count, messages, responses);
    } catch (...) {
        return PAM_CONV_ERR;
    }
}

int PamConversation::answer(int count, const pam_message **messages, pam_response **responses)
{
    if (count <= 0 || count > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto *replies = static_cast<pam_response *>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const pam_message &message = *messages[i];
        switch (message.msg_style) {
        case PAM_PROMPT_ECHO_OFF:
            replies[i].resp = askPassword(message.msg);
            if (!replies[i].resp) {
                discardResponses(replies, count);
                return PAM_CONV_ERR;
            }
            break;
        case PAM_TEXT_INFO:
        case PAM_ERROR_MSG:
            m_request.messages.append(QString::fromUtf8(message.msg));
            break;
        default:
            // A visible answer (a user name, a code) is nothing the password dialog can give.
            discardResponses(replies, count);
            return PAM_CONV_ERR;
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

char *PamConversation::askPassword(const char *prompt)
{
    m_request.prompt = QString::fromUtf8(prompt);
    const std::optional<QString> password = m_prompter.askPassword(m_request);
    if (!password) {
        m_cancelled = true;
        return nullptr;
    }
    QByteArray bytes = password->toUtf8();
    char *copy = strndup(bytes.constData(), static_cast<size_t>(bytes.size()));
    explicit_bzero(bytes.data(), static_cast<size_t>(bytes.size()));
    return copy;
}
