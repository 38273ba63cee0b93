#include "AutomationChannel.h"

#include "AppModel.h"
#include "AutomationState.h"
#include "BrokerErrorPresentation.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

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
    return failed(QStringLiteral("Unknown field: ") + field);
}

QCoro::Task<QJsonObject> AutomationChannel::handle(QJsonObject request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    const QString method = request.value(QStringLiteral("method")).toString();
    const QJsonObject params = request.value(QStringLiteral("params")).toObject();
    Reply reply;
    if (method == QLatin1StringView("state")) {
        reply = {automationState(*m_model), std::nullopt};
    } else if (method == QLatin1StringView("set")) {
        reply = setField(params);
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
