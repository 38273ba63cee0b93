#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QLineEdit;
class QPushButton;

// The way from a running service to an unlocked vault: create the TVN password on first run,
// unlock with it when the broker insists, or unlock through the system login; once unlocked,
// Lock and the sealed-unlock switch. Hidden until the broker is on and verified.
class VaultAccessView : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { hidden, setup, passphraseUnlock, operatorUnlock, unlocked };

    explicit VaultAccessView(AppModel *model, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    // The screen the model's state calls for right now.
    static Mode modeFor(const AppModel &model);

private:
    void render();
    void renderTexts();
    void submitPassphrase();
    void confirmReset();
    void toggleSealedUnlock();
    void setInlineError(const QString &text);
    void setWorking(bool working);

    AppModel *m_model;
    Mode m_mode = Mode::hidden;
    bool m_working = false;
    QLabel *m_titleLabel;
    QLabel *m_textLabel;
    QLineEdit *m_passphraseField;
    QLineEdit *m_confirmField;
    QLabel *m_errorLabel;
    QPushButton *m_primaryButton;
    QPushButton *m_forgotButton;
    QPushButton *m_lockButton;
    QPushButton *m_sealedButton;
    QLabel *m_sealedFeedbackLabel;
};
