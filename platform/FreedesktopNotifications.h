#pragma once

#include "DesktopNotifications.h"

#include <QDBusConnection>
#include <QHash>
#include <QStringList>

#include <optional>

// Notifications through the session bus's org.freedesktop.Notifications server (the desktop's
// notification daemon). Every call is asynchronous: a missing or slow server never blocks the
// app, and without one nothing is shown.
class FreedesktopNotifications : public DesktopNotifications
{
    Q_OBJECT

public:
    // `appName` and `desktopEntry` name the app to the server (its icon and grouping).
    FreedesktopNotifications(QString appName, QString desktopEntry,
                             QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    void notify(const QString &tag, const QString &summary, const QString &body, const QList<Action> &actions) override;
    void withdraw(const QString &tag) override;

private:
    struct Pending {
        QString tag;
        QString summary;
        QString body;
        QList<Action> actions;
    };
    void askCapabilities();
    void send(const Pending &notification);

private Q_SLOTS:
    // Connected by name: the bus delivers the server's signals through the meta-object.
    void onActionInvoked(uint id, const QString &actionKey);
    void onClosed(uint id, uint reason);

private:

    QString m_appName;
    QString m_desktopEntry;
    QDBusConnection m_bus;
    // Known once the server answered GetCapabilities (empty when it never did).
    std::optional<QStringList> m_capabilities;
    bool m_askingCapabilities = false;
    QList<Pending> m_waiting;
    QHash<uint, QString> m_tagsById;
};
