#pragma once

#include "BrokerResult.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <functional>

class AppModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class VaultResetConfirmation;

// What the two native unlock screens share: a title and text, the TVN password field, the inline
// error worded for the user, one password action at a time, and the forgotten-password reset
// behind its confirmation. Leaving the screen discards what was typed.
class NativeUnlockScreen : public QWidget
{
    Q_OBJECT

public:
    QString inlineError() const;
    bool resetConfirmationPresented() const;
    bool isResettingLocalVault() const;
    // Opens "Reset local TVN vault?" (the screens' "Forgot TVN password?").
    void presentResetConfirmation();
    VaultResetConfirmation *resetConfirmation() const;

protected:
    NativeUnlockScreen(AppModel *model, const QString &objectName, QWidget *parent);

    // Runs a password action unless one is running: clears the inline error, and on failure shows
    // it in the user's wording; the fields keep what was typed. `onSuccess` runs after a success.
    void submitPassphraseAction(const std::function<QCoro::Task<BrokerResult<bool>>()> &action,
                                const std::function<void()> &onSuccess = {});
    bool isSubmitting() const { return m_submitting; }
    void setInlineError(const QString &text);
    virtual void render() = 0;
    void hideEvent(QHideEvent *event) override;

    AppModel *m_model;
    QVBoxLayout *m_layout;
    QLabel *m_titleLabel;
    QLabel *m_textLabel;
    QLineEdit *m_passphraseField;
    QLabel *m_errorLabel;
    QPushButton *m_forgotButton;

private:
    QPointer<VaultResetConfirmation> m_resetConfirmation;
    bool m_submitting = false;
};
