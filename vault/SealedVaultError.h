#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// The sealed vault's own failures. `errorDescription()` (also `what()`) is the user-facing text.
class SealedVaultError : public QException
{
public:
    enum class Case {
        accessControlCreationFailed,
        userAuthenticationFailed,
        secureEnclaveUnavailable,
        secureEnclaveKeyHandleMissing,
        malformedEnvelope,
    };

    static SealedVaultError accessControlCreationFailed(const QString &reason);
    static SealedVaultError userAuthenticationFailed(const QString &reason);
    static SealedVaultError secureEnclaveUnavailable();
    static SealedVaultError secureEnclaveKeyHandleMissing();
    static SealedVaultError malformedEnvelope();

    Case errorCase() const { return m_case; }
    QString payload() const { return m_payload; }
    QString errorDescription() const;

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    SealedVaultError *clone() const override { return new SealedVaultError(*this); }

private:
    SealedVaultError(Case errorCase, QString payload);

    Case m_case;
    QString m_payload;
    QByteArray m_what;
};
