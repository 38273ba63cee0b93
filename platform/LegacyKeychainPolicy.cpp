#include "LegacyKeychainPolicy.h"

#include "TVNEnvironment.h"

namespace LegacyKeychainPolicy {

bool isEnabled(const QProcessEnvironment &environment)
{
    const TVNEnvironment variables(environment);
    std::optional<QString> value = variables.value(QStringLiteral("TVN_ENABLE_LEGACY_KEYCHAIN"));
    if (!value)
        value = variables.value(QStringLiteral("SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI"));
    return TVNEnvironment::isTruthy(value);
}

} // namespace LegacyKeychainPolicy
