#pragma once

#include <QMap>
#include <QString>

// Header name to value for one broker request; names are compared case-insensitively on the wire.
using BrokerHeaders = QMap<QString, QString>;

// "x-tvn-operator-session" with the session id when one is held; empty otherwise.
BrokerHeaders operatorHeaders(const QString &operatorSessionID);
// "x-tvn-operator-bootstrap" with the bootstrap secret, for minting a session.
BrokerHeaders bootstrapHeaders(const QString &bootstrapSecret);
