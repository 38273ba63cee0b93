#pragma once

#include "TVNRuntimeLane.h"

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// What Torvane's MCP server entry tells an agent app: launch this wrapper for this profile, with
// the environment that points it at this computer's broker, state and signer. It never carries
// a secret.
struct AgentHandoffEntry {
    QString wrapperCommand;
    QString profile;
    QString brokerURL;
    TVNRuntimeLane lane = TVNRuntimeLane::development;
    QString stateDirectory;
    // The signer's absolute path, so a sealed profile opens from any copy of the wrapper.
    std::optional<QString> signerPath;

    // "TVN_BROKER_URL", "TVN_RUNTIME_LANE", "SWITCHYARD_STATE_DIR", then the signer when known.
    QList<QPair<QString, QString>> environment() const;

    bool operator==(const AgentHandoffEntry &) const = default;
};
