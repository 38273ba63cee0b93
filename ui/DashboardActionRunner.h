#pragma once

#include "DashboardMessage.h"

#include <QCoroTask>
#include <QSet>
#include <QUrl>

#include <functional>

class AppModel;

// Runs the app action a dashboard message names ("link-api-key" links the key through the
// model's connect sheet, "create-master-key" creates the key and saves its setup profile,
// "connect-agent-app" is an agent app's Set up, "copy-agent-setup" its paste-in snippet, …) and
// says how it ended in words for the page. Secrets in a message go to the model and nowhere else.
// A second request of the same kind while one runs is refused, so a double click runs it once.
class DashboardActionRunner
{
public:
    struct Outcome {
        bool ok = false;
        QString message;
    };
    using URLOpener = std::function<void(const QUrl &)>;

    DashboardActionRunner(AppModel &model, URLOpener openURL);

    QCoro::Task<Outcome> run(DashboardMessage message);

private:
    QCoro::Task<Outcome> linkAPIKey(const DashboardMessage &message);
    QCoro::Task<Outcome> createMasterKey(const DashboardMessage &message);
    QCoro::Task<Outcome> setUpAgentApp(const DashboardMessage &message);
    QCoro::Task<Outcome> copyAgentSetup(const DashboardMessage &message);
    Outcome openProviderKeyPage(const DashboardMessage &message);

    AppModel &m_model;
    URLOpener m_openURL;
    QSet<DashboardMessage::Type> m_running;
};
