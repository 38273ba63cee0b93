#pragma once

#include <QString>

#include <optional>

// The user's wording for vault password failures, from the broker's status and message.
namespace TVNVaultPasswordCopy {

QString message(std::optional<qint64> statusCode, const QString &message);

} // namespace TVNVaultPasswordCopy
