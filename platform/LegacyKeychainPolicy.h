#pragma once

#include <QProcessEnvironment>

// Whether the legacy keyring unlock may be used at all. "TVN_ENABLE_LEGACY_KEYCHAIN" decides when it
// is set (even to a false word), else "SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI"; the value must be truthy.
namespace LegacyKeychainPolicy {

bool isEnabled(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace LegacyKeychainPolicy
