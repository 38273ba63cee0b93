#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A gnome-keyring Secret Service for one test, on the test's own session bus (the test runs under
// dbus-run-session with private-session-bus.conf), with its login keyring in a temporary HOME.
// The login keyring is the default collection and starts unlocked.
class KeyringDaemon
{
public:
    KeyringDaemon();
    ~KeyringDaemon();
    KeyringDaemon(const KeyringDaemon &) = delete;
    KeyringDaemon &operator=(const KeyringDaemon &) = delete;

    // The test's bus is its own: set by the test command, and nobody serves secrets on it yet.
    static bool onPrivateBus();

    // Started and serving org.freedesktop.secrets; `error()` says why not.
    bool start();
    QString error() const { return m_error; }

    // Stores an item with the string attributes "service" and "account" in the default collection.
    bool store(const QString &service, const QString &account, const QByteArray &secret);
    // Locks the default collection the way a screen lock does; unlocking it again needs a prompt.
    bool lockDefaultCollection();
    // Stops or continues the daemon's process: a stopped daemon holds its name and never answers.
    void suspend();
    void resume();

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_error;
};
