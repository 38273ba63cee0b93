#pragma once

#include "DashboardLoadKey.h"
#include "DashboardMessage.h"
#include "DashboardReadinessProbe.h"

#include <QWidget>

#include <functional>

class DashboardBridge;
class DashboardWebPage;
class QLabel;
class QWebChannel;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

// The broker's dashboard inside the window. The page is seeded with the operator session and the
// first-run flag before its own scripts run, talks back through "tvnNative", stays on the broker's
// origin, and is revealed only once it has really rendered; otherwise the load is reported as
// failed. Each load has its own token, so late results of an earlier load change nothing, and
// each load's outcome is reported once.
class DashboardWebView : public QWidget
{
    Q_OBJECT

public:
    // The waits of the readiness checks, in milliseconds; tests shorten them.
    struct Timing {
        int readinessFirstDelay = 10000;
        int readinessRetries = 3;
        int readinessRetryDelay = 2000;
        int occlusionFirstDelay = 3000;
        int occlusionRetries = 20;
        int occlusionRetryDelay = 2000;
        int snapshotAttempts = 5;
        int snapshotFirstWait = 150;
        int snapshotLaterWait = 450;
        int requestTimeout = 60000;
    };
    using URLOpener = std::function<void(const QUrl &)>;

    static const QString productDomain;

    DashboardWebView(qint64 brokerPort, QWidget *parent = nullptr);
    DashboardWebView(qint64 brokerPort, Timing timing, QWidget *parent = nullptr);
    ~DashboardWebView() override;

    // A view update: a new origin, identity verdict or vault state loads the page again; a new
    // session or first-run flag is re-seeded into the page as it is.
    void setLoadKey(const DashboardLoadKey &key);
    DashboardLoadKey loadKey() const { return m_key; }
    // Loads the page again for the current key.
    void reload();
    bool isRevealed() const { return m_revealed; }
    QWebEnginePage *page() const;
    QWebEngineView *webView() const { return m_view; }
    // Tells the page how an action it asked for ended, if the page is still the broker's.
    void reportActionFinished(const QString &type, bool ok, const QString &message);
    // How "open-external-url" opens an address; the system browser unless a test says otherwise.
    void setExternalURLOpener(URLOpener opener) { m_openURL = std::move(opener); }

Q_SIGNALS:
    void dashboardPending();
    void dashboardReady();
    void loadFailed(const QString &reason);
    void vaultSecurityUpdated();
    void operatorUnlockRequested();
    void vaultResetRequested();
    void webFirstRunCompleted();
    void webFirstRunReset();
    void actionRequested(const DashboardMessage &message);

private:
    void load();
    void markPending();
    void installSeedScripts();
    bool isCurrent(quint64 token) const;
    void reportReady(quint64 token);
    void reportFailure(quint64 token, const QString &reason);
    void scheduleReadinessProbe(quint64 token, int retriesLeft, int delay);
    void scheduleOcclusionCheck(quint64 token, int retriesLeft, int delay);
    void scheduleSnapshotAttempt(quint64 token, int attempt);
    void decideAfterSnapshots(quint64 token);
    void probe(const std::function<void(const DashboardReadinessProbe &)> &then);
    bool windowIsOnScreen() const;
    void handleMessage(const QJsonObject &body);
    void handleLoadingFailure(const QString &description, bool beforeCommit);

    qint64 m_brokerPort;
    Timing m_timing;
    QWebEngineProfile *m_profile;
    DashboardWebPage *m_page;
    QWebEngineView *m_view;
    QWebChannel *m_channel;
    DashboardBridge *m_bridge;
    QLabel *m_cover;
    URLOpener m_openURL;

    DashboardLoadKey m_key;
    bool m_hasLoaded = false;
    QString m_lastSessionId;
    bool m_lastFirstRunCompleted = false;
    quint64 m_token = 0;
    quint64 m_occlusionGeneration = 0;
    bool m_didReceiveDashboardReady = false;
    bool m_didReportOutcome = false;
    bool m_revealed = false;
    bool m_requestFinished = false;
};
