#pragma once

#include <QDialog>

class AppModel;
class QLabel;
class QPushButton;

// "Reset local TVN vault?": the forgotten-password reset behind its confirmation. It stays open
// while the reset runs and shows a failure in itself; a second press while one runs starts nothing.
class VaultResetConfirmation : public QDialog
{
    Q_OBJECT

public:
    static const QString title;
    static const QString text;
    static const QString confirmTitle;

    explicit VaultResetConfirmation(AppModel *model, QWidget *parent = nullptr);

    bool isResettingLocalVault() const { return m_resetting; }
    void confirm();

Q_SIGNALS:
    // The user's wording of why the reset failed.
    void resetFailed(const QString &message);

private:
    void setResetting(bool resetting);

    AppModel *m_model;
    QLabel *m_errorLabel;
    QPushButton *m_confirmButton;
    bool m_resetting = false;
};
