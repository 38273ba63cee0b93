#pragma once

#include <QCoroTask>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

#include <functional>
#include <optional>

class AppModel;
class QLocalServer;
class QLocalSocket;
class QWidget;
class TorvaneAppDelegate;

// A local socket through which end-to-end tests drive the app as a person would, one JSON object
// per line: {"id", "method", "params"} in, {"id", "result"} or {"id", "error"} out when the action
// ends. "state" reports every published field; "set" sets a form field or selection; every other
// method is a model action by its own name. Development lane only; the socket is owner-only.
class AutomationChannel : public QObject
{
    Q_OBJECT

public:
    // The outcome of one method: a result, or the text the user would have seen.
    struct Reply {
        QJsonValue result;
        std::optional<QString> error;
    };
    using Method = std::function<QCoro::Task<Reply>(QJsonObject params)>;

    explicit AutomationChannel(AppModel *model, QObject *parent = nullptr);

    // The window "screenshot" grabs, so a test can look at what a person sees.
    void setWindow(QWidget *window) { m_window = window; }
    // The shell's windows, tray and dialogs join the state, and its commands become methods.
    void setShell(TorvaneAppDelegate *shell);

    // False with `error` set when the socket cannot be opened at `path`.
    bool listen(const QString &path, QString *error);

    // Runs one request line and returns the answer line (used by the socket and by tests).
    QCoro::Task<QJsonObject> handle(QJsonObject request);

private:
    void registerMethods();
    // Accounts, agent keys, the kill switch, proxies, approvals and backups.
    void registerOperatorActions();
    void registerAgentHandoffActions();
    // The shell's windows and tray, keyring trust, and the development lane's crash trigger.
    void registerShellMethods();
    void registerAction(const QString &name, Method method);
    void accept();
    void readLines(QLocalSocket *socket);
    QCoro::Task<> answer(QLocalSocket *socket, QByteArray line);
    Reply setField(const QJsonObject &params);
    Reply screenshot(const QJsonObject &params) const;

    AppModel *m_model;
    QLocalServer *m_server = nullptr;
    QWidget *m_window = nullptr;
    TorvaneAppDelegate *m_shell = nullptr;
    QHash<QString, Method> m_methods;
};
