#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Failures of the hardware key store. `description()` (also `what()`) is the user-facing text;
// it names devices and error codes, never key material.
class HardwareKeyError : public QException
{
public:
    enum class Kind {
        // No device answers.
        unavailable,
        // A device is there but this user may not open it.
        permissionDenied,
        // The platform could not build the key's access rule.
        accessControlFailed,
        // The handle blob is not one this provider writes.
        malformedHandle,
        // The device refused the handle: made by another device, or damaged.
        keyNotLoadable,
        // User presence was required and not approved, or the user cancelled.
        authenticationFailed,
        // Any other device failure.
        operationFailed,
    };

    static HardwareKeyError unavailable(const QString &detail);
    static HardwareKeyError permissionDenied(const QString &devicePath);
    static HardwareKeyError accessControlFailed(const QString &detail);
    static HardwareKeyError malformedHandle();
    static HardwareKeyError keyNotLoadable(const QString &detail);
    static HardwareKeyError authenticationFailed(const QString &detail);
    static HardwareKeyError operationFailed(const QString &operation, const QString &detail);

    Kind kind() const { return m_kind; }
    QString description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    HardwareKeyError *clone() const override { return new HardwareKeyError(*this); }

private:
    HardwareKeyError(Kind kind, QString description);

    Kind m_kind;
    QString m_description;
    QByteArray m_what;
};
