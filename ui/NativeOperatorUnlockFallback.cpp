#include "NativeOperatorUnlockFallback.h"

#include "AppModel.h"
#include "DarkStyle.h"
#include "TVNVaultPasswordCopy.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString sealedMethod = QStringLiteral("secure-enclave");
}

NativeOperatorUnlockFallback::NativeOperatorUnlockFallback(AppModel *model, QWidget *parent)
    : NativeUnlockScreen(model, QStringLiteral("nativeOperatorUnlockFallback"), parent)
    , m_unlockButton(DarkStyle::button(this, QStringLiteral("operatorUnlock"), QStringLiteral("Unlock")))
    , m_approvalLabel(DarkStyle::wrappedLabel(this, QStringLiteral("approvalInstruction")))
    , m_passphraseIntro(DarkStyle::wrappedLabel(this, QStringLiteral("passphraseIntro")))
    , m_passphraseUnlockButton(DarkStyle::button(this, QStringLiteral("passphraseUnlock"), QStringLiteral("Unlock"),
                                                 QStringLiteral("Unlock this computer's TVN vault with your TVN password")))
    , m_statusLabel(DarkStyle::wrappedLabel(this, QStringLiteral("unlockStatus")))
    , m_retryButton(DarkStyle::button(this, QStringLiteral("tryDashboard"), QStringLiteral("Try dashboard"),
                                      QStringLiteral("Retry the embedded dashboard")))
{
    m_titleLabel->setText(QStringLiteral("Unlock Torvane"));
    m_passphraseIntro->setText(QStringLiteral("Enter the TVN password you created during setup."));
    m_approvalLabel->setProperty("role", QStringLiteral("muted"));
    m_statusLabel->setProperty("role", QStringLiteral("accent"));
    DarkStyle::makePrimary(m_unlockButton);
    DarkStyle::makePrimary(m_passphraseUnlockButton);

    auto *unlockRow = new QHBoxLayout;
    unlockRow->addWidget(m_unlockButton);
    unlockRow->addStretch();
    auto *passphraseRow = new QHBoxLayout;
    passphraseRow->addWidget(m_passphraseUnlockButton);
    passphraseRow->addWidget(m_forgotButton);
    passphraseRow->addStretch();
    auto *retryRow = new QHBoxLayout;
    retryRow->addWidget(m_retryButton);
    retryRow->addStretch();

    m_layout->addLayout(unlockRow);
    m_layout->addWidget(m_approvalLabel);
    m_layout->addWidget(m_passphraseIntro);
    m_layout->addWidget(m_passphraseField);
    m_layout->addWidget(m_errorLabel);
    m_layout->addLayout(passphraseRow);
    m_layout->addSpacing(8);
    m_layout->addWidget(m_statusLabel);
    m_layout->addLayout(retryRow);
    m_layout->addStretch();

    connect(m_unlockButton, &QPushButton::clicked, m_model, [this] { m_model->unlockOperatorSession(); });
    connect(m_passphraseUnlockButton, &QPushButton::clicked, this, &NativeOperatorUnlockFallback::submitPassphrase);
    connect(m_passphraseField, &QLineEdit::returnPressed, this, &NativeOperatorUnlockFallback::submitPassphrase);
    connect(m_retryButton, &QPushButton::clicked, this, &NativeOperatorUnlockFallback::retryRequested);
    render();
}

QString NativeOperatorUnlockFallback::unlockButtonHelp(const QString &unlockMethod, VaultUnlockMethod available)
{
    if (unlockMethod != sealedMethod)
        return QStringLiteral("Unlock the local TVN vault on this computer");
    if (available == VaultUnlockMethod::biometricsWithPasswordFallback)
        return QStringLiteral("Open the Linux fingerprint or password prompt for Torvane");
    return QStringLiteral("Open the Linux password prompt for Torvane");
}

void NativeOperatorUnlockFallback::setShowsRetryButton(bool shows)
{
    m_showsRetryButton = shows;
    render();
}

void NativeOperatorUnlockFallback::submitPassphrase()
{
    const QString passphrase = m_passphraseField->text();
    submitPassphraseAction([this, passphrase] { return m_model->unlockVaultPassphrase(passphrase); });
}

void NativeOperatorUnlockFallback::render()
{
    const bool required = m_model->operatorSession()->operatorPassphraseRequired();
    m_textLabel->setText(required ? QStringLiteral("This computer's vault needs your TVN password to finish unlocking.")
                                  : QStringLiteral("The local service is running. Unlock this computer's TVN vault to "
                                                   "load your connected apps."));

    const QString method = m_model->snapshot()->operatorStatus().unlockMethod;
    const bool sealed = method == sealedMethod;
    // Asking PAM which prompt it offers is quick and never prompts; only the sealed method needs it.
    const VaultUnlockMethod available = sealed ? m_model->vaultUnlock()->availableMethod() : VaultUnlockMethod::unavailable;
    m_unlockButton->setVisible(!required);
    m_unlockButton->setEnabled(!m_model->operatorSession()->operatorUnlockInProgress());
    m_unlockButton->setToolTip(unlockButtonHelp(method, available));
    m_unlockButton->setAccessibleDescription(m_unlockButton->toolTip());
    m_approvalLabel->setVisible(!required && sealed);
    m_approvalLabel->setText(sealed ? VaultUnlockMethods::approvalInstruction(available) : QString());

    m_passphraseIntro->setVisible(required);
    m_passphraseField->setVisible(required);
    m_passphraseUnlockButton->setVisible(required);
    m_passphraseUnlockButton->setEnabled(!isSubmitting());
    m_forgotButton->setVisible(required);

    const QString status = m_model->statusMessage();
    const bool showsStatus = !status.isEmpty() && status != QLatin1StringView("Ready");
    m_statusLabel->setText(showsStatus ? TVNVaultPasswordCopy::message(std::nullopt, status) : QString());
    m_statusLabel->setVisible(showsStatus);
    m_retryButton->setVisible(m_showsRetryButton);
}
