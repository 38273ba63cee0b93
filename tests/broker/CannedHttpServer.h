#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>

// A real HTTP listener on loopback that replays one canned answer to every request and records
// what it received. Used where a broker must misbehave on purpose (odd statuses, hostile bodies,
// a listener that accepts and never answers), which the real broker will not do.
class CannedHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        // Sent as is instead of a well-formed answer when not empty.
        QByteArray raw;
        // Accept the connection, read the request, never answer.
        bool silent = false;
    };
    struct Request {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;
    };

    explicit CannedHttpServer(QObject *parent = nullptr);

    void setAnswer(const Answer &answer) { m_answer = answer; }
    quint16 port() const { return m_server.serverPort(); }
    QString baseURL() const;
    QList<Request> requests() const { return m_requests; }

private:
    void accept();
    void readFrom(class QTcpSocket *socket);
    void answer(QTcpSocket *socket);

    QTcpServer m_server;
    Answer m_answer;
    QList<Request> m_requests;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
