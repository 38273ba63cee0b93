#pragma once

#include "AuditEvent.h"

#include <QWidget>

class AppModel;
class QPlainTextEdit;

// The broker's audit chain as the last refresh loaded it, one line per event in broker order.
class AuditLogSection : public QWidget
{
    Q_OBJECT

public:
    explicit AuditLogSection(AppModel *model, QWidget *parent = nullptr);

    static QString eventLine(const AuditEvent &event);

private:
    void render();

    AppModel *m_model;
    QPlainTextEdit *m_events;
    QList<AuditEvent> m_shownEvents;
};
