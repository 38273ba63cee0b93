#pragma once

#include "PasswordPrompter.h"

#include <security/pam_appl.h>

// PAM's side of one authentication: its password questions go to the app's dialog, the lines it
// shows along the way (TEXT_INFO, ERROR_MSG) travel with the next question. A dialog that was
// cancelled ends the conversation with PAM_CONV_ERR and is remembered, because the stack's own
// result then only says that authentication failed.
class PamConversation
{
public:
    PamConversation(PasswordPrompter &prompter, PasswordPrompter::Request request);
    PamConversation(const PamConversation &) = delete;
    PamConversation &operator=(const PamConversation &) = delete;

    const pam_conv *handle() const { return &m_conv; }
    bool wasCancelled() const { return m_cancelled; }

private:
    static int converse(int count, const pam_message **messages, pam_response **responses, void *self);
    int answer(int count, const pam_message **messages, pam_response **responses);
    // A malloc'ed copy of the password for PAM to free, or null when the user cancelled.
    char *askPassword(const char *prompt);

    PasswordPrompter &m_prompter;
    PasswordPrompter::Request m_request;
    pam_conv m_conv;
    bool m_cancelled = false;
};
