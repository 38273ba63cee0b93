#pragma once

#include <QString>

// Removes who the user is from text bound for a crash summary: the user's own home directory,
// "/home/<name>", "/Users/<name>" and "/root" all read as a placeholder home.
class CrashReportScrubber
{
public:
    // `homeDirectory` is the user's $HOME; empty or "/" adds nothing to the fixed patterns.
    explicit CrashReportScrubber(QString homeDirectory);

    QString scrub(const QString &text) const;

private:
    QString m_home;
};
