#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a text/event-stream as it arrives, in pieces of any size: events end at a blank line,
// "event:" names them, "data:" lines are joined, and comments (":" lines) are skipped.
class ServerSentEventParser
{
public:
    struct Event {
        QString name;
        QString data;
        friend bool operator==(const Event &, const Event &) = default;
    };

    // The events the bytes complete; an unfinished event waits for the next piece.
    QList<Event> feed(const QByteArray &bytes);
    void reset();

private:
    void takeLine(const QByteArray &line, QList<Event> &events);

    QByteArray m_buffer;
    QString m_name;
    QStringList m_data;
};
