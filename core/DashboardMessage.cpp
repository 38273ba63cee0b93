#include "DashboardMessage.h"

#include <QStringList>

#include <array>
#include <utility>

namespace {
using Type = DashboardMessage::Type;

constexpr std::array<std::pair<Type, const char *>, 12> typeNames{{
    {Type::vaultSecurityUpdated, "vault-security-updated"},
    {Type::requestOperatorUnlock, "request-operator-unlock"},
    {Type::requestVaultReset, "request-vault-reset"},
    {Type::firstRunCompleted, "first-run-completed"},
    {Type::firstRunReset, "first-run-reset"},
    {Type::openExternalUrl, "open-external-url"},
    {Type::dashboardReady, "dashboard-ready"},
    {Type::linkAPIKey, "link-api-key"},
    {Type::createMasterKey, "create-master-key"},
    {Type::connectAgentApp, "connect-agent-app"},
    {Type::copyAgentSetup, "copy-agent-setup"},
    {Type::openProviderKeyPage, "open-provider-key-page"},
}};

const QStringList readySurfaces{QStringLiteral("home"),       QStringLiteral("overview"),  QStringLiteral("setup"),
                                QStringLiteral("keys"),       QStringLiteral("connectors"), QStringLiteral("byok"),
                                QStringLiteral("first-run"), QStringLiteral("first-run-security")};
} // namespace

std::optional<DashboardMessage> DashboardMessage::fromBody(const QJsonObject &body)
{
    const QJsonValue type = body.value(QStringLiteral("type"));
    if (!type.isString())
        return std::nullopt;
    for (const auto &[candidate, name] : typeNames) {
        if (type.toString() == QLatin1StringView(name))
            return DashboardMessage(candidate, body);
    }
    return std::nullopt;
}

QString DashboardMessage::typeName(Type type)
{
    for (const auto &[candidate, name] : typeNames) {
        if (candidate == type)
            return QString::fromLatin1(name);
    }
    return {};
}

QString DashboardMessage::stringField(const QString &name) const
{
    const QJsonValue value = m_body.value(name);
    return value.isString() ? value.toString() : QString();
}

bool DashboardMessage::isActionRequest() const
{
    return m_type == Type::linkAPIKey || m_type == Type::createMasterKey || m_type == Type::connectAgentApp
        || m_type == Type::copyAgentSetup || m_type == Type::openProviderKeyPage;
}

bool DashboardMessage::isValidReadyAnnouncement() const
{
    const QJsonValue textLength = m_body.value(QStringLiteral("textLength"));
    // JSON numbers arrive as doubles: only a whole number counts.
    const bool wholeLength = textLength.isDouble() && textLength.toDouble() == static_cast<double>(textLength.toInteger());
    return wholeLength && textLength.toInteger() >= 1 && readySurfaces.contains(stringField(QStringLiteral("surface")));
}

std::optional<QUrl> DashboardMessage::allowedExternalURL(const QString &productDomain) const
{
    const QUrl url(stringField(QStringLiteral("url")), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1StringView("https"))
        return std::nullopt;
    const QString host = url.host().toLower();
    const QString domain = productDomain.toLower();
    if (host != domain && host != QStringLiteral("www.") + domain)
        return std::nullopt;
    return url;
}
