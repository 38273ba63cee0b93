#pragma once

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTest>

// Drives a running app through its automation channel, one request at a time.
class AutomationClient
{
public:
    bool connectTo(const QString &path, int milliseconds = 20000)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            m_socket.connectToServer(path);
            if (m_socket.waitForConnected(500))
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    // The whole answer line: {"id", "result"} or {"id", "error"}; empty when none came in time.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, int milliseconds = 120000)
    {
        const int id = ++m_lastId;
        const QJsonObject request{{QStringLiteral("id"), id}, {QStringLiteral("method"), method},
                                  {QStringLiteral("params"), params}};
        m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
        const QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            while (m_socket.canReadLine()) {
                const QJsonObject answer = QJsonDocument::fromJson(m_socket.readLine()).object();
                if (answer.value(QStringLiteral("id")).toInt() == id)
                    return answer;
            }
            m_socket.waitForReadyRead(100);
        }
        return {};
    }

    QJsonObject state() { return call(QStringLiteral("state")).value(QStringLiteral("result")).toObject(); }

private:
    QLocalSocket m_socket;
    int m_lastId = 0;
};
