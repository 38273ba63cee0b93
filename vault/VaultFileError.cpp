#include "VaultFileError.h"

#include <cstring>

VaultFileError::VaultFileError(const QString &operation, const QString &path, int errorNumber)
    : m_path(path),
      m_errorNumber(errorNumber),
      m_description(QStringLiteral("Could not %1 %2: %3").arg(operation, path, QString::fromLocal8Bit(std::strerror(errorNumber)))),
      m_what(m_description.toUtf8())
{
}
