#pragma once

#include "BrokerClientError.h"

#include <QString>

#include <optional>

// Why one broker call did not produce its result: the broker refused it (`BrokerClientError`),
// the transport failed (description worded like the platform's, so the phrase table of
// `friendlyErrorMessage` recognises "could not connect"), the body did not decode, or a local
// step of the same action failed.
class BrokerFailure
{
public:
    enum class Kind { requestFailed, transport, decoding, local };

    // Implicit so that a `BrokerClientError` (also a model's local precondition failure) is a failure.
    BrokerFailure(const BrokerClientError &error);
    static BrokerFailure transport(const QString &description);
    static BrokerFailure decoding(const QString &description);
    // Another component's error (sealed vault, presence check, keyring) reaching a model action.
    static BrokerFailure local(const QString &description);

    Kind kind() const { return m_kind; }
    // The broker's refusal, when that is what happened.
    std::optional<BrokerClientError> requestFailure() const { return m_requestFailure; }
    // The user-readable text, as an error's localized description.
    QString description() const;

    bool operator==(const BrokerFailure &) const = default;

private:
    BrokerFailure(Kind kind, const QString &description) : m_kind(kind), m_description(description) {}

    Kind m_kind;
    std::optional<BrokerClientError> m_requestFailure;
    QString m_description;
};
