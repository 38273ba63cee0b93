#include "PamConfDirectory.h"

#include <QFile>

bool PamConfDirectory::write(const QString &name, const QString &text) const
{
    QFile file(m_directory.filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

bool PamConfDirectory::copyFromSystem(const QString &name) const
{
    return QFile::copy(QStringLiteral("/etc/pam.d/") + name, m_directory.filePath(name));
}
