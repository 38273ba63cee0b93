#pragma once

#include <QString>

// What a copied agent handoff falls back to when an input does not pass sanitising.
struct AgentHandoffConstants {
    static const QString wrapperCommand;
    static const QString fallbackProfile;
    static const QString fallbackBrokerURL;
    static const QString stateKeyPathPrefix;
};
