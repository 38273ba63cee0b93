#include "CrashReporter.h"

#include "CrashReportExtractor.h"
#include "CrashReportScan.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QJsonDocument>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

const QString CrashReporter::completedFirstLaunchKey = QStringLiteral("com.torvane.crashReporter.completedFirstLaunch");
const QString CrashReporter::offerEnabledKey = QStringLiteral("com.torvane.crashReporter.offerEnabled");
const QString CrashReporter::seenReportsKey = QStringLiteral("com.torvane.crashReporter.seenReports");
const QString CrashReporter::consentTitle = QStringLiteral("Torvane quit unexpectedly last time.");

namespace {
constexpr int scanDelayMs = 2000;
constexpr int uploadTimeoutMs = 15000;
const QString whatItHolds = QStringLiteral(
    " The report contains only the crash type, the code location, your Linux version, and the app version — no file "
    "contents, no keys, and no personal data.");

QByteArray payloadJson(const CrashReportSummary &summary, QJsonDocument::JsonFormat format)
{
    return QJsonDocument(summary.jsonPayload()).toJson(format);
}
} // namespace

CrashReporter::CrashReporter(UserDefaults &defaults, QString bundleIdentifier, QString reportsDirectory,
                             QString homeDirectory, std::shared_ptr<TextClipboard> clipboard, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_bundleIdentifier(std::move(bundleIdentifier))
    , m_reportsDirectory(std::move(reportsDirectory))
    , m_homeDirectory(std::move(homeDirectory))
    , m_clipboard(std::move(clipboard))
    , m_network(new QNetworkAccessManager(this))
{
}

std::optional<QUrl> CrashReporter::endpointFromEnvironment()
{
    const QString configured = qEnvironmentVariable("TVN_CRASH_REPORT_URL").trimmed();
    if (configured.isEmpty())
        return std::nullopt;
    QUrl endpoint(configured, QUrl::StrictMode);
    const QString scheme = endpoint.scheme().toLower();
    if (!endpoint.isValid() || endpoint.host().isEmpty() || (scheme != QLatin1StringView("https") && scheme != QLatin1StringView("http")))
        return std::nullopt;
    QString path = endpoint.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    endpoint.setPath(path + QStringLiteral("/v1/crash-report"));
    return endpoint;
}

void CrashReporter::scheduleLaunchScan()
{
    if (!m_defaults.storedBool(completedFirstLaunchKey)) {
        m_defaults.setBool(completedFirstLaunchKey, true);
        return;
    }
    QTimer::singleShot(scanDelayMs, this, &CrashReporter::scanNow);
}

void CrashReporter::scanNow()
{
    if (!m_defaults.storedBool(offerEnabledKey).value_or(true))
        return;
    QStringList seen = m_defaults.stringList(seenReportsKey);
    const QList<CrashReportScan::Candidate> reports =
        CrashReportScan::newReports(m_reportsDirectory, QSet<QString>(seen.begin(), seen.end()));
    if (reports.isEmpty())
        return;
    // Each report is considered once, whatever the answer.
    for (const CrashReportScan::Candidate &report : reports)
        seen.append(report.fileName);
    m_defaults.setStringList(seenReportsKey, seen);
    offer(reports.first().path);
}

void CrashReporter::offer(const QString &reportPath)
{
    const CrashReportExtractor extractor{CrashReportScrubber(m_homeDirectory)};
    m_offered = extractor.extract(CrashReportScan::readReport(reportPath), m_bundleIdentifier);
    const std::optional<QUrl> endpoint = endpointFromEnvironment();

    QMessageBox consent(QMessageBox::Warning, QApplication::applicationName(), consentTitle, QMessageBox::NoButton);
    consent.setObjectName(QStringLiteral("crashReportConsent"));
    QPushButton *sendButton = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *copyButton = nullptr;
    if (endpoint) {
        consent.setInformativeText(QStringLiteral("Send an anonymous crash report to help fix it?") + whatItHolds
                                   + QStringLiteral(" Nothing is sent unless you choose Send report."));
        sendButton = consent.addButton(QStringLiteral("Send report"), QMessageBox::AcceptRole);
    } else {
        consent.setInformativeText(QStringLiteral("Save or copy an anonymous crash report to help fix it?") + whatItHolds
                                   + QStringLiteral(" Nothing leaves this computer unless you share it."));
        saveButton = consent.addButton(QStringLiteral("Save report…"), QMessageBox::AcceptRole);
        copyButton = consent.addButton(QStringLiteral("Copy report"), QMessageBox::AcceptRole);
    }
    consent.addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
    QPushButton *neverButton = consent.addButton(QStringLiteral("Never ask again"), QMessageBox::DestructiveRole);
    consent.exec();

    QAbstractButton *chosen = consent.clickedButton();
    if (chosen == neverButton) {
        m_defaults.setBool(offerEnabledKey, false);
        return;
    }
    if (!chosen || (chosen != sendButton && chosen != saveButton && chosen != copyButton))
        return;
    if (!m_offered) {
        qWarning("[TVN CrashReporter] could not extract a crash summary; not sending");
        return;
    }
    if (chosen == sendButton)
        send(*m_offered, *endpoint);
    else if (chosen == saveButton)
        save(*m_offered);
    else
        m_clipboard->setText(QString::fromUtf8(payloadJson(*m_offered, QJsonDocument::Indented)));
}

void CrashReporter::send(const CrashReportSummary &summary, const QUrl &endpoint)
{
    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(uploadTimeoutMs);
    QNetworkReply *reply = m_network->post(request, payloadJson(summary, QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && status == 0)
            qWarning("[TVN CrashReporter] crash report POST failed: %s", qPrintable(reply->errorString()));
        else if (status < 200 || status > 299)
            qWarning("[TVN CrashReporter] crash report POST returned HTTP %d", status);
    });
}

void CrashReporter::save(const CrashReportSummary &summary)
{
    const QString suggested = QDir(QDir::homePath()).filePath(QStringLiteral("Torvane-crash-report.json"));
    const QString path = QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save crash report"), suggested,
                                                      QStringLiteral("JSON (*.json)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(payloadJson(summary, QJsonDocument::Indented)) < 0 || !file.commit())
        qWarning("[TVN CrashReporter] could not save the crash report: %s", qPrintable(file.errorString()));
}
