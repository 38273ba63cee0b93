#include "TVNEnvironment.h"

#include <algorithm>
#include <cmath>

TVNEnvironment::TVNEnvironment(QProcessEnvironment environment)
    : m_environment(std::move(environment))
{
}

bool TVNEnvironment::isTruthy(const std::optional<QString> &value)
{
    if (!value)
        return false;
    const QString word = value->trimmed().toLower();
    return word == QLatin1String("1") || word == QLatin1String("true") || word == QLatin1String("yes")
        || word == QLatin1String("on");
}

bool TVNEnvironment::isTruthy(const QString &name) const
{
    return isTruthy(value(name));
}

std::optional<QString> TVNEnvironment::value(const QString &name) const
{
    if (!m_environment.contains(name))
        return std::nullopt;
    return m_environment.value(name);
}

std::optional<double> TVNEnvironment::secondsValue(const QString &name) const
{
    const std::optional<QString> text = value(name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const double seconds = text->trimmed().toDouble(&ok);
    if (!ok || std::isnan(seconds))
        return std::nullopt;
    return seconds;
}

std::optional<double> TVNEnvironment::serviceStartTimeoutOverride() const
{
    const std::optional<double> seconds = secondsValue(QStringLiteral("TVN_SERVICE_START_TIMEOUT_SECONDS"));
    if (!seconds)
        return std::nullopt;
    return std::clamp(*seconds, 30.0, 900.0);
}

double TVNEnvironment::takeoverWaitSeconds() const
{
    return std::clamp(secondsValue(QStringLiteral("TVN_TAKEOVER_WAIT_SECONDS")).value_or(5.0), 1.0, 60.0);
}

std::optional<QString> TVNEnvironment::nonBlankValue(const QString &name) const
{
    const std::optional<QString> text = value(name);
    if (!text || text->trimmed().isEmpty())
        return std::nullopt;
    return text;
}

std::optional<QString> TVNEnvironment::serviceRootOverride() const
{
    return nonBlankValue(QStringLiteral("TVN_SERVICE_ROOT"));
}

std::optional<QString> TVNEnvironment::boundProfileSignerPath() const
{
    return value(QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"));
}

std::optional<QString> TVNEnvironment::stateDirectoryOverride() const
{
    return nonBlankValue(QStringLiteral("SWITCHYARD_STATE_DIR"));
}

QString TVNEnvironment::settingsInitialSection() const
{
    return value(QStringLiteral("TVN_SETTINGS_INITIAL_SECTION")).value_or(QString()).trimmed().toLower();
}

bool TVNEnvironment::legacyKeychainMode(TVNRuntimeLane lane) const
{
    if (lane != TVNRuntimeLane::production)
        return false;
    const bool optedIn = isTruthy(QStringLiteral("TVN_ENABLE_LEGACY_KEYCHAIN"))
        || isTruthy(QStringLiteral("SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI"))
        || isTruthy(QStringLiteral("TVN_PRESERVE_LEGACY_KEYCHAIN"));
    const auto isKeychain = [this](const char *name) {
        return value(QLatin1String(name)) == std::optional<QString>(QStringLiteral("keychain"));
    };
    return optedIn && (isKeychain("SWITCHYARD_KEYCHAIN_MODE") || isKeychain("SWITCHYARD_OPERATOR_BOOTSTRAP_MODE"));
}
