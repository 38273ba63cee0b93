#include "VaultAccessView.h"

#include "AppModel.h"
#include "VaultUnlockAuth.h"

#include <QCoroTask>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString viewStyle = QStringLiteral(R"(
QLabel { color: #e6edf3; }
QLabel#vaultText, QLabel#sealedUnlockFeedback { color: #9da7b3; }
QLabel#tvn-operator-passphrase-error { color: #f85149; }
QLineEdit { background: #0d1117; color: #e6edf3; border: 1px solid #363b42; border-radius: 6px; padding: 7px 10px; }
QLineEdit:focus { border-color: #2f6feb; }
QPushButton { background: #21262d; color: #e6edf3; border: 1px solid #363b42; border-radius: 6px; padding: 7px 16px; }
QPushButton:hover { background: #2b3139; }
QPushButton:disabled { color: #6e7681; }
QPushButton#tvn-vault-primary-action { background: #2f6feb; border-color: #2f6feb; font-weight: bold; }
)");

QLabel *label(QWidget *parent, const QString &objectName)
{
    auto *created = new QLabel(parent);
    created->setObjectName(objectName);
    created->setWordWrap(true);
    created->setTextFormat(Qt::PlainText);
    return created;
}

QLineEdit *secureField(QWidget *parent, const QString &objectName, const QString &placeholder)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setAccessibleName(placeholder);
    field->setPlaceholderText(placeholder);
    field->setEchoMode(QLineEdit::Password);
    field->setMaximumWidth(420);
    return field;
}

QPushButton *button(QWidget *parent, const QString &objectName, const QString &text)
{
    auto *created = new QPushButton(text, parent);
    created->setObjectName(objectName);
    created->setAccessibleName(text);
    return created;
}
} // namespace

VaultAccessView::VaultAccessView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_titleLabel(label(this, QStringLiteral("vaultTitle")))
    , m_textLabel(label(this, QStringLiteral("vaultText")))
    , m_passphraseField(secureField(this, QStringLiteral("tvn-operator-passphrase"), QStringLiteral("TVN password")))
    , m_confirmField(secureField(this, QStringLiteral("tvn-vault-passphrase-confirm"), QStringLiteral("Confirm password")))
    , m_errorLabel(label(this, QStringLiteral("tvn-operator-passphrase-error")))
    , m_primaryButton(button(this, QStringLiteral("tvn-vault-primary-action"), {}))
    , m_forgotButton(button(this, QStringLiteral("forgotPassword"), QStringLiteral("Forgot TVN password?")))
    , m_lockButton(button(this, QStringLiteral("lockOperatorSession"), QStringLiteral("Lock")))
    , m_sealedButton(button(this, QStringLiteral("sealedUnlockToggle"), {}))
    , m_sealedFeedbackLabel(label(this, QStringLiteral("sealedUnlockFeedback")))
{
    setStyleSheet(viewStyle);
    QFont titleFont = m_titleLabel->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setBold(true);
    m_titleLabel->setFont(titleFont);
    m_forgotButton->setToolTip(QStringLiteral("Reset this computer's local TVN vault and start fresh"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_primaryButton);
    buttons->addWidget(m_forgotButton);
    buttons->addWidget(m_lockButton);
    buttons->addWidget(m_sealedButton);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 8, 48, 16);
    layout->setSpacing(10);
    layout->addWidget(m_titleLabel);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_passphraseField);
    layout->addWidget(m_confirmField);
    layout->addWidget(m_errorLabel);
    layout->addLayout(buttons);
    layout->addWidget(m_sealedFeedbackLabel);

    connect(m_passphraseField, &QLineEdit::returnPressed, this, &VaultAccessView::submitPassphrase);
    connect(m_confirmField, &QLineEdit::returnPressed, this, &VaultAccessView::submitPassphrase);
    connect(m_primaryButton, &QPushButton::clicked, this, [this] {
        if (m_mode == Mode::operatorUnlock)
            m_model->unlockOperatorSession();
        else
            submitPassphrase();
    });
    connect(m_forgotButton, &QPushButton::clicked, this, &VaultAccessView::confirmReset);
    connect(m_lockButton, &QPushButton::clicked, m_model, [this] { m_model->lockOperatorSession(); });
    connect(m_sealedButton, &QPushButton::clicked, this, &VaultAccessView::toggleSealedUnlock);
    connect(m_model, &AppModel::changed, this, &VaultAccessView::render);
    render();
}

VaultAccessView::Mode VaultAccessView::modeFor(const AppModel &model)
{
    if (!model.supervision()->brokerReadyAndVerified())
        return Mode::hidden;
    const QString vault = model.snapshot()->vaultStatus().trimmed().toLower();
    if (vault == QLatin1StringView("unconfigured"))
        return Mode::setup;
    if (model.operatorSession()->operatorPassphraseRequired())
        return Mode::passphraseUnlock;
    if (model.snapshot()->operatorLocked())
        return Mode::operatorUnlock;
    if (vault == QLatin1StringView("locked"))
        return Mode::passphraseUnlock;
    return Mode::unlocked;
}

void VaultAccessView::render()
{
    const Mode mode = modeFor(*m_model);
    if (mode != m_mode) {
        // Leaving a form discards what was typed in it.
        m_passphraseField->clear();
        m_confirmField->clear();
        m_errorLabel->clear();
        m_mode = mode;
    }
    setVisible(mode != Mode::hidden);
    renderTexts();
}

void VaultAccessView::renderTexts()
{
    const bool setup = m_mode == Mode::setup;
    const bool passphrase = setup || m_mode == Mode::passphraseUnlock;
    const bool unlocked = m_mode == Mode::unlocked;
    m_passphraseField->setVisible(passphrase);
    m_confirmField->setVisible(setup);
    m_errorLabel->setVisible(!m_errorLabel->text().isEmpty());
    m_forgotButton->setVisible(m_mode == Mode::passphraseUnlock);
    m_primaryButton->setVisible(!unlocked);
    m_lockButton->setVisible(unlocked);
    m_sealedButton->setVisible(unlocked);

    VaultUnlock &vault = *m_model->vaultUnlock();
    const QString feedback = vault.secureEnclaveUnlockFeedbackText();
    m_sealedFeedbackLabel->setText(feedback);
    m_sealedFeedbackLabel->setVisible(unlocked && !feedback.isEmpty());

    switch (m_mode) {
    case Mode::hidden:
        return;
    case Mode::setup:
        m_titleLabel->setText(QStringLiteral("Create your TVN password"));
        m_textLabel->setText(QStringLiteral("The local service is running. Create one password to encrypt this "
                                            "computer's TVN vault, then your connector workspace will open."));
        m_primaryButton->setText(QStringLiteral("Encrypt vault"));
        break;
    case Mode::passphraseUnlock:
        m_titleLabel->setText(QStringLiteral("Unlock your TVN vault"));
        m_textLabel->setText(m_model->operatorSession()->operatorPassphraseRequired()
                                 ? QStringLiteral("This computer's vault needs your TVN password to finish unlocking. "
                                                  "Enter the TVN password you created during setup.")
                                 : QStringLiteral("The local service is running. Enter your TVN password to unlock the "
                                                  "local vault, then your connector workspace will open."));
        m_primaryButton->setText(QStringLiteral("Unlock vault"));
        break;
    case Mode::operatorUnlock: {
        m_titleLabel->setText(QStringLiteral("Unlock Torvane"));
        QString text = QStringLiteral("The local service is running. Unlock this computer's TVN vault to load your "
                                      "connected apps.");
        if (m_model->snapshot()->operatorStatus().unlockMethod == QLatin1StringView("secure-enclave"))
            text += QLatin1Char(' ') + VaultUnlockMethods::approvalInstruction(vault.availableMethod());
        m_textLabel->setText(text);
        m_primaryButton->setText(QStringLiteral("Unlock"));
        m_primaryButton->setEnabled(!m_model->operatorSession()->operatorUnlockInProgress());
        break;
    }
    case Mode::unlocked: {
        m_titleLabel->setText(QStringLiteral("Vault ready"));
        m_textLabel->setText(QStringLiteral("Your TVN vault is unlocked on this computer."));
        const QString feature = VaultUnlockMethods::featureName(vault.availableMethod());
        m_sealedButton->setText(vault.operatorSealedEnabled() ? QStringLiteral("Turn off ") + feature
                                                              : QStringLiteral("Turn on ") + feature);
        m_sealedButton->setAccessibleName(m_sealedButton->text());
        m_sealedButton->setEnabled(!vault.secureEnclaveUnlockInProgress());
        break;
    }
    }
    m_primaryButton->setAccessibleName(m_primaryButton->text());
    if (m_mode != Mode::operatorUnlock)
        m_primaryButton->setEnabled(!m_working);
}

void VaultAccessView::setInlineError(const QString &text)
{
    m_errorLabel->setText(text);
    m_errorLabel->setVisible(!text.isEmpty());
}

void VaultAccessView::setWorking(bool working)
{
    m_working = working;
    renderTexts();
}

void VaultAccessView::submitPassphrase()
{
    if (m_working || (m_mode != Mode::setup && m_mode != Mode::passphraseUnlock))
        return;
    setWorking(true);
    setInlineError({});
    const QString passphrase = m_passphraseField->text();
    const QPointer<VaultAccessView> guard(this);
    auto finish = [this, guard](const BrokerResult<bool> &outcome) {
        if (!guard)
            return;
        setWorking(false);
        if (!outcome)
            setInlineError(VaultUnlock::passwordMessage(outcome.failure()));
    };
    if (m_mode == Mode::setup)
        QCoro::connect(m_model->setupVaultPassphrase(passphrase, m_confirmField->text()), this, finish);
    else
        QCoro::connect(m_model->unlockVaultPassphrase(passphrase), this, finish);
}

void VaultAccessView::confirmReset()
{
    QMessageBox sheet(QMessageBox::Warning, QStringLiteral("Reset local TVN vault?"),
                      QStringLiteral("Reset local TVN vault?"), QMessageBox::NoButton, this);
    sheet.setObjectName(QStringLiteral("resetConfirmation"));
    sheet.setInformativeText(QStringLiteral(
        "This removes TVN's local vault, connected apps, agent keys, and service state from this computer. It cannot "
        "recover the password. You'll start fresh and re-add keys. Keyring entries are not touched."));
    QPushButton *reset = sheet.addButton(QStringLiteral("Reset local TVN vault"), QMessageBox::DestructiveRole);
    sheet.addButton(QMessageBox::Cancel);
    sheet.exec();
    if (sheet.clickedButton() != reset || m_model->runningActions().contains(QStringLiteral("resetLocalVault")))
        return;
    const QPointer<VaultAccessView> guard(this);
    QCoro::connect(m_model->resetLocalVaultForForgottenPassword(), this, [this, guard](const BrokerResult<bool> &outcome) {
        if (guard && !outcome)
            setInlineError(VaultUnlock::passwordMessage(outcome.failure()));
    });
}

void VaultAccessView::toggleSealedUnlock()
{
    if (m_model->vaultUnlock()->operatorSealedEnabled())
        m_model->disableSecureEnclaveUnlock();
    else
        m_model->enableSecureEnclaveUnlock();
}
