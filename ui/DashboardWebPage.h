#pragma once

#include <QUrl>
#include <QWebEnginePage>

// The dashboard's page: keeps every main-frame navigation on the broker's own origin (or an
// "about:" page), opens no windows, and keeps the page's console out of the app's log.
class DashboardWebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    DashboardWebPage(QWebEngineProfile *profile, qint64 brokerPort, QObject *parent = nullptr);

    void setExpectedBrokerURL(const QUrl &url) { m_expectedBrokerURL = url; }
    QUrl expectedBrokerURL() const { return m_expectedBrokerURL; }

Q_SIGNALS:
    // A navigation was cancelled; the reason names no path or query.
    void navigationRefused(const QString &reason);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    qint64 m_brokerPort;
    QUrl m_expectedBrokerURL;
};
