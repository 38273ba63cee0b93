#include "ServerSentEventParser.h"

#include <QStringList>

namespace {
// A stream that never ends a line must not grow without bound.
constexpr qsizetype maxLineBytes = 1 << 20;
} // namespace

QList<ServerSentEventParser::Event> ServerSentEventParser::feed(const QByteArray &bytes)
{
    QList<Event> events;
    m_buffer += bytes;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        takeLine(line, events);
        start = end + 1;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > maxLineBytes)
        reset();
    return events;
}

void ServerSentEventParser::reset()
{
    m_buffer.clear();
    m_name.clear();
    m_data.clear();
}

void ServerSentEventParser::takeLine(const QByteArray &line, QList<Event> &events)
{
    if (line.isEmpty()) {
        if (!m_name.isEmpty() || !m_data.isEmpty())
            events.append({m_name.isEmpty() ? QStringLiteral("message") : m_name, m_data.join(QLatin1Char('\n'))});
        m_name.clear();
        m_data.clear();
        return;
    }
    if (line.startsWith(':'))
        return;
    const qsizetype colon = line.indexOf(':');
    const QByteArray field = colon < 0 ? line : line.left(colon);
    QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1);
    if (value.startsWith(' '))
        value.remove(0, 1);
    if (field == "event")
        m_name = QString::fromUtf8(value);
    else if (field == "data")
        m_data.append(QString::fromUtf8(value));
}
