#pragma once

#include "BrokerFailure.h"

#include <QByteArray>
#include <QString>

// Message of a broker error body: a non-blank "error" member, else the trimmed UTF-8 text,
// else "Broker request failed".
QString brokerErrorMessage(const QByteArray &body);

// Message of an error text that may itself be a JSON object with "error" or "message".
QString brokerErrorMessage(const QString &text);

// The sentence shown to the user for a failure. `legacyKeychainUnlockEnabled` selects the
// legacy wording of the unlock-permission sentence.
QString friendlyErrorMessage(const BrokerFailure &error, bool legacyKeychainUnlockEnabled = false);
// The same table for an error of another component, given its description.
QString friendlyErrorMessage(const QString &description, bool legacyKeychainUnlockEnabled = false);

// True exactly for a 401 whose message says the operator session is invalid or expired.
bool isInvalidOrExpiredOperatorSession(const BrokerFailure &error);
