#pragma once

#include "ApprovalSummary.h"
#include "DesktopNotifications.h"

#include <QObject>
#include <QSet>

class AppModel;

// A desktop notification for every pending approval the app has not told the user about yet, so
// nobody has to watch a window: "Approve" runs the model's approve action for exactly that
// approval, "Open" (or a click on the notification) brings the main window forward. A
// notification is withdrawn once its approval is settled.
class ApprovalNotifier : public QObject
{
    Q_OBJECT

public:
    static const QString approveActionKey;
    static const QString openActionKey;

    ApprovalNotifier(AppModel *model, DesktopNotifications *notifications, QObject *parent = nullptr);

Q_SIGNALS:
    void openMainWindowRequested();

private:
    void notifyNewApprovals();
    QList<DesktopNotifications::Action> actionsFor(const ApprovalSummary &approval) const;
    void answer(const QString &approvalID, const QString &actionKey);

    AppModel *m_model;
    DesktopNotifications *m_notifications;
    // Approvals announced and still pending.
    QSet<QString> m_announced;
};
