#include "FreedesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
// The server's own default time-out.
constexpr int serverDefaultTimeout = -1;
} // namespace

FreedesktopNotifications::FreedesktopNotifications(QString appName, QString desktopEntry, QDBusConnection bus,
                                                   QObject *parent)
    : DesktopNotifications(parent), m_appName(std::move(appName)), m_desktopEntry(std::move(desktopEntry)), m_bus(std::move(bus))
{
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void FreedesktopNotifications::notify(const QString &tag, const QString &summary, const QString &body,
                                      const QList<Action> &actions)
{
    const Pending notification{tag, summary, body, actions};
    if (m_capabilities) {
        send(notification);
        return;
    }
    m_waiting.append(notification);
    askCapabilities();
}

void FreedesktopNotifications::askCapabilities()
{
    if (m_askingCapabilities)
        return;
    m_askingCapabilities = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        m_askingCapabilities = false;
        const QDBusPendingReply<QStringList> reply = *finished;
        // No server: nothing can be shown, and the next notification asks again.
        if (reply.isError()) {
            m_waiting.clear();
            return;
        }
        m_capabilities = reply.value();
        const QList<Pending> waiting = std::exchange(m_waiting, {});
        for (const Pending &notification : waiting)
            send(notification);
    });
}

void FreedesktopNotifications::send(const Pending &notification)
{
    QStringList actionList;
    if (m_capabilities->contains(QStringLiteral("actions"))) {
        for (const Action &action : notification.actions)
            actionList << action.key << action.label;
    }
    const QVariantMap hints{{QStringLiteral("desktop-entry"), m_desktopEntry},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    const uint replaces = 0;
    call << m_appName << replaces << QString() << notification.summary << notification.body << actionList << hints
         << serverDefaultTimeout;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, tag = notification.tag](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        if (!reply.isError())
            m_tagsById.insert(reply.value(), tag);
    });
}

void FreedesktopNotifications::withdraw(const QString &tag)
{
    for (auto it = m_tagsById.begin(); it != m_tagsById.end(); ++it) {
        if (it.value() != tag)
            continue;
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("CloseNotification"));
        call << it.key();
        m_bus.asyncCall(call);
        m_tagsById.erase(it);
        return;
    }
}

void FreedesktopNotifications::onActionInvoked(uint id, const QString &actionKey)
{
    // Other apps' notifications share the signal: only ours carry a tag.
    const auto found = m_tagsById.constFind(id);
    if (found != m_tagsById.constEnd())
        Q_EMIT actionInvoked(found.value(), actionKey);
}

void FreedesktopNotifications::onClosed(uint id, uint)
{
    m_tagsById.remove(id);
}
