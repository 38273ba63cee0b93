#pragma once

#include "StatusBanner.h"

#include <QObject>
#include <QString>

#include <optional>

// The one-line status every screen shows, its banner and the last failure. Setting a text that
// differs from the current one publishes a banner; the same text again publishes nothing.
class StatusReporter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(StatusBanner statusBanner READ statusBanner NOTIFY statusBannerChanged)
    Q_PROPERTY(QString lastActionError READ lastActionError NOTIFY lastActionErrorChanged)

public:
    using QObject::QObject;

    QString statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const QString &message);
    // The last published banner; `seq` 0 means none was published yet.
    StatusBanner statusBanner() const { return m_statusBanner.value_or(StatusBanner{}); }
    QString lastActionError() const { return m_lastActionError.value_or(QString()); }

    void fail(const QString &message);
    void publishBanner(const QString &message);
    static StatusBanner::Kind classifyStatus(const QString &message);

Q_SIGNALS:
    void statusMessageChanged();
    void statusBannerChanged();
    void lastActionErrorChanged();

private:
    QString m_statusMessage;
    std::optional<StatusBanner> m_statusBanner;
    std::optional<QString> m_lastActionError;
    int m_statusSeq = 0;
};
