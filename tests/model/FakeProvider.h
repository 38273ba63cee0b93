#pragma once

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

// The service tests' stand-in for the real providers (server/testkit/fakeProvider.mjs), run by
// node in a process of its own so the broker reaches it over loopback: tokens starting with
// "valid-" are accepted, anything else is rejected the way the provider would. Each connector
// sits under its own path prefix. Every request it answers is reported back.
class FakeProvider
{
public:
    struct Request {
        QString connectorId;
        QString method;
        QString path;
        QJsonObject body;
    };

    ~FakeProvider()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

    bool start()
    {
        m_process.setWorkingDirectory(QStringLiteral(TVN_SOURCE_DIR));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test killed by its time-out must not leave the stand-in behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral("node"), {QStringLiteral("--input-type=module"), QStringLiteral("-e"), script(),
                                                 QStringLiteral(TVN_SOURCE_DIR "/server/testkit/fakeProvider.mjs")});
        const QDeadlineTimer deadline(15000);
        while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
            m_process.waitForReadyRead(100);
        const QJsonObject first = QJsonDocument::fromJson(m_process.readLine()).object();
        const QJsonObject variables = first.value(QStringLiteral("env")).toObject();
        for (auto it = variables.begin(); it != variables.end(); ++it)
            m_environment.insert(it.key(), it.value().toString());
        return !m_environment.isEmpty();
    }

    // TVN_PROVIDER_BASE_URL_<ID> for every connector of the catalog.
    QProcessEnvironment environment() const { return m_environment; }
    // The stand-in's origin, the only one a proxy service for it may allow.
    QString origin() const
    {
        const QUrl url(m_environment.value(QStringLiteral("TVN_PROVIDER_BASE_URL_GITHUB")));
        return url.scheme() + QStringLiteral("://") + url.authority();
    }

    // Every request answered so far, oldest first.
    QList<Request> requests()
    {
        QThread::msleep(50);
        while (m_process.canReadLine() || m_process.waitForReadyRead(50)) {
            while (m_process.canReadLine()) {
                const QJsonObject line = QJsonDocument::fromJson(m_process.readLine()).object();
                m_requests.append({line.value(QStringLiteral("connectorId")).toString(),
                                   line.value(QStringLiteral("method")).toString(),
                                   line.value(QStringLiteral("path")).toString(),
                                   line.value(QStringLiteral("body")).toObject()});
            }
        }
        return m_requests;
    }

    bool received(const QString &connectorId, const QString &method, const QString &path)
    {
        for (const Request &request : requests()) {
            if (request.connectorId == connectorId && request.method == method && request.path == path)
                return true;
        }
        return false;
    }

private:
    static QString script()
    {
        return QStringLiteral(R"(
const { startFakeProvider } = await import(process.argv[1]);
const fake = await startFakeProvider();
const record = fake.requests.push.bind(fake.requests);
fake.requests.push = (r) => {
  process.stdout.write(JSON.stringify({ connectorId: r.connectorId, method: r.method, path: r.path, body: r.body }) + '\n');
  return record(r);
};
process.stdout.write(JSON.stringify({ env: fake.env() }) + '\n');
setInterval(() => {}, 1 << 30);
)");
    }

    QProcess m_process;
    QProcessEnvironment m_environment;
    QList<Request> m_requests;
};
