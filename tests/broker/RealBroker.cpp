#include "RealBroker.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

RealBroker::~RealBroker()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QString RealBroker::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

bool RealBroker::start(const QProcessEnvironment &extra)
{
    m_port = freeLoopbackPort();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", m_home.path());
    environment.insert("SWITCHYARD_STATE_DIR", m_home.filePath("state"));
    environment.insert(extra);
    environment.insert("PORT", QString::number(m_port));
    environment.insert("SWITCHYARD_BIND_HOST", "127.0.0.1");
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setWorkingDirectory(QStringLiteral(TVN_SOURCE_DIR));
    // A test killed by ctest's time-out must not leave its broker behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start("node", {QStringLiteral(TVN_SOURCE_DIR "/server/main.mjs")});
    if (!m_process.waitForStarted(5000)) {
        m_error = "node did not start: " + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("the broker exited with status %1").arg(m_process.exitCode());
            return false;
        }
        if (accepts(m_port))
            return true;
        QThread::msleep(50);
    }
    m_error = "the broker did not listen within 15 s";
    return false;
}
