#include "CannedHttpServer.h"

#include <QTcpSocket>

CannedHttpServer::CannedHttpServer(QObject *parent, quint16 port) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
    m_server.listen(QHostAddress::LocalHost, port);
}

QList<QByteArray> CannedHttpServer::requestedPaths() const
{
    QList<QByteArray> paths;
    for (const Request &request : m_requests)
        paths.append(request.target.split('?').value(0));
    return paths;
}

QString CannedHttpServer::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void CannedHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
    }
}

void CannedHttpServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.clear();
    m_requests.append(request);
    answer(socket, request.target.split('?').value(0));
}

void CannedHttpServer::answer(QTcpSocket *socket, const QByteArray &path)
{
    const Answer answer = m_pathAnswers.value(path, m_answer);
    if (answer.silent)
        return;
    if (!answer.raw.isEmpty()) {
        socket->write(answer.raw);
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Canned\r\n";
    bool hasLength = false;
    for (const auto &[name, value] : answer.headers) {
        head += name + ": " + value + "\r\n";
        hasLength = hasLength || name.compare("content-length", Qt::CaseInsensitive) == 0;
    }
    if (!hasLength)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + answer.body);
    socket->disconnectFromHost();
}
