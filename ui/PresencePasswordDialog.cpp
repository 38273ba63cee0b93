#include "PresencePasswordDialog.h"

#include "PresencePrompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PresencePasswordDialog::PresencePasswordDialog(PresencePrompt *prompt, QWidget *parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_reasonLabel(new QLabel(this))
    , m_messagesLabel(new QLabel(this))
    , m_passwordField(new QLineEdit(this))
{
    setObjectName(QStringLiteral("presencePasswordDialog"));
    setWindowTitle(QStringLiteral("Torvane"));
    setModal(true);
    m_reasonLabel->setWordWrap(true);
    m_reasonLabel->setTextFormat(Qt::PlainText);
    m_messagesLabel->setWordWrap(true);
    m_messagesLabel->setTextFormat(Qt::PlainText);
    m_passwordField->setObjectName(QStringLiteral("presencePassword"));
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_passwordField->setAccessibleName(QStringLiteral("Login password"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Unlock"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_reasonLabel);
    layout->addWidget(m_messagesLabel);
    layout->addWidget(m_passwordField);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &PresencePasswordDialog::answer);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::rejected, m_prompt, &PresencePrompt::cancel);
    connect(m_prompt, &PresencePrompt::pendingChanged, this, &PresencePasswordDialog::follow);
}

void PresencePasswordDialog::follow()
{
    if (!m_prompt->isPending()) {
        // Answered elsewhere (or the check ended): close without cancelling anything.
        m_passwordField->clear();
        hide();
        return;
    }
    const PasswordPrompter::Request request = m_prompt->request();
    m_reasonLabel->setText(request.reason);
    m_messagesLabel->setText(request.messages.join(QLatin1Char('\n')));
    m_messagesLabel->setVisible(!request.messages.isEmpty());
    m_passwordField->clear();
    m_passwordField->setPlaceholderText(request.prompt.trimmed());
    show();
    raise();
    activateWindow();
    m_passwordField->setFocus();
}

void PresencePasswordDialog::answer()
{
    const QString password = m_passwordField->text();
    m_passwordField->clear();
    hide();
    m_prompt->answer(password);
}
