#include "AutomationChannel.h"

#include "AppModel.h"
#include "AutomationState.h"
#include "AgentHandoffJson.h"
#include "AutomationShell.h"
#include "FatalSignalHandler.h"
#include "MainWindow.h"
#include "TorvaneAppDelegate.h"
#include "TrayIcon.h"
#include "BrokerErrorPresentation.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaProperty>
#include <QMetaProperty>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace {
using Reply = AutomationChannel::Reply;

Reply done()
{
    return {true, std::nullopt};
}

Reply failed(const QString &text)
{
    return {QJsonValue(), text};
}

// Setup and unlock are worded for the user as the password screens word them.
Reply passwordOutcome(const BrokerResult<bool> &outcome)
{
    return outcome ? done() : failed(VaultUnlock::passwordMessage(outcome.failure()));
}

QString stringParam(const QJsonObject &params, const char *name)
{
    return params.value(QLatin1StringView(name)).toString();
}

// An action that reports through the model's status line: it ends with the last failure, if any.
Reply statusOutcome(const AppModel &model, const QString &errorBefore)
{
    const QString error = model.lastActionError();
    return error.isEmpty() || error == errorBefore ? done() : failed(error);
}

QList<QObject *> formConcerns(const AppModel &model)
{
    return {model.connections(), model.agentKeys(), model.killSwitch(), model.proxyProfiles(), model.backups()};
}

QJsonObject recordParam(const QJsonObject &params, const char *kind)
{
    return params.value(QLatin1StringView(kind)).toObject();
}

// The record the last refresh loaded that `matches` the request's; a person can only act on a row
// the window shows.
template <typename Record, typename Matches>
std::optional<Record> loadedRecord(const QList<Record> &records, Matches matches)
{
    const auto found = std::find_if(records.begin(), records.end(), matches);
    return found == records.end() ? std::nullopt : std::optional<Record>(*found);
}

std::optional<ConnectionSummary> connectionParam(const AppModel &model, const QJsonObject &params)
{
    const QJsonObject wanted = recordParam(params, "connection");
    return loadedRecord(model.snapshot()->connections(), [&](const ConnectionSummary &connection) {
        return connection.connectorId == wanted.value(QStringLiteral("connectorId")).toString()
            && connection.accountId == wanted.value(QStringLiteral("accountId")).toString();
    });
}

template <typename Record>
std::optional<Record> recordWithID(const QList<Record> &records, const QJsonObject &params, const char *kind)
{
    const QString id = recordParam(params, kind).value(QStringLiteral("id")).toString();
    return loadedRecord(records, [&](const Record &record) { return record.id == id; });
}

std::optional<ConnectorSummary> connectorParam(const AppModel &model, const QJsonObject &params)
{
    const QString id = stringParam(params, "connectorId");
    return loadedRecord(model.snapshot()->connectors(), [&](const ConnectorSummary &c) { return c.id == id; });
}

Reply notLoaded(const char *kind)
{
    return failed(QStringLiteral("No such %1 in the last refresh").arg(QLatin1StringView(kind)));
}
} // namespace

AutomationChannel::AutomationChannel(AppModel *model, QObject *parent) : QObject(parent), m_model(model)
{
    registerMethods();
}

void AutomationChannel::registerAction(const QString &name, Method method)
{
    m_methods.insert(name, std::move(method));
}

void AutomationChannel::registerMethods()
{
    AppModel *model = m_model;
    // Actions that report through the status line and never fail on their own.
    const auto reporting = [this, model](const QString &name, std::function<QCoro::Task<>()> action) {
        registerAction(name, [model, action](QJsonObject) -> QCoro::Task<Reply> {
            const QString errorBefore = model->lastActionError();
            co_await action();
            co_return statusOutcome(*model, errorBefore);
        });
    };
    reporting(QStringLiteral("refresh"), [model] { return model->refresh(); });
    reporting(QStringLiteral("installOrStartLocalService"), [model] { return model->installOrStartLocalService(); });
    reporting(QStringLiteral("confirmLocalServiceStartOrRepair"),
              [model] { return model->confirmLocalServiceStartOrRepair(); });
    reporting(QStringLiteral("stopLocalService"), [model] { return model->stopLocalService(); });
    reporting(QStringLiteral("unlockOperatorSession"), [model] { return model->unlockOperatorSession(); });
    reporting(QStringLiteral("enableSecureEnclaveUnlock"), [model] { return model->enableSecureEnclaveUnlock(); });
    reporting(QStringLiteral("disableSecureEnclaveUnlock"), [model] { return model->disableSecureEnclaveUnlock(); });
    reporting(QStringLiteral("enableTouchIDFromFirstRunPrompt"),
              [model] { return model->vaultUnlock()->enableTouchIDFromFirstRunPrompt(); });

    registerAction(QStringLiteral("lockOperatorSession"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->lockOperatorSession();
        co_return done();
    });
    registerAction(QStringLiteral("declineTouchIDFromFirstRunPrompt"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->vaultUnlock()->declineTouchIDFromFirstRunPrompt();
        co_return done();
    });
    registerAction(QStringLiteral("markWebFirstRunCompleted"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->markWebFirstRunCompleted();
        co_return done();
    });
    registerAction(QStringLiteral("clearWebFirstRunCompleted"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->clearWebFirstRunCompleted();
        co_return done();
    });
    reporting(QStringLiteral("attachToObservedBrokerForDashboardHandoff"),
              [model] { return model->attachToObservedBrokerForDashboardHandoff(); });
    registerAction(QStringLiteral("copyServiceDebugInfo"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->copyServiceDebugInfo();
        co_return done();
    });
    registerAction(QStringLiteral("setupVaultPassphrase"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        const BrokerResult<bool> outcome =
            co_await model->setupVaultPassphrase(stringParam(params, "passphrase"), stringParam(params, "confirm"));
        co_return passwordOutcome(outcome);
    });
    registerAction(QStringLiteral("unlockVaultPassphrase"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        const BrokerResult<bool> outcome = co_await model->unlockVaultPassphrase(stringParam(params, "passphrase"));
        co_return passwordOutcome(outcome);
    });
    registerAction(QStringLiteral("resetLocalVaultForForgottenPassword"), [model](QJsonObject) -> QCoro::Task<Reply> {
        const BrokerResult<bool> outcome = co_await model->resetLocalVaultForForgottenPassword();
        co_return outcome ? done() : failed(friendlyErrorMessage(outcome.failure()));
    });
    // The password dialog of the system login check, as a person answers it.
    registerAction(QStringLiteral("answerPresencePrompt"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        if (!model->presencePrompt()->isPending())
            co_return failed(QStringLiteral("No password prompt is open"));
        model->presencePrompt()->answer(stringParam(params, "password"));
        co_return done();
    });
    registerAction(QStringLiteral("cancelPresencePrompt"), [model](QJsonObject) -> QCoro::Task<Reply> {
        model->presencePrompt()->cancel();
        co_return done();
    });
    registerOperatorActions();
    registerAgentHandoffActions();
}

AutomationChannel::Reply AutomationChannel::setField(const QJsonObject &params)
{
    const QString field = stringParam(params, "field");
    const QJsonValue value = params.value(QStringLiteral("value"));
    if (field == QLatin1StringView("selectedConnectorID")) {
        m_model->snapshot()->setSelectedConnectorID(value.isString() ? std::optional<QString>(value.toString())
                                                                     : std::nullopt);
        return done();
    }
    // The forms of the operator actions: every writable property of their concerns, by its name.
    for (QObject *concern : formConcerns(*m_model)) {
        const QMetaObject *meta = concern->metaObject();
        const int index = meta->indexOfProperty(field.toLatin1().constData());
        if (index < meta->propertyOffset())
            continue;
        const QMetaProperty property = meta->property(index);
        if (!property.isWritable())
            return failed(QStringLiteral("Not a form field: ") + field);
        const bool isBool = property.metaType() == QMetaType::fromType<bool>();
        if (isBool ? !value.isBool() : !value.isString())
            return failed(QStringLiteral("%1 takes a %2").arg(field, isBool ? QStringLiteral("boolean") : QStringLiteral("string")));
        property.write(concern, value.toVariant());
        return done();
    }
    return failed(QStringLiteral("Unknown field: ") + field);
}

AutomationChannel::Reply AutomationChannel::screenshot(const QJsonObject &params) const
{
    const QString path = stringParam(params, "path");
    QWidget *window = m_shell ? AutomationShell::windowNamed(*m_shell, stringParam(params, "window")) : m_window;
    if (!window || path.isEmpty())
        return failed(QStringLiteral("No window to grab, or no path"));
    if (!window->grab().save(path, "PNG"))
        return failed(QStringLiteral("Could not write ") + path);
    return done();
}

QCoro::Task<QJsonObject> AutomationChannel::handle(QJsonObject request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    const QString method = request.value(QStringLiteral("method")).toString();
    const QJsonObject params = request.value(QStringLiteral("params")).toObject();
    Reply reply;
    if (method == QLatin1StringView("state")) {
        QJsonObject state = automationState(*m_model);
        addWindowState(state, m_window);
        if (m_shell)
            AutomationShell::addShellState(state, *m_shell);
        reply = {state, std::nullopt};
    } else if (method == QLatin1StringView("set")) {
        reply = setField(params);
    } else if (method == QLatin1StringView("screenshot")) {
        reply = screenshot(params);
    } else if (const auto found = m_methods.constFind(method); found != m_methods.constEnd()) {
        reply = co_await found.value()(params);
    } else {
        reply = failed(QStringLiteral("Unknown method: ") + method);
    }
    QJsonObject answer{{QStringLiteral("id"), id}};
    if (reply.error)
        answer.insert(QStringLiteral("error"), *reply.error);
    else
        answer.insert(QStringLiteral("result"), reply.result);
    co_return answer;
}

bool AutomationChannel::listen(const QString &path, QString *error)
{
    // Only a stale socket of ours is replaced; any other file at the path is left alone.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isSymLink() && existing.isFile()) {
        *error = QStringLiteral("Not a socket: ") + path;
        return false;
    }
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        *error = m_server->errorString();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &AutomationChannel::accept);
    return true;
}

void AutomationChannel::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLines(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void AutomationChannel::readLines(QLocalSocket *socket)
{
    while (socket->canReadLine())
        answer(socket, socket->readLine());
}

QCoro::Task<> AutomationChannel::answer(QLocalSocket *socket, QByteArray line)
{
    const QPointer<QLocalSocket> guard(socket);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    QJsonObject reply;
    if (!document.isObject()) {
        reply = {{QStringLiteral("error"), QStringLiteral("Each line must be one JSON object")}};
    } else {
        reply = co_await handle(document.object());
    }
    if (guard)
        guard->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
}

void AutomationChannel::setShell(TorvaneAppDelegate *shell)
{
    m_shell = shell;
    m_window = shell->mainWindow();
    registerShellMethods();
}

void AutomationChannel::registerShellMethods()
{
    TorvaneAppDelegate *shell = m_shell;
    AppModel *model = m_model;
    const auto immediate = [this](const QString &name, std::function<void()> action) {
        registerAction(name, [action](QJsonObject) -> QCoro::Task<Reply> {
            action();
            co_return done();
        });
    };
    // The close button's own path: the window hides, the app stays.
    immediate(QStringLiteral("closeMainWindow"), [shell] { shell->mainWindow()->close(); });
    immediate(QStringLiteral("showSettingsWindow"), [shell] { shell->showSettingsWindow(); });
    immediate(QStringLiteral("showAbout"), [shell] { shell->showAbout(); });
    immediate(QStringLiteral("showTrayPanel"), [shell] { shell->trayIcon()->showPanel(); });
    immediate(QStringLiteral("crashForTest"), [] { FatalSignalHandler::crashForTest(); });
    registerAction(QStringLiteral("click"), [shell](QJsonObject params) -> QCoro::Task<Reply> {
        const QString window = stringParam(params, "window");
        QWidget *target = window.isEmpty() ? nullptr : AutomationShell::windowNamed(*shell, window);
        if (!window.isEmpty() && !target)
            co_return failed(QStringLiteral("No such window: ") + window);
        co_return AutomationShell::clickButton(stringParam(params, "button"), target)
            ? done()
            : failed(QStringLiteral("No visible, enabled button ") + stringParam(params, "button"));
    });
    const auto reporting = [this, model](const QString &name, std::function<QCoro::Task<>()> action) {
        registerAction(name, [model, action](QJsonObject) -> QCoro::Task<Reply> {
            const QString errorBefore = model->lastActionError();
            co_await action();
            co_return statusOutcome(*model, errorBefore);
        });
    };
    reporting(QStringLiteral("refreshKeychainTrustStatus"), [model] { return model->refreshKeychainTrustStatus(); });
    reporting(QStringLiteral("repairKeychainTrust"), [model] { return model->repairKeychainTrust(); });
    reporting(QStringLiteral("repairOperatorKeychainTrust"), [model] { return model->repairOperatorKeychainTrust(); });
    immediate(QStringLiteral("copyKeychainDiagnostics"), [model] { model->copyKeychainDiagnostics(); });
}

void AutomationChannel::registerOperatorActions()
{
    AppModel *model = m_model;
    // An action on one loaded record, reported through the status line.
    const auto onRecord = [this, model](const QString &name, auto find, const char *kind, auto action) {
        registerAction(name, [model, find, kind, action](QJsonObject params) -> QCoro::Task<Reply> {
            const auto record = find(*model, params);
            if (!record)
                co_return notLoaded(kind);
            const QString errorBefore = model->lastActionError();
            co_await action(*record);
            co_return statusOutcome(*model, errorBefore);
        });
    };
    const auto reporting = [this, model](const QString &name, std::function<QCoro::Task<>(QJsonObject)> action) {
        registerAction(name, [model, action](QJsonObject params) -> QCoro::Task<Reply> {
            const QString errorBefore = model->lastActionError();
            co_await action(params);
            co_return statusOutcome(*model, errorBefore);
        });
    };
    const auto immediate = [this, model](const QString &name, std::function<void(QJsonObject)> action) {
        registerAction(name, [model, action](QJsonObject params) -> QCoro::Task<Reply> {
            const QString errorBefore = model->lastActionError();
            action(params);
            co_return statusOutcome(*model, errorBefore);
        });
    };
    const auto key = [](const AppModel &m, const QJsonObject &p) { return recordWithID(m.snapshot()->masterKeys(), p, "key"); };
    const auto profile = [](const AppModel &m, const QJsonObject &p) {
        return recordWithID(m.snapshot()->proxyProfiles(), p, "profile");
    };
    const auto approval = [](const AppModel &m, const QJsonObject &p) {
        return recordWithID(m.snapshot()->approvals(), p, "approval");
    };

    // Connections.
    registerAction(QStringLiteral("beginConnect"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        const std::optional<ConnectorSummary> connector = connectorParam(*model, params);
        if (!connector)
            co_return notLoaded("connector");
        model->beginConnect(*connector);
        co_return done();
    });
    immediate(QStringLiteral("closeConnectSheet"), [model](QJsonObject) { model->closeConnectSheet(); });
    registerAction(QStringLiteral("linkAPIKey"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        const QString errorBefore = model->lastActionError();
        const bool linked = co_await model->linkAPIKey(stringParam(params, "accountId"), stringParam(params, "alias"),
                                                       stringParam(params, "token"), stringParam(params, "authModeId"));
        const Reply outcome = statusOutcome(*model, errorBefore);
        co_return outcome.error ? outcome : Reply{linked, std::nullopt};
    });
    reporting(QStringLiteral("linkSheetAPIKey"), [model](QJsonObject) { return model->linkSheetAPIKey(); });
    reporting(QStringLiteral("checkSelectedHealth"),
              [model](QJsonObject params) { return model->checkSelectedHealth(stringParam(params, "accountId")); });
    immediate(QStringLiteral("rotateKey"), [model](QJsonObject params) {
        if (const std::optional<ConnectionSummary> connection = connectionParam(*model, params))
            model->rotateKey(*connection);
    });
    // "revoke" takes the record it revokes by its kind: a connection, an agent key or a proxy profile.
    registerAction(QStringLiteral("revoke"), [model, key, profile](QJsonObject params) -> QCoro::Task<Reply> {
        const QString errorBefore = model->lastActionError();
        if (params.contains(QStringLiteral("connection"))) {
            const std::optional<ConnectionSummary> connection = connectionParam(*model, params);
            if (!connection)
                co_return notLoaded("connection");
            co_await model->revoke(*connection);
        } else if (params.contains(QStringLiteral("key"))) {
            const std::optional<MasterKeySummary> found = key(*model, params);
            if (!found)
                co_return notLoaded("key");
            co_await model->revoke(*found);
        } else {
            const std::optional<ProxyProfileSummary> found = profile(*model, params);
            if (!found)
                co_return notLoaded("profile");
            co_await model->revoke(*found);
        }
        co_return statusOutcome(*model, errorBefore);
    });

    // Agent keys and the kill switch.
    immediate(QStringLiteral("useSuggestedConnectorsForMasterKey"),
              [model](QJsonObject) { model->useSuggestedConnectorsForMasterKey(); });
    immediate(QStringLiteral("applyAgentPreset"), [model](QJsonObject params) {
        model->applyAgentPreset(stringParam(params, "id"), stringParam(params, "label"));
    });
    reporting(QStringLiteral("createMasterKey"), [model](QJsonObject) { return model->createMasterKey(); });
    reporting(QStringLiteral("storeCreatedMasterKeyProfile"),
              [model](QJsonObject) { return model->storeCreatedMasterKeyProfile(); });
    reporting(QStringLiteral("verifyCreatedMasterKeyProfile"),
              [model](QJsonObject) { return model->verifyCreatedMasterKeyProfile(); });
    registerAction(QStringLiteral("useAgentKeyAsReplacementTemplate"), [model, key](QJsonObject params) -> QCoro::Task<Reply> {
        const std::optional<MasterKeySummary> found = key(*model, params);
        if (!found)
            co_return notLoaded("key");
        model->useAgentKeyAsReplacementTemplate(*found);
        co_return done();
    });
    immediate(QStringLiteral("copyCreatedMasterKey"), [model](QJsonObject) { model->agentKeys()->copyCreatedMasterKey(); });
    immediate(QStringLiteral("clearCreatedMasterKey"), [model](QJsonObject) { model->agentKeys()->clearCreatedMasterKey(); });
    reporting(QStringLiteral("emergencyRevokeAllAgentKeys"),
              [model](QJsonObject) { return model->emergencyRevokeAllAgentKeys(); });
    registerAction(QStringLiteral("setKillSwitch"), [model](QJsonObject params) -> QCoro::Task<Reply> {
        const QJsonValue enabled = params.value(QStringLiteral("enabled"));
        if (!enabled.isBool())
            co_return failed(QStringLiteral("setKillSwitch takes \"enabled\": true or false"));
        const QString errorBefore = model->lastActionError();
        co_await model->setKillSwitch(enabled.toBool());
        co_return statusOutcome(*model, errorBefore);
    });

    // Proxy profiles, approvals and backups.
    immediate(QStringLiteral("applyProxyDefaults"), [model](QJsonObject) { model->applyProxyDefaults(); });
    reporting(QStringLiteral("createProxyProfile"), [model](QJsonObject) { return model->createProxyProfile(); });
    registerAction(QStringLiteral("copyProxyRunCommand"), [model, profile](QJsonObject params) -> QCoro::Task<Reply> {
        const std::optional<ProxyProfileSummary> found = profile(*model, params);
        if (!found)
            co_return notLoaded("profile");
        model->copyProxyRunCommand(*found);
        co_return done();
    });
    onRecord(QStringLiteral("approve"), approval, "approval",
             [model](const ApprovalSummary &found) { return model->approve(found); });
    onRecord(QStringLiteral("deny"), approval, "approval", [model](const ApprovalSummary &found) { return model->deny(found); });
    onRecord(QStringLiteral("loadWholeRequest"), approval, "approval",
             [model](const ApprovalSummary &found) { return model->approvals()->loadWholeRequest(found); });
    reporting(QStringLiteral("requestProtectedWrite"), [model](QJsonObject) { return model->requestProtectedWrite(); });
    reporting(QStringLiteral("exportBackup"), [model](QJsonObject) { return model->exportBackup(); });
    reporting(QStringLiteral("restoreBackup"), [model](QJsonObject) { return model->restoreBackup(); });
}

// Agent apps by catalog id ({"client": "claude-code"}), profiles by name, keys as loaded.
void AutomationChannel::registerAgentHandoffActions()
{
    AppModel *model = m_model;
    AgentHandoff *handoff = model->agentHandoff();
    const auto client = [](const QJsonObject &params) { return AgentClientDescriptor::find(stringParam(params, "client")); };
    const auto unknownClient = [](const QJsonObject &params) { return failed(QStringLiteral("Unknown agent app: ") + stringParam(params, "client")); };
    // Copies answer true, or the failure the status line showed.
    const auto copied = [model](bool succeeded, const QString &errorBefore) {
        return succeeded ? Reply{true, std::nullopt} : statusOutcome(*model, errorBefore);
    };

    registerAction(QStringLiteral("connectAgentApp"), [handoff, client, unknownClient](QJsonObject params) -> QCoro::Task<Reply> {
        const std::optional<AgentClientDescriptor> app = client(params);
        if (!app)
            co_return unknownClient(params);
        const std::optional<AgentClientSetupResult> result = co_await handoff->setUpAgentApp(*app);
        if (!result)
            co_return failed(QStringLiteral("Set up of %1 is already running").arg(app->label));
        co_return result->isError ? failed(result->message) : Reply{AgentHandoffJson::setupResult(*result), std::nullopt};
    });
    registerAction(QStringLiteral("verifyAgentHandoff"), [handoff](QJsonObject params) -> QCoro::Task<Reply> {
        const QJsonValue configPath = params.value(QStringLiteral("configPath"));
        const std::optional<QString> path = configPath.isString() ? std::optional<QString>(configPath.toString()) : std::nullopt;
        const AgentHandoffVerificationReport report = co_await handoff->verifyAgentHandoff(stringParam(params, "profile"), path);
        co_return Reply{AgentHandoffJson::report(report), std::nullopt};
    });
    registerAction(QStringLiteral("verifyActiveAgentHandoff"), [handoff](QJsonObject) -> QCoro::Task<Reply> {
        co_await handoff->verifyActiveAgentHandoff();
        co_return done();
    });
    registerAction(QStringLiteral("copyAgentHandoffConfig"), [model, handoff, copied](QJsonObject params) -> QCoro::Task<Reply> {
        const QString errorBefore = model->lastActionError();
        if (!params.contains(QStringLiteral("key")))
            co_return copied(handoff->copyAgentHandoffConfig(stringParam(params, "profile")), errorBefore);
        const std::optional<MasterKeySummary> key = recordWithID(model->snapshot()->masterKeys(), params, "key");
        if (!key)
            co_return notLoaded("key");
        co_await handoff->copyAgentHandoffConfig(*key);
        co_return statusOutcome(*model, errorBefore);
    });
    registerAction(QStringLiteral("copyAgentHandoffConfigIfVerified"), [model, handoff, copied](QJsonObject params) -> QCoro::Task<Reply> {
        const QString errorBefore = model->lastActionError();
        const bool copiedText = co_await handoff->copyAgentHandoffConfigIfVerified(stringParam(params, "profile"));
        co_return copied(copiedText, errorBefore);
    });
    registerAction(QStringLiteral("copyCreatedAgentHandoffConfig"), [model, handoff](QJsonObject) -> QCoro::Task<Reply> {
        const QString errorBefore = model->lastActionError();
        co_await handoff->copyCreatedAgentHandoffConfig();
        co_return statusOutcome(*model, errorBefore);
    });
    registerAction(QStringLiteral("copyAgentSnippetIfVerified"),
                   [model, handoff, client, unknownClient, copied](QJsonObject params) -> QCoro::Task<Reply> {
        const std::optional<AgentClientDescriptor> app = client(params);
        if (!app)
            co_return unknownClient(params);
        const QString errorBefore = model->lastActionError();
        const bool copiedText = co_await handoff->copyAgentSnippetIfVerified(*app);
        co_return copied(copiedText, errorBefore);
    });
}
