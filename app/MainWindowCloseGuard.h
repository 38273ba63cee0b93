#pragma once

#include <QObject>

// The main window's close button hides it instead: the app keeps running in the tray and the
// window (with its dashboard) is shown again as it was. Quitting goes through the Quit command.
class MainWindowCloseGuard : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // The user closed the window on purpose; watchdogs must not bring it straight back.
    void hiddenByUser();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
