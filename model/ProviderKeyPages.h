#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Where a provider's own page for creating an API key lives, for the connect form's link. Only
// the providers listed there get a link; every other connector shows none.
class ProviderKeyPages
{
public:
    static std::optional<QUrl> url(const QString &connectorId);
};
