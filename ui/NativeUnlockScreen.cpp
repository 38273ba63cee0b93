#include "NativeUnlockScreen.h"

#include "AppModel.h"
#include "DarkStyle.h"
#include "VaultResetConfirmation.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

NativeUnlockScreen::NativeUnlockScreen(AppModel *model, const QString &objectName, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_layout(new QVBoxLayout(this))
    , m_titleLabel(DarkStyle::titleLabel(this, QStringLiteral("unlockTitle"), 1.8))
    , m_textLabel(DarkStyle::wrappedLabel(this, QStringLiteral("unlockText")))
    , m_passphraseField(new QLineEdit(this))
    , m_errorLabel(DarkStyle::wrappedLabel(this, QStringLiteral("tvn-operator-passphrase-error")))
    , m_forgotButton(DarkStyle::button(this, QStringLiteral("forgotPassword"), QStringLiteral("Forgot TVN password?"),
                                       QStringLiteral("Reset this computer's local TVN vault and start fresh")))
{
    setObjectName(objectName);
    setStyleSheet(DarkStyle::screenStyleSheet());
    m_textLabel->setProperty("role", QStringLiteral("muted"));
    m_errorLabel->setProperty("role", QStringLiteral("error"));
    m_errorLabel->hide();
    m_passphraseField->setObjectName(QStringLiteral("tvn-operator-passphrase"));
    m_passphraseField->setPlaceholderText(QStringLiteral("TVN password"));
    m_passphraseField->setAccessibleName(QStringLiteral("TVN password"));
    m_passphraseField->setEchoMode(QLineEdit::Password);
    m_passphraseField->setMaximumWidth(420);
    m_forgotButton->setProperty("flat", true);

    m_layout->setContentsMargins(64, 56, 64, 40);
    m_layout->setSpacing(12);
    m_layout->addWidget(m_titleLabel);
    m_layout->addWidget(m_textLabel);
    m_layout->addSpacing(8);

    connect(m_forgotButton, &QPushButton::clicked, this, &NativeUnlockScreen::presentResetConfirmation);
    connect(m_model, &AppModel::changed, this, [this] { render(); });
}

QString NativeUnlockScreen::inlineError() const
{
    return m_errorLabel->isHidden() ? QString() : m_errorLabel->text();
}

void NativeUnlockScreen::setInlineError(const QString &text)
{
    m_errorLabel->setText(text);
    m_errorLabel->setVisible(!text.isEmpty());
}

bool NativeUnlockScreen::resetConfirmationPresented() const
{
    return !m_resetConfirmation.isNull();
}

VaultResetConfirmation *NativeUnlockScreen::resetConfirmation() const
{
    return m_resetConfirmation.data();
}

bool NativeUnlockScreen::isResettingLocalVault() const
{
    return m_resetConfirmation && m_resetConfirmation->isResettingLocalVault();
}

void NativeUnlockScreen::submitPassphraseAction(const std::function<QCoro::Task<BrokerResult<bool>>()> &action,
                                                const std::function<void()> &onSuccess)
{
    if (m_submitting)
        return;
    m_submitting = true;
    setInlineError({});
    render();
    const QPointer<NativeUnlockScreen> guard(this);
    QCoro::connect(action(), this, [this, guard, onSuccess](const BrokerResult<bool> &outcome) {
        if (!guard)
            return;
        m_submitting = false;
        if (!outcome)
            setInlineError(VaultUnlock::passwordMessage(outcome.failure()));
        render();
        if (outcome && onSuccess)
            onSuccess();
    });
}

void NativeUnlockScreen::presentResetConfirmation()
{
    if (m_resetConfirmation)
        return;
    m_resetConfirmation = new VaultResetConfirmation(m_model, this);
    connect(m_resetConfirmation, &VaultResetConfirmation::resetFailed, this, &NativeUnlockScreen::setInlineError);
    m_resetConfirmation->open();
}

void NativeUnlockScreen::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A typed password lives only while its screen is shown.
    for (QLineEdit *field : findChildren<QLineEdit *>())
        field->clear();
    setInlineError({});
}
