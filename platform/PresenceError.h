#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Why the presence check did not confirm the owner. `description()` (also `what()`) is the
// user-facing text; it never carries what the user typed.
class PresenceError : public QException
{
public:
    enum class Kind {
        // The user closed the password dialog.
        cancelledByUser,
        // The system login did not accept the answer (wrong password, no fingerprint match).
        authenticationFailed,
        // The account exists but may not log in now: locked, expired, or unknown to the system.
        lockedOut,
        // No usable login service: neither PAM service can be started for this user.
        unavailable,
        // PAM or one of its modules failed.
        systemError,
    };

    static PresenceError cancelledByUser();
    static PresenceError authenticationFailed();
    static PresenceError lockedOut(const QString &userName);
    static PresenceError unavailable(const QString &detail);
    static PresenceError systemError(const QString &detail);

    Kind kind() const { return m_kind; }
    QString description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    PresenceError *clone() const override { return new PresenceError(*this); }

private:
    PresenceError(Kind kind, QString description);

    Kind m_kind;
    QString m_description;
    QByteArray m_what;
};
