#pragma once

#include <QString>

// A local account made for one test and deleted again (useradd, chpasswd, userdel): root only.
// The password is random; the account has no home and no login shell.
class ThrowawayUser
{
public:
    enum class Password { set, locked, empty };

    // `ready()` tells whether it worked; `error()` says why not.
    explicit ThrowawayUser(Password password = Password::set);
    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser &) = delete;
    ThrowawayUser &operator=(const ThrowawayUser &) = delete;

    // Running as root, which creating accounts and checking another user's password need.
    static bool canCreate();

    bool ready() const { return m_ready; }
    QString error() const { return m_error; }
    QString name() const { return m_name; }
    QString password() const { return m_password; }

private:
    bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {});

    QString m_name;
    QString m_password;
    bool m_exists = false;
    bool m_ready = false;
    QString m_error;
};
