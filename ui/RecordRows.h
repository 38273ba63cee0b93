#pragma once

#include "FormWidgets.h"

#include <QLabel>
#include <QList>
#include <QStringList>
#include <QVBoxLayout>

#include <functional>
#include <optional>

// The rows of one record list, rebuilt only when the records or the running actions change, so a
// refresh that changes nothing leaves focus and scrolling alone. An empty list shows one line.
template <typename Record>
class RecordRows
{
public:
    using MakeRow = std::function<QWidget *(const Record &)>;

    RecordRows(QWidget *parent, const QString &emptyText, MakeRow makeRow)
        : m_parent(parent), m_layout(new QVBoxLayout), m_emptyText(emptyText), m_makeRow(std::move(makeRow))
    {
        m_layout->setContentsMargins(0, 0, 0, 0);
    }

    QVBoxLayout *layout() const { return m_layout; }
    // The running actions the rows were last built with; a row disables what is in flight.
    const QStringList &running() const { return m_running; }

    void show(const QList<Record> &records, const QStringList &running)
    {
        if (m_shown == records && m_running == running)
            return;
        m_shown = records;
        m_running = running;
        FormWidgets::clear(m_layout);
        if (records.isEmpty())
            m_layout->addWidget(FormWidgets::text(m_parent, QStringLiteral("tvn-rows-empty"), m_emptyText));
        for (const Record &record : records)
            m_layout->addWidget(m_makeRow(record));
    }

private:
    QWidget *m_parent;
    QVBoxLayout *m_layout;
    QString m_emptyText;
    MakeRow m_makeRow;
    std::optional<QList<Record>> m_shown;
    QStringList m_running;
};
