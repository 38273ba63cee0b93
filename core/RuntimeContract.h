#pragma once

#include "TVNRuntimeLane.h"

#include <QString>
#include <QVariantMap>

// The bundle metadata one lane expects, and the constants that lane runs with. Only the runtime
// identity uses it: metadata is compared with the production contract, never taken as a value.
struct RuntimeContract {
    TVNRuntimeLane lane;
    QString appName;
    QString bundleIdentifier;
    QString serviceLabel;
    qint64 brokerPort;
    QString stateRootName;
    QString logDirectoryName;
    QString applicationSupportName;
    QString keychainVaultService;
    QString operatorKeychainService;

    static const RuntimeContract &production();
    static const RuntimeContract &development();

    // True only when every lane-selection key is present and equal, checked in a fixed order.
    bool metadataMatches(const QVariantMap &info) const;
};
