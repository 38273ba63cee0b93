#pragma once

#include "NativeUnlockScreen.h"

// "Create your TVN password" (setup) or "Unlock your TVN vault" (unlock): the vault passphrase
// screen shown when the dashboard cannot be shown because the vault is not set up or is locked.
class NativeVaultSecurityFallback : public NativeUnlockScreen
{
    Q_OBJECT

public:
    enum class Mode { setup, unlock };

    explicit NativeVaultSecurityFallback(AppModel *model, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    bool isWorking() const { return isSubmitting(); }
    QPushButton *primaryButton() const { return m_primaryButton; }

Q_SIGNALS:
    // The password was set up or unlocked the vault.
    void completed();

private:
    void render() override;
    void submit();

    Mode m_mode = Mode::setup;
    QLineEdit *m_confirmField;
    QPushButton *m_primaryButton;
};
