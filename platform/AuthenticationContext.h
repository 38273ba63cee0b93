#pragma once

#include <QDateTime>
#include <QString>

// One authentication exchange with the user, as the sealed vault and the presence check share it.
// The presence check approves it after the user proved they are the owner; a key that needs user
// presence agrees a secret only under an approved context (the TPM cannot check this itself).
// Within the reuse window a second evaluation on the same context does not prompt again.
class AuthenticationContext
{
public:
    void setFallbackTitle(const QString &title) { m_fallbackTitle = title; }
    QString fallbackTitle() const { return m_fallbackTitle; }

    void setReuseWindowSeconds(int seconds) { m_reuseWindowSeconds = seconds; }
    int reuseWindowSeconds() const { return m_reuseWindowSeconds; }

    void approveUserPresence() { m_approvedAt = QDateTime::currentDateTimeUtc(); }
    void invalidate() { m_approvedAt = {}; }
    bool isUserPresenceApproved() const { return m_approvedAt.isValid(); }
    // Approved recently enough that evaluating again may skip the prompt.
    bool isWithinReuseWindow() const
    {
        return m_approvedAt.isValid() && m_reuseWindowSeconds > 0
               && m_approvedAt.secsTo(QDateTime::currentDateTimeUtc()) < m_reuseWindowSeconds;
    }

private:
    QString m_fallbackTitle;
    int m_reuseWindowSeconds = 0;
    QDateTime m_approvedAt;
};
