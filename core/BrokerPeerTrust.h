#pragma once

#include <QString>

// The verdict on the process that owns the broker port.
class BrokerPeerTrust
{
public:
    enum class Case { rejected, unenforceable, trusted };

    static BrokerPeerTrust rejected(const QString &reason) { return BrokerPeerTrust(Case::rejected, reason); }
    // The app itself is unsigned (every Linux build): the check cannot be enforced and the broker is accepted.
    static BrokerPeerTrust unenforceable(const QString &reason) { return BrokerPeerTrust(Case::unenforceable, reason); }
    static BrokerPeerTrust trusted() { return BrokerPeerTrust(Case::trusted, QString()); }

    Case trustCase() const { return m_case; }
    QString reason() const { return m_reason; }
    // "rejected: <reason>", "unenforceable: <reason>" or "trusted".
    QString label() const;
    bool isTrusted() const { return m_case != Case::rejected; }
    bool isPositivelyBound() const { return m_case == Case::trusted; }

    bool operator==(const BrokerPeerTrust &) const = default;

private:
    BrokerPeerTrust(Case trustCase, const QString &reason) : m_case(trustCase), m_reason(reason) {}

    Case m_case;
    QString m_reason;
};
