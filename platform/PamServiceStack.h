#pragma once

#include <QString>

// The PAM configuration the presence check runs: the service "torvane" when its file is installed,
// else "login". A conf dir, when given, replaces the system's directories (tests use their own).
// Files are looked up on every call, so installing the service file takes effect at once.
class PamServiceStack
{
public:
    explicit PamServiceStack(QString confDirectory = {});

    static QString appServiceName() { return QStringLiteral("torvane"); }
    static QString fallbackServiceName() { return QStringLiteral("login"); }

    QString confDirectory() const { return m_confDirectory; }
    QString serviceName() const;
    // The service's auth lines, following "@include", "include" and "substack", name a module with
    // this file name (e.g. "pam_fprintd.so").
    bool authStackNamesModule(const QString &moduleFileName) const;

private:
    // Where PAM itself would read the named file from; empty when it is nowhere.
    QString configFilePath(const QString &name) const;
    bool fileNamesAuthModule(const QString &name, const QString &moduleFileName, int depth) const;

    QString m_confDirectory;
};
