#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// The profile store's own failures. `errorDescription()` (also `what()`) is the user-facing text;
// payloads are paths and reasons, never key material.
class LocalAgentProfileStoreError : public QException
{
public:
    enum class Case {
        rejectedStorage,
        unavailable,
        invalidAgentProfile,
        invalidKeyMaterial,
    };

    static LocalAgentProfileStoreError rejectedStorage(const QString &reason);
    static LocalAgentProfileStoreError unavailable(const QString &path);
    static LocalAgentProfileStoreError invalidAgentProfile();
    static LocalAgentProfileStoreError invalidKeyMaterial();

    Case errorCase() const { return m_case; }
    QString payload() const { return m_payload; }
    QString errorDescription() const;

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    LocalAgentProfileStoreError *clone() const override { return new LocalAgentProfileStoreError(*this); }

private:
    LocalAgentProfileStoreError(Case errorCase, QString payload);

    Case m_case;
    QString m_payload;
    QByteArray m_what;
};
