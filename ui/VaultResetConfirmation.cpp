#include "VaultResetConfirmation.h"

#include "AppModel.h"
#include "DarkStyle.h"

#include <QCoroTask>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

const QString VaultResetConfirmation::title = QStringLiteral("Reset local TVN vault?");
const QString VaultResetConfirmation::text = QStringLiteral(
    "This removes TVN's local vault, connected apps, agent keys, and service state from this computer. It cannot "
    "recover the password. You'll start fresh and re-add keys. Keyring entries are not touched.");
const QString VaultResetConfirmation::confirmTitle = QStringLiteral("Reset local TVN vault");

VaultResetConfirmation::VaultResetConfirmation(AppModel *model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
    , m_errorLabel(DarkStyle::wrappedLabel(this, QStringLiteral("resetError")))
    , m_confirmButton(DarkStyle::button(this, QStringLiteral("confirmReset"), confirmTitle))
{
    setObjectName(QStringLiteral("resetConfirmation"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(DarkStyle::screenStyleSheet() + QStringLiteral("QDialog { background: #161b22; }"));
    m_errorLabel->setProperty("role", QStringLiteral("error"));
    m_errorLabel->hide();
    m_confirmButton->setStyleSheet(QStringLiteral("QPushButton { background: #da3633; border-color: #da3633; font-weight: bold; }"));

    QLabel *heading = DarkStyle::titleLabel(this, QStringLiteral("resetTitle"), 1.2);
    heading->setText(title);
    QLabel *body = DarkStyle::wrappedLabel(this, QStringLiteral("resetText"));
    body->setText(text);
    QPushButton *cancel = DarkStyle::button(this, QStringLiteral("cancelReset"), QStringLiteral("Cancel"));
    cancel->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_confirmButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);
    layout->addWidget(heading);
    layout->addWidget(body);
    layout->addWidget(m_errorLabel);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirmButton, &QPushButton::clicked, this, &VaultResetConfirmation::confirm);
}

void VaultResetConfirmation::setResetting(bool resetting)
{
    m_resetting = resetting;
    m_confirmButton->setEnabled(!resetting);
}

void VaultResetConfirmation::confirm()
{
    if (m_resetting)
        return;
    setResetting(true);
    m_errorLabel->hide();
    const QPointer<VaultResetConfirmation> guard(this);
    QCoro::connect(m_model->resetLocalVaultForForgottenPassword(), this, [this, guard](const BrokerResult<bool> &outcome) {
        if (!guard)
            return;
        setResetting(false);
        if (outcome) {
            accept();
            return;
        }
        const QString message = VaultUnlock::passwordMessage(outcome.failure());
        m_errorLabel->setText(message);
        m_errorLabel->show();
        emit resetFailed(message);
    });
}
