#pragma once

#include "NativeUnlockScreen.h"
#include "VaultUnlockMethod.h"

// "Unlock Torvane": gets an operator session when the dashboard cannot be shown because the
// operator is locked out, through the system login (or the plaintext secret), or with the TVN
// password once the broker insists on it.
class NativeOperatorUnlockFallback : public NativeUnlockScreen
{
    Q_OBJECT

public:
    explicit NativeOperatorUnlockFallback(AppModel *model, QWidget *parent = nullptr);

    void setShowsRetryButton(bool shows);
    bool showsRetryButton() const { return m_showsRetryButton; }
    bool isUnlockingWithPassphrase() const { return isSubmitting(); }

    QPushButton *unlockButton() const { return m_unlockButton; }
    QPushButton *passphraseUnlockButton() const { return m_passphraseUnlockButton; }
    QPushButton *retryButton() const { return m_retryButton; }

    // The unlock button's help for the broker's unlock method and the prompt this computer offers.
    static QString unlockButtonHelp(const QString &unlockMethod, VaultUnlockMethod available);

Q_SIGNALS:
    // "Try dashboard".
    void retryRequested();

private:
    void render() override;
    void submitPassphrase();

    QPushButton *m_unlockButton;
    QLabel *m_approvalLabel;
    QLabel *m_passphraseIntro;
    QPushButton *m_passphraseUnlockButton;
    QLabel *m_statusLabel;
    QPushButton *m_retryButton;
    bool m_showsRetryButton = false;
};
