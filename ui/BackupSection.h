#pragma once

#include <QWidget>

class AppModel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Export the encrypted backup into the text area, or restore the one pasted there, under the
// backup passphrase.
class BackupSection : public QWidget
{
    Q_OBJECT

public:
    explicit BackupSection(AppModel *model, QWidget *parent = nullptr);

private:
    void render();

    AppModel *m_model;
    QLineEdit *m_passphraseField;
    QPlainTextEdit *m_payloadArea;
    QPushButton *m_exportButton;
    QPushButton *m_restoreButton;
};
