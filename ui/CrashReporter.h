#pragma once

#include "CrashReportSummary.h"
#include "TextClipboard.h"

#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class QWidget;
class UserDefaults;

// At launch, offers the newest crash report of this app that was not offered before, once: with a
// crash endpoint ("TVN_CRASH_REPORT_URL") the user may send the anonymous summary, without one
// save or copy it. The summary never holds file contents, keys or home paths.
class CrashReporter : public QObject
{
    Q_OBJECT

public:
    static const QString completedFirstLaunchKey;
    static const QString offerEnabledKey;
    static const QString seenReportsKey;
    static const QString consentTitle;

    // `reportsDirectory` is where the fatal-signal handler writes; `homeDirectory` is scrubbed.
    CrashReporter(UserDefaults &defaults, QString bundleIdentifier, QString reportsDirectory, QString homeDirectory,
                  std::shared_ptr<TextClipboard> clipboard, QObject *parent = nullptr);

    // "TVN_CRASH_REPORT_URL" + "/v1/crash-report", when it names an http(s) service.
    static std::optional<QUrl> endpointFromEnvironment();

    // Called once after launch: the first launch only records itself; later ones scan after 2 s.
    void scheduleLaunchScan();
    void scanNow();

    // The summary of the report on offer (for the automation channel); none before an offer.
    std::optional<CrashReportSummary> offeredSummary() const { return m_offered; }

private:
    void offer(const QString &reportPath);
    void send(const CrashReportSummary &summary, const QUrl &endpoint);
    void save(const CrashReportSummary &summary);

    UserDefaults &m_defaults;
    QString m_bundleIdentifier;
    QString m_reportsDirectory;
    QString m_homeDirectory;
    std::shared_ptr<TextClipboard> m_clipboard;
    QNetworkAccessManager *m_network;
    std::optional<CrashReportSummary> m_offered;
};
