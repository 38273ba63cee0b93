#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

class ModelContext;

// Encrypted backups of the whole broker state: export under a backup passphrase into the text
// field, and restore from text pasted there. The broker encrypts, checks and decrypts; the app
// only carries the text and never checks or keeps the passphrase beyond the form.
class Backups : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString backupPassphrase READ backupPassphrase WRITE setBackupPassphrase NOTIFY formChanged)
    Q_PROPERTY(QString backupPayload READ backupPayload WRITE setBackupPayload NOTIFY formChanged)

public:
    static const QString exportActionKey;
    static const QString restoreActionKey;

    explicit Backups(ModelContext &context, QObject *parent = nullptr);

    QString backupPassphrase() const { return m_passphrase; }
    void setBackupPassphrase(const QString &value);
    QString backupPayload() const { return m_payload; }
    void setBackupPayload(const QString &value);

    QCoro::Task<> exportBackup();
    QCoro::Task<> restoreBackup();

Q_SIGNALS:
    void formChanged();

private:
    ModelContext &m_context;
    QString m_passphrase;
    QString m_payload;
};
