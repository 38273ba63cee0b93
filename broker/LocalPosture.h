#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// The broker's own report of its runtime facts (GET "/v1/local-posture").
struct LocalPosture {
    std::optional<QString> bindMode;
    std::optional<QString> workerMode;
    bool loopbackOnly = false;
    std::optional<QString> brokerUrl;
    std::optional<qint64> brokerPort;
    std::optional<QString> runtimeLane;
    std::optional<QString> serviceLabel;
    std::optional<QString> appBundleId;
    std::optional<QString> stateDir;
    std::optional<QString> profileStoreDir;
    std::optional<QString> logDir;
    std::optional<QString> applicationSupportRoot;
    std::optional<QString> keychainMode;
    std::optional<QString> operatorBootstrapMode;
    std::optional<QString> buildId;
    std::optional<QString> buildChannel;
    std::optional<QString> serviceRoot;
    std::optional<QString> serviceRootDisplay;
    std::optional<QString> entrypoint;
    std::optional<QString> wrapperCommand;

    static LocalPosture decode(JsonReader &reader);
    bool operator==(const LocalPosture &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("bindMode", self.bindMode);
        visit("workerMode", self.workerMode);
        visit("loopbackOnly", self.loopbackOnly);
        visit("brokerUrl", self.brokerUrl);
        visit("brokerPort", self.brokerPort);
        visit("runtimeLane", self.runtimeLane);
        visit("serviceLabel", self.serviceLabel);
        visit("appBundleId", self.appBundleId);
        visit("stateDir", self.stateDir);
        visit("profileStoreDir", self.profileStoreDir);
        visit("logDir", self.logDir);
        visit("applicationSupportRoot", self.applicationSupportRoot);
        visit("keychainMode", self.keychainMode);
        visit("operatorBootstrapMode", self.operatorBootstrapMode);
        visit("buildId", self.buildId);
        visit("buildChannel", self.buildChannel);
        visit("serviceRoot", self.serviceRoot);
        visit("serviceRootDisplay", self.serviceRootDisplay);
        visit("entrypoint", self.entrypoint);
        visit("wrapperCommand", self.wrapperCommand);
    }
};
