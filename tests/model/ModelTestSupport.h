#pragma once

#include "AppModel.h"
#include "PresenceError.h"
#include "SecretStore.h"
#include "LocalServiceContext.h"
#include "ServiceTestSupport.h"
#include "LocalServiceController.h"
#include "SupervisionClock.h"
#include "TextClipboard.h"

#include <QCoroTask>
#include <QCoroTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QSettings>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <memory>

constexpr quint16 developmentPort = 47382;

inline bool portAcceptsConnections()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, developmentPort);
    return socket.waitForConnected(1000);
}

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()> &condition, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Time that passes only when the model sleeps, so a 30-second wait runs in a moment.
class VirtualClock : public SupervisionClock
{
public:
    TimePoint now() const override { return m_origin + m_elapsed; }
    QCoro::Task<> sleep(std::chrono::milliseconds duration) override
    {
        m_elapsed += duration;
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
    }
    std::chrono::milliseconds elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_elapsed);
    }

private:
    TimePoint m_origin = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration m_elapsed{};
};

class RecordingClipboard : public TextClipboard
{
public:
    void setText(const QString &text) override { texts.append(text); }
    QString text() const override { return texts.isEmpty() ? QString() : texts.constLast(); }
    QStringList texts;
};

// The service tests' temporary-home context, with the start time-out left at its default.
inline LocalServiceContext modelServiceContext(const QString &home, const QString &prefix)
{
    LocalServiceContext context = serviceContext(home, prefix);
    context.environment.remove(QStringLiteral("TVN_SERVICE_START_TIMEOUT_SECONDS"));
    return context;
}

// Settings in a file of the test's own, so no test reads or writes the user's choices.
inline UserDefaults temporaryUserDefaults(const QString &directory)
{
    return UserDefaults(std::make_shared<QSettings>(directory + QStringLiteral("/settings.ini"), QSettings::IniFormat));
}

// An owner check that must not be reached: these tests never ask the owner.
class UnreachableOwnerAuthentication : public OwnerAuthentication
{
public:
    bool canEvaluateOwnerAuthentication() override { return false; }
    bool canEvaluateBiometrics() override { return false; }
    BiometryType biometryType(const AuthenticationContext &) override { return BiometryType::none; }
    void evaluateOwner(AuthenticationContext &, const QString &) override
    {
        throw PresenceError::unavailable(QStringLiteral("no owner check in this test"));
    }
};

// A secret store that holds nothing.
class EmptySecretStore : public SecretStore
{
public:
    SecretStore::Lookup lookup(const QString &, const QString &) override { return {}; }
};

inline AppModel::Dependencies modelDependencies(const LocalServiceContext &context,
                                                std::shared_ptr<SupervisionClock> clock,
                                                std::shared_ptr<TextClipboard> clipboard)
{
    ServiceSupervision::Dependencies supervision{std::make_shared<LocalServiceController>(context)};
    supervision.clock = std::move(clock);
    supervision.clipboard = std::move(clipboard);
    supervision.takeoverWaitSeconds = 5;
    AppModel::Dependencies deps{context.identity, AppMetadata({}, context.prefixDirectory), std::move(supervision),
                                temporaryUserDefaults(context.identity.homeDirectoryPath())};
    deps.ownerAuthentication = [](PasswordPrompter *) { return std::make_shared<UnreachableOwnerAuthentication>(); };
    deps.hardwareKeys = HardwareKeyProvider::systemDefault();
    deps.secretStore = std::make_shared<EmptySecretStore>();
    return deps;
}

// A control-script stand-in for faults the real script cannot produce. It lives in a checkout
// of its own (<root>/package.json, <root>/scripts/local-service.mjs; the app's prefix is
// <root>/build) and follows a plan in <root>/plan: "<command>.json" is printed as the status,
// "<command>.hang" makes the command never return, anything else exits 1. Every command word
// is appended to <root>/plan/commands.log.
class FakeControlScript
{
public:
    FakeControlScript()
    {
        m_ready = QDir().mkpath(home()) && QDir().mkpath(prefix()) && QDir().mkpath(planDirectory())
            && writeFile(m_root.filePath(QStringLiteral("package.json")), "{}")
            && writeFile(m_root.filePath(QStringLiteral("scripts/local-service.mjs")), R"(
import fs from 'node:fs';
import path from 'node:path';
const plan = process.env.TVN_FAKE_SERVICE_PLAN;
const command = process.argv[2];
fs.appendFileSync(path.join(plan, 'commands.log'), `${command}\n`);
const step = (extension) => path.join(plan, `${command}.${extension}`);
if (fs.existsSync(step('hang'))) setInterval(() => {}, 1000);
else if (fs.existsSync(step('json'))) process.stdout.write(`log line before the status\n${fs.readFileSync(step('json'), 'utf8')}\n`);
else process.exitCode = 1;
)");
    }

    bool isReady() const { return m_ready && m_root.isValid(); }
    QString home() const { return m_root.filePath(QStringLiteral("home")); }
    QString prefix() const { return m_root.filePath(QStringLiteral("build")); }
    QString planDirectory() const { return m_root.filePath(QStringLiteral("plan")); }

    LocalServiceContext context() const
    {
        LocalServiceContext context = modelServiceContext(home(), prefix());
        context.environment.insert(QStringLiteral("TVN_FAKE_SERVICE_PLAN"), planDirectory());
        return context;
    }

    // `fields` override a minimal status of an installed service that is not listening.
    bool answer(const QString &command, const QVariantMap &fields) const
    {
        QJsonObject status{
            {QStringLiteral("status"), QStringLiteral("installed")},
            {QStringLiteral("launchAgent"), QStringLiteral("installed")},
            {QStringLiteral("broker"), QStringLiteral("not_listening")},
            {QStringLiteral("dashboardUrl"), QStringLiteral("http://127.0.0.1:47382")},
            {QStringLiteral("stateDir"), home() + QStringLiteral("/.torvane-dev/state")},
            {QStringLiteral("logDir"), home() + QStringLiteral("/Library/Logs/TorvaneDev")},
        };
        for (auto it = fields.begin(); it != fields.end(); ++it)
            status.insert(it.key(), QJsonValue::fromVariant(it.value()));
        return writeFile(planFile(command, QStringLiteral("json")), QJsonDocument(status).toJson(QJsonDocument::Compact));
    }
    bool hang(const QString &command) const { return writeFile(planFile(command, QStringLiteral("hang")), {}); }
    bool fail(const QString &command) const
    {
        return QFile::remove(planFile(command, QStringLiteral("json"))) || !QFile::exists(planFile(command, QStringLiteral("json")));
    }

    QStringList commands() const
    {
        QFile log(planFile(QStringLiteral("commands"), QStringLiteral("log")));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString planFile(const QString &name, const QString &extension) const
    {
        return QDir(planDirectory()).filePath(name + QLatin1Char('.') + extension);
    }

    QTemporaryDir m_root;
    bool m_ready = false;
};
