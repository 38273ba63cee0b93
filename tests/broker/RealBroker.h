#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// The real local broker (`node server/main.mjs`) on an ephemeral loopback port with its own
// HOME and state directory; stopped when this object goes away.
class RealBroker
{
public:
    RealBroker() = default;
    ~RealBroker();

    // Starts the broker with `environment` over its defaults (HOME and state in a temporary
    // directory; PORT and the bind host are always this object's) and waits until its port
    // accepts connections; false with `error()` otherwise.
    bool start(const QProcessEnvironment &environment = {});
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    QString baseURL() const;
    QString homePath() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
