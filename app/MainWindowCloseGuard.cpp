#include "MainWindowCloseGuard.h"

#include <QCloseEvent>
#include <QWidget>

bool MainWindowCloseGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Close || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    static_cast<QWidget *>(watched)->hide();
    event->ignore();
    Q_EMIT hiddenByUser();
    return true;
}
