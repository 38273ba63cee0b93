#include "NativeVaultSecurityFallback.h"

#include "AppModel.h"
#include "DarkStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NativeVaultSecurityFallback::NativeVaultSecurityFallback(AppModel *model, QWidget *parent)
    : NativeUnlockScreen(model, QStringLiteral("nativeVaultSecurityFallback"), parent)
    , m_confirmField(new QLineEdit(this))
    , m_primaryButton(DarkStyle::button(this, QStringLiteral("tvn-vault-primary-action"), {}))
{
    m_passphraseField->setObjectName(QStringLiteral("tvn-vault-passphrase"));
    m_errorLabel->setObjectName(QStringLiteral("tvn-vault-passphrase-error"));
    m_confirmField->setObjectName(QStringLiteral("tvn-vault-passphrase-confirm"));
    m_confirmField->setPlaceholderText(QStringLiteral("Confirm password"));
    m_confirmField->setAccessibleName(QStringLiteral("Confirm password"));
    m_confirmField->setEchoMode(QLineEdit::Password);
    m_confirmField->setMaximumWidth(420);
    DarkStyle::makePrimary(m_primaryButton);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_primaryButton);
    buttons->addWidget(m_forgotButton);
    buttons->addStretch();
    m_layout->addWidget(m_passphraseField);
    m_layout->addWidget(m_confirmField);
    m_layout->addWidget(m_errorLabel);
    m_layout->addLayout(buttons);
    m_layout->addStretch();

    connect(m_primaryButton, &QPushButton::clicked, this, &NativeVaultSecurityFallback::submit);
    connect(m_passphraseField, &QLineEdit::returnPressed, this, &NativeVaultSecurityFallback::submit);
    connect(m_confirmField, &QLineEdit::returnPressed, this, &NativeVaultSecurityFallback::submit);
    render();
}

void NativeVaultSecurityFallback::setMode(Mode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    m_confirmField->clear();
    setInlineError({});
    render();
}

void NativeVaultSecurityFallback::submit()
{
    const QString passphrase = m_passphraseField->text();
    if (m_mode == Mode::setup) {
        const QString confirm = m_confirmField->text();
        submitPassphraseAction([this, passphrase, confirm] { return m_model->setupVaultPassphrase(passphrase, confirm); },
                               [this] { emit completed(); });
    } else {
        submitPassphraseAction([this, passphrase] { return m_model->unlockVaultPassphrase(passphrase); },
                               [this] { emit completed(); });
    }
}

void NativeVaultSecurityFallback::render()
{
    const bool setup = m_mode == Mode::setup;
    m_titleLabel->setText(setup ? QStringLiteral("Create your TVN password") : QStringLiteral("Unlock your TVN vault"));
    m_textLabel->setText(setup ? QStringLiteral("The local service is running. Create one password to encrypt this "
                                                "computer's TVN vault, then your connector workspace will open.")
                               : QStringLiteral("The local service is running. Enter your TVN password to unlock the "
                                                "local vault, then your connector workspace will open."));
    m_primaryButton->setText(setup ? QStringLiteral("Encrypt vault") : QStringLiteral("Unlock vault"));
    m_primaryButton->setAccessibleName(m_primaryButton->text());
    m_primaryButton->setEnabled(!isWorking());
    m_confirmField->setVisible(setup);
    m_forgotButton->setVisible(!setup);
}
