#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Failures of the legacy keyring store, each with the platform's status code. `description()` (also
// `what()`) is the user-facing text; it never carries a secret.
class KeychainVaultError : public QException
{
public:
    enum class Kind { randomGenerationFailed, loadFailed, storeFailed };

    // The store would have had to prompt (the keyring is locked): the code the other platform uses
    // for "user interaction not allowed", kept so both read the same.
    static constexpr qint32 userInteractionNotAllowed = -25308;

    static KeychainVaultError randomGenerationFailed(qint32 code);
    // `reason`, when given, says in words what the code means; it follows the code in brackets.
    static KeychainVaultError loadFailed(qint32 code, const QString &reason = {});
    static KeychainVaultError storeFailed(qint32 code);

    Kind kind() const { return m_kind; }
    qint32 code() const { return m_code; }
    QString description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    KeychainVaultError *clone() const override { return new KeychainVaultError(*this); }

private:
    KeychainVaultError(Kind kind, qint32 code, QString description);

    Kind m_kind;
    qint32 m_code;
    QString m_description;
    QByteArray m_what;
};
