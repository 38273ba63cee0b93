#include "HelpPages.h"

namespace {
QUrl page(const QUrl &brokerURL, const QString &path)
{
    QUrl url = brokerURL;
    url.setPath(path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}
} // namespace

namespace HelpPages {

QUrl documentation(const QUrl &brokerURL)
{
    return page(brokerURL, QStringLiteral("/help/"));
}

QUrl support(const QUrl &brokerURL)
{
    return page(brokerURL, QStringLiteral("/help/recovery.html"));
}

QUrl trust(const QUrl &brokerURL)
{
    return page(brokerURL, QStringLiteral("/help/keys-safe.html"));
}

} // namespace HelpPages
