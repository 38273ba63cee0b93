#pragma once

#include "TVNRuntimeLane.h"

#include <QProcessEnvironment>
#include <QString>

#include <optional>

// The environment variables that change the app's behaviour, read with their bounds.
class TVNEnvironment
{
public:
    explicit TVNEnvironment(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    // "1", "true", "yes" or "on" after trimming and lower-casing; an absent variable is false.
    static bool isTruthy(const std::optional<QString> &value);
    bool isTruthy(const QString &name) const;
    std::optional<QString> value(const QString &name) const;

    // "TVN_SERVICE_START_TIMEOUT_SECONDS" clamped to 30..900; none when absent or not a number.
    std::optional<double> serviceStartTimeoutOverride() const;
    // "TVN_TAKEOVER_WAIT_SECONDS" clamped to 1..60; 5 when absent or not a number.
    double takeoverWaitSeconds() const;
    // "TVN_SERVICE_ROOT" when set and not blank.
    std::optional<QString> serviceRootOverride() const;
    // "SWITCHYARD_BOUND_PROFILE_SIGNER_PATH" when set; it is then passed through unchanged.
    std::optional<QString> boundProfileSignerPath() const;
    // "SWITCHYARD_STATE_DIR" when set and not blank.
    std::optional<QString> stateDirectoryOverride() const;
    // "TVN_SETTINGS_INITIAL_SECTION" trimmed and lower-cased; empty when absent.
    QString settingsInitialSection() const;

    // Only in the production lane, with one of the three opt-in switches truthy and the keychain
    // mode or the operator bootstrap mode set to exactly "keychain".
    bool legacyKeychainMode(TVNRuntimeLane lane) const;

    const QProcessEnvironment &processEnvironment() const { return m_environment; }

private:
    std::optional<double> secondsValue(const QString &name) const;
    std::optional<QString> nonBlankValue(const QString &name) const;

    QProcessEnvironment m_environment;
};
