#pragma once

#include <QString>
#include <QUrl>

// The recovery checklist the settings copy for the user: where the local service should be and
// what to try, in order, with this computer's facts filled in. It names no key, token, password
// or session, and shows the home directory as "~".
struct RecoveryChecklist {
    QString appName;
    QString homeDirectory;
    QUrl brokerURL;
    QString serviceRegistrationPath;
    QString logDirectory;
    QString buildId;
    QString sourceRevision;
    QString serviceStatusTitle;
    QString statusWord;
    QString brokerWord;

    QString text() const;
};
