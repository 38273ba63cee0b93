#pragma once

#include "AwaitTask.h"
#include "FakeProvider.h"
#include "ModelTestSupport.h"

// The real control script and broker of this checkout on the development port, in a temporary
// home, with the providers replaced by the loopback stand-in through the app's environment and
// the vault set up through the model as a first run does. Stops the service when it goes away.
class UnlockedService
{
public:
    static inline const QString vaultPassword = QStringLiteral("correct horse battery staple");

    ~UnlockedService()
    {
        m_model.reset();
        if (!m_context)
            return;
        // The outcome does not matter: a service that never started has nothing to stop.
        LocalServiceController controller(*m_context);
        finish(controller.run(LocalServiceCommand::stop));
        waitUntil([] { return !portAcceptsConnections(); }, 10000);
    }

    // The model on a service not turned on yet, as a first run finds it. Empty on success, else
    // what went wrong.
    QString prepare(std::shared_ptr<HardwareKeyProvider> hardwareKeys)
    {
        if (!waitUntil([] { return !portAcceptsConnections(); }, 60000))
            return QStringLiteral("another process holds port 47382; the development broker cannot be tested");
        if (!m_provider.start())
            return QStringLiteral("the provider stand-in did not start");
        m_context.emplace(modelServiceContext(m_home.path(), QStringLiteral(TVN_BINARY_DIR)));
        m_context->environment.insert(m_provider.environment());
        m_model = makeModel(std::move(hardwareKeys));
        return {};
    }

    // Empty on success, else what went wrong.
    QString start(std::shared_ptr<HardwareKeyProvider> hardwareKeys)
    {
        if (const QString failure = prepare(std::move(hardwareKeys)); !failure.isEmpty())
            return failure;
        QCoro::waitFor(m_model->installOrStartLocalService());
        if (!m_model->supervision()->brokerReadyAndVerified())
            return QStringLiteral("the service did not start: ") + m_model->statusMessage();
        const BrokerResult<bool> setUp = awaitTask(m_model->setupVaultPassphrase(vaultPassword, vaultPassword));
        if (!setUp)
            return QStringLiteral("the vault was not set up: ") + setUp.failure().description();
        return {};
    }

    // Another model of the app on the same service, as a second window would have.
    std::unique_ptr<AppModel> makeModel(std::shared_ptr<HardwareKeyProvider> hardwareKeys)
    {
        AppModel::Dependencies deps = modelDependencies(*m_context, std::make_shared<SupervisionClock>(), m_clipboard);
        deps.hardwareKeys = std::move(hardwareKeys);
        return std::make_unique<AppModel>(std::move(deps));
    }

    AppModel *model() const { return m_model.get(); }
    FakeProvider &provider() { return m_provider; }
    RecordingClipboard &clipboard() const { return *m_clipboard; }
    QString homePath() const { return m_home.path(); }
    QString stateDirectory() const { return m_context->identity.stateDirectoryPath(); }

private:
    QTemporaryDir m_home;
    FakeProvider m_provider;
    std::optional<LocalServiceContext> m_context;
    std::shared_ptr<RecordingClipboard> m_clipboard = std::make_shared<RecordingClipboard>();
    std::unique_ptr<AppModel> m_model;
};
