#pragma once

#include "BrokerRecordFields.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One application path trusted for repair.
struct KeychainTrustedAppPathStatus {
    QString path;
    bool exists = false;
    bool trustedForRepair = false;

    static KeychainTrustedAppPathStatus decode(JsonReader &reader);
    QJsonObject toJson() const;
    bool operator==(const KeychainTrustedAppPathStatus &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("path", self.path);
        visit("exists", self.exists);
        visit("trustedForRepair", self.trustedForRepair);
    }
};

// One keychain item the broker relies on.
struct KeychainTrustItemStatus {
    QString id;
    QString label;
    QString service;
    QString account;
    bool present = false;
    bool repairable = false;
    QString status;
    std::optional<QString> createdAt;
    std::optional<QString> modifiedAt;
    std::optional<QString> reason;

    static KeychainTrustItemStatus decode(JsonReader &reader);
    QJsonObject toJson() const;
    bool operator==(const KeychainTrustItemStatus &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("label", self.label);
        visit("service", self.service);
        visit("account", self.account);
        visit("present", self.present);
        visit("repairable", self.repairable);
        visit("status", self.status);
        visit("createdAt", self.createdAt);
        visit("modifiedAt", self.modifiedAt);
        visit("reason", self.reason);
    }
};

// Outcome of repairing one item.
struct KeychainTrustRepairItemResult {
    QString id;
    QString label;
    QString service;
    QString account;
    QString status;
    std::optional<QString> reason;

    static KeychainTrustRepairItemResult decode(JsonReader &reader);
    QJsonObject toJson() const;
    bool operator==(const KeychainTrustRepairItemResult &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("label", self.label);
        visit("service", self.service);
        visit("account", self.account);
        visit("status", self.status);
        visit("reason", self.reason);
    }
};

// Legacy keychain trust status and repair; also encoded for the diagnostics copy.
struct KeychainTrustStatusResponse {
    bool ok = false;
    QString platform;
    bool keychainEnabled = false;
    QStringList trustedAppPaths;
    QList<KeychainTrustedAppPathStatus> trustedAppPathStatus;
    QList<KeychainTrustItemStatus> items;
    std::optional<QList<KeychainTrustRepairItemResult>> repairResults;
    std::optional<QString> repairedAt;

    static KeychainTrustStatusResponse decode(JsonReader &reader);
    QJsonObject toJson() const;
    bool operator==(const KeychainTrustStatusResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("ok", self.ok);
        visit("platform", self.platform);
        visit("keychainEnabled", self.keychainEnabled);
        visit("trustedAppPaths", self.trustedAppPaths);
        visit("trustedAppPathStatus", self.trustedAppPathStatus);
        visit("items", self.items);
        visit("repairResults", self.repairResults);
        visit("repairedAt", self.repairedAt);
    }
};
