#pragma once

#include "ConnectorSummary.h"

#include <QList>
#include <QString>

#include <optional>

// How a connector lets the operator authenticate. A connector that lists no options still takes
// an API key: it gets one synthesised "api-key" option of its own authentication type.
class ConnectorAuthModes
{
public:
    // The listed options, or the synthesised one when the list is absent or empty.
    static QList<ConnectorAuthOptionSummary> options(const ConnectorSummary &connector);
    static ConnectorAuthOptionSummary defaultAuthMode(const ConnectorSummary &connector);
    // The option with this id; the default for an absent or unknown id.
    static ConnectorAuthOptionSummary authMode(const ConnectorSummary &connector, const std::optional<QString> &id);
    // The option labels joined with " + " ("API key", "Local + API key").
    static QString authDisplayLabel(const ConnectorSummary &connector);
    // Option ids and labels, lower-cased, for the connector search.
    static QString authSearchText(const ConnectorSummary &connector);
};
