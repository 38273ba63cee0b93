#pragma once

#include <QString>

// Writes a crash report when the app dies of a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT, SIGTRAP), in the two-part layout the launch scan reads: a one-line JSON header, a line
// feed, a JSON body with the crashed thread's frames as image name + offset. Everything that needs
// memory or formatting is prepared at install time; the handler itself only uses
// async-signal-safe calls (open, read, write, rename, clock_gettime, sigaction, raise), plus
// backtrace(), whose one allocation (loading libgcc) is done here, before any crash.
namespace FatalSignalHandler {

struct ReportIdentity {
    // "~/Library/Logs/DiagnosticReports"; created owner-only at install.
    QString reportsDirectory;
    // The file name's start, e.g. "TorvaneDev" ("<prefix>-YYYY-MM-DD-HHMMSS.ips").
    QString fileNamePrefix;
    QString appName;
    QString bundleID;
    QString appVersion;
    QString appBuild;
    QString osVersion;
    QString processName;
};

// False when the reports folder cannot be made; the app then runs without crash reports.
bool install(const ReportIdentity &identity);

// A real invalid memory write, for the development lane's crash test.
[[noreturn]] void crashForTest();

} // namespace FatalSignalHandler
