#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// What a desktop puts on the session bus and a headless test machine lacks: the tray's
// StatusNotifierWatcher (where an app registers its tray icon) and a notification server
// (org.freedesktop.Notifications). Both are small stand-ins registered by the test on the private
// bus of dbus-run-session; they record what the app sends and can answer as a person would.
// They live in a thread of their own, so they answer while the test waits on the app's socket.
class StatusNotifierWatcherStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

    bool registerOn(QDBusConnection bus)
    {
        return bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                      | QDBusConnection::ExportAllSignals)
            && bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service)
    {
        QMutexLocker lock(&m_mutex);
        m_items.append(service);
        Q_EMIT StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString &) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

class NotificationServerStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification {
        uint id;
        QString appName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    QList<Notification> notifications() const
    {
        QMutexLocker lock(&m_mutex);
        return m_notifications;
    }
    QList<uint> closed() const
    {
        QMutexLocker lock(&m_mutex);
        return m_closed;
    }

    bool registerOn(QDBusConnection bus)
    {
        m_bus = bus;
        return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
            && bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // A click on one of the notification's buttons.
    void invokeAction(uint id, const QString &key)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << key;
        m_bus.send(signal);
    }

public Q_SLOTS:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString &appName, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        QMutexLocker lock(&m_mutex);
        const uint id = uint(m_notifications.size()) + 1;
        m_notifications.append({id, appName, summary, body, actions, hints});
        return id;
    }
    void CloseNotification(uint id)
    {
        QMutexLocker lock(&m_mutex);
        m_closed.append(id);
    }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &key);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    mutable QMutex m_mutex;
    QList<Notification> m_notifications;
    QList<uint> m_closed;
};
