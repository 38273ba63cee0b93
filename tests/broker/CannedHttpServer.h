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

    // Listens on `port` (0: any free one) on loopback.
    explicit CannedHttpServer(QObject *parent = nullptr, quint16 port = 0);

    bool isListening() const { return m_server.isListening(); }
    // The answer to every request without an answer of its own.
    void setAnswer(const Answer &answer) { m_answer = answer; }
    // The answer to requests for exactly this path (no query).
    void setAnswer(const QByteArray &path, const Answer &answer) { m_pathAnswers.insert(path, answer); }
    void clearRequests() { m_requests.clear(); }
    // The paths requested so far, in order.
    QList<QByteArray> requestedPaths() const;
    quint16 port() const { return m_server.serverPort(); }
    QString baseURL() const;
    QList<Request> requests() const { return m_requests; }

private:
    void accept();
    void readFrom(class QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &path);

    QTcpServer m_server;
    Answer m_answer;
    QMap<QByteArray, Answer> m_pathAnswers;
    QList<Request> m_requests;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
