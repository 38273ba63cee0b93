#pragma once

#include "CannedHttpServer.h"
#include "ModelTestSupport.h"
#include "TVNRuntimeIdentity.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Answers of a healthy development broker for a canned listener on the development port, and the
// pieces tests change to make it misbehave.
namespace CannedBroker {
using Answer = CannedHttpServer::Answer;

inline Answer json(const QJsonObject &object, int status = 200)
{
    return {status, QJsonDocument(object).toJson(QJsonDocument::Compact), {}, {}, false};
}

inline Answer error(int status, const QString &text)
{
    return json({{QStringLiteral("error"), text}}, status);
}

inline Answer list(const char *key, const QJsonArray &items = {})
{
    return json({{QLatin1StringView(key), items}});
}

inline QJsonObject connector(const QString &id)
{
    return {{QStringLiteral("id"), id},        {QStringLiteral("displayName"), id},
            {QStringLiteral("status"), QStringLiteral("ready")}, {QStringLiteral("tools"), 1},
            {QStringLiteral("authType"), QStringLiteral("api_key")}};
}

inline QJsonObject connection(const QString &connectorId)
{
    return {{QStringLiteral("connectorId"), connectorId},     {QStringLiteral("accountId"), QStringLiteral("default")},
            {QStringLiteral("authType"), QStringLiteral("api_key")}, {QStringLiteral("source"), QStringLiteral("app")},
            {QStringLiteral("status"), QStringLiteral("connected")}, {QStringLiteral("linkedAt"), QStringLiteral("t")},
            {QStringLiteral("updatedAt"), QStringLiteral("t")}};
}

inline Answer operatorStatus(const QString &unlockMethod)
{
    return json({{QStringLiteral("enabled"), true},
                 {QStringLiteral("activeSessions"), 0},
                 {QStringLiteral("sessionTtlSeconds"), 3600},
                 {QStringLiteral("unlockMethod"), unlockMethod}});
}

inline Answer health(const QString &vault)
{
    return json({{QStringLiteral("ok"), true},
                 {QStringLiteral("service"), QStringLiteral("switchyard-broker")},
                 {QStringLiteral("vault"), vault}});
}

inline QJsonObject developmentPosture(const TVNRuntimeIdentity &identity)
{
    return {{QStringLiteral("loopbackOnly"), true},
            {QStringLiteral("brokerPort"), identity.brokerPort()},
            {QStringLiteral("runtimeLane"), QStringLiteral("development")},
            {QStringLiteral("serviceLabel"), identity.serviceLabel()},
            {QStringLiteral("appBundleId"), identity.bundleIdentifier()},
            {QStringLiteral("stateDir"), identity.stateDirectoryPath()},
            {QStringLiteral("profileStoreDir"), identity.profileStorePath()},
            {QStringLiteral("logDir"), identity.logDirectoryPath()},
            {QStringLiteral("applicationSupportRoot"), identity.applicationSupportRootPath()},
            {QStringLiteral("keychainMode"), QStringLiteral("file")},
            {QStringLiteral("operatorBootstrapMode"), QStringLiteral("file")}};
}

inline void answerAsHealthyBroker(CannedHttpServer &broker, const TVNRuntimeIdentity &identity)
{
    broker.setAnswer(error(404, QStringLiteral("not found")));
    broker.setAnswer("/health", health(QStringLiteral("unlocked")));
    broker.setAnswer("/v1/local-posture", json(developmentPosture(identity)));
    broker.setAnswer("/v1/operator/status", operatorStatus(QStringLiteral("local-file")));
    broker.setAnswer("/v1/operator/session", json({{QStringLiteral("sessionId"), QStringLiteral("session-1")},
                                                   {QStringLiteral("expiresAt"), QStringLiteral("later")}}));
    broker.setAnswer("/v1/connectors", list("connectors", {connector(QStringLiteral("github"))}));
    broker.setAnswer("/v1/approvals", list("approvals"));
    broker.setAnswer("/v1/connections", list("connections", {connection(QStringLiteral("github"))}));
    broker.setAnswer("/v1/master-keys", list("keys"));
    broker.setAnswer("/v1/proxy/profiles", list("profiles"));
    broker.setAnswer("/v1/proxy/services", list("services"));
    broker.setAnswer("/v1/audit", list("events"));
    broker.setAnswer("/v1/proof/latest", json({{QStringLiteral("available"), false},
                                               {QStringLiteral("artifact"), QString()}}));
}

// A model whose control script reports a running service and whose broker is this healthy canned
// one on the development port.
struct Model {
    std::unique_ptr<FakeControlScript> script;
    std::unique_ptr<CannedHttpServer> broker;
    std::unique_ptr<AppModel> model;

    // Empty when everything is in place; otherwise what is missing.
    QString start(std::shared_ptr<SupervisionClock> clock = std::make_shared<VirtualClock>())
    {
        script = std::make_unique<FakeControlScript>();
        if (!script->isReady())
            return QStringLiteral("the control script stand-in could not be written");
        script->answer(QStringLiteral("status"), {{QStringLiteral("status"), QStringLiteral("ready")},
                                                  {QStringLiteral("launchAgent"), QStringLiteral("loaded")},
                                                  {QStringLiteral("broker"), QStringLiteral("listening")}});
        broker = std::make_unique<CannedHttpServer>(nullptr, developmentPort);
        if (!broker->isListening())
            return QStringLiteral("the development port is taken");
        model = std::make_unique<AppModel>(
            modelDependencies(script->context(), std::move(clock), std::make_shared<RecordingClipboard>()));
        answerAsHealthyBroker(*broker, model->identity());
        return {};
    }

    // The plaintext unlock secret the broker would have written, so the refresh can mint a session.
    bool writeBootstrapSecret() const
    {
        return writeFile(model->supervision()->stateDirectory() + QStringLiteral("/operator-bootstrap.local"),
                         "  bootstrap-secret\n");
    }

    void stop()
    {
        model.reset();
        broker.reset();
        script.reset();
    }
};
} // namespace CannedBroker
