#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user and lane: a local socket named from the bundle identifier and the user
// id, in $XDG_RUNTIME_DIR (else the temporary folder). A later copy asks the first to come forward
// and then ends; a socket left by a crashed copy is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &bundleIdentifier, QObject *parent = nullptr);

    QString serverName() const { return m_serverName; }

    // True when another copy answered and was asked to come forward: this one must end.
    // Otherwise this copy now listens and answers later copies.
    bool deferToRunningInstance();

Q_SIGNALS:
    // A later copy was started: bring every window of this one forward.
    void activationRequested();

private:
    bool askRunningInstanceToActivate() const;
    bool listen();
    void answerLaterInstances();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
