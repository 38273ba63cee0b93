#pragma once

#include <QByteArray>

// Minimal valid records shared by the decoding tables.
inline const QByteArray kConnector = R"({"id":"github","displayName":"GitHub","status":"ready","tools":3,"authType":"api_key"})";
inline const QByteArray kService = R"({"id":"s1","displayName":"S","connectorId":"c","accountId":"a","allowedOrigins":["https://x"],
  "allowedMethods":["GET"],"allowedPathPrefixes":["/"],"risk":"low","credential":{"placement":"authorization_bearer"},"createdAt":"t"})";

