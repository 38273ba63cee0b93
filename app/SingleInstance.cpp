#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <unistd.h>

namespace {
const QByteArray activateRequest = QByteArrayLiteral("activate\n");
const QByteArray activatedAnswer = QByteArrayLiteral("activated\n");
constexpr int answerTimeoutMs = 3000;

QString socketDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
}
} // namespace

SingleInstance::SingleInstance(const QString &bundleIdentifier, QObject *parent)
    : QObject(parent)
    , m_serverName(QDir(socketDirectory()).filePath(bundleIdentifier + QLatin1Char('-') + QString::number(getuid())))
{
}

bool SingleInstance::deferToRunningInstance()
{
    if (askRunningInstanceToActivate())
        return true;
    if (listen())
        return false;
    // The name is taken: by a copy started at the same moment, or by the socket of one that crashed.
    if (askRunningInstanceToActivate())
        return true;
    QLocalServer::removeServer(m_serverName);
    if (!listen())
        qWarning("Could not claim the single-instance socket %s", qPrintable(m_serverName));
    return false;
}

bool SingleInstance::askRunningInstanceToActivate() const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    socket.write(activateRequest);
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return false;
    }
    return socket.readLine() == activatedAnswer;
}

bool SingleInstance::listen()
{
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answerLaterInstances);
    return true;
}

void SingleInstance::answerLaterInstances()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const QPointer<QLocalSocket> guarded(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded || !guarded->canReadLine())
                return;
            if (guarded->readLine() != activateRequest) {
                guarded->disconnectFromServer();
                return;
            }
            guarded->write(activatedAnswer);
            guarded->flush();
            Q_EMIT activationRequested();
        });
    }
}
