#pragma once

#include <QList>
#include <QObject>
#include <QString>

// Desktop notifications: a short message outside the app's windows, with buttons where the
// desktop offers them. Each notification carries the caller's tag, so an answer finds its subject.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    struct Action {
        QString key;
        QString label;
    };

    using QObject::QObject;

    // Shows a notification; `actions` become buttons only where the desktop supports them.
    virtual void notify(const QString &tag, const QString &summary, const QString &body, const QList<Action> &actions) = 0;
    // Takes a notification down again (its subject was settled elsewhere).
    virtual void withdraw(const QString &tag) = 0;

Q_SIGNALS:
    // A button (or, with the key "default", the notification itself) was clicked.
    void actionInvoked(const QString &tag, const QString &actionKey);
};
