#include "DashboardWebPage.h"

#include "DashboardNavigationPolicy.h"

DashboardWebPage::DashboardWebPage(QWebEngineProfile *profile, qint64 brokerPort, QObject *parent)
    : QWebEnginePage(profile, parent), m_brokerPort(brokerPort)
{
}

bool DashboardWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type)
    const DashboardNavigationPolicy::Decision decision =
        DashboardNavigationPolicy::decide(url, isMainFrame, m_expectedBrokerURL, m_brokerPort);
    if (!decision.allowed)
        emit navigationRefused(decision.refusalReason);
    return decision.allowed;
}

QWebEnginePage *DashboardWebPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type)
    // Links to other windows never open from inside the app; the page asks the app instead.
    return nullptr;
}

void DashboardWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                                int lineNumber, const QString &sourceID)
{
    // The page's console may echo what it shows; none of it belongs in the app's log.
    Q_UNUSED(level)
    Q_UNUSED(message)
    Q_UNUSED(lineNumber)
    Q_UNUSED(sourceID)
}
