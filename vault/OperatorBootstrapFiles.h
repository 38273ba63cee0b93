#pragma once

#include "AuthenticationContext.h"
#include "HardwareKeyProvider.h"
#include "OwnerAuthentication.h"

#include <QString>

#include <memory>
#include <optional>

// The operator bootstrap secret's two copies in the broker's state directory: the plaintext file
// the broker writes and the copy sealed to this computer's TPM. Every call blocks (files, TPM,
// the owner's password prompt): run it off the GUI thread. Failures throw the component's error.
namespace OperatorBootstrapFiles {

inline constexpr auto localFileName = "operator-bootstrap.local";
inline constexpr auto sealedFileName = "operator-bootstrap.sealed";

QString localPath(const QString &stateDirectory);
QString sealedPath(const QString &stateDirectory);

// The plaintext copy, trimmed; none when the file is missing, unreadable or blank.
std::optional<QString> readLocal(const QString &stateDirectory);

// A fresh context as every sealed open uses it: "Use Password…" and a 10-second reuse window.
AuthenticationContext unlockContext();

// Asks the owner (with `reason`), then opens the sealed copy under that same approval, so the
// TPM step does not ask a second time. None when the plaintext is blank.
std::optional<QString> openSealed(const QString &stateDirectory, OwnerAuthentication &owner,
                                  std::shared_ptr<HardwareKeyProvider> provider, const QString &reason);

// Seals `secret` and writes the sealed copy (atomic replace, owner-only).
void writeSealed(const QString &stateDirectory, const QString &secret, std::shared_ptr<HardwareKeyProvider> provider);

// Removes a file when it is there; a missing file is not an error.
void removeIfPresent(const QString &path);

} // namespace OperatorBootstrapFiles
