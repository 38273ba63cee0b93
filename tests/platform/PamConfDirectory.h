#pragma once

#include <QString>
#include <QTemporaryDir>

// A private PAM configuration directory for pam_start_confdir, so tests change nothing under /etc.
class PamConfDirectory
{
public:
    // Password check and account rules by pam_unix alone: what a plain Debian login does.
    static QString unixStack()
    {
        return QStringLiteral("auth required pam_unix.so\naccount required pam_unix.so\n");
    }

    QString path() const { return m_directory.path(); }
    // Writes the service or include file `name`; false when it could not be written.
    bool write(const QString &name, const QString &text) const;
    // Copies a file of the system's configuration (e.g. "common-auth") in unchanged.
    bool copyFromSystem(const QString &name) const;

private:
    QTemporaryDir m_directory;
};
