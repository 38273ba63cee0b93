#include "ProviderKeyPages.h"

#include <QHash>

std::optional<QUrl> ProviderKeyPages::url(const QString &connectorId)
{
    static const QHash<QString, QString> pages{
        {QStringLiteral("github"), QStringLiteral("https://github.com/settings/personal-access-tokens")},
        {QStringLiteral("openai"), QStringLiteral("https://platform.openai.com/api-keys")},
        {QStringLiteral("claude"), QStringLiteral("https://console.anthropic.com/settings/keys")},
        {QStringLiteral("gemini"), QStringLiteral("https://aistudio.google.com/app/apikey")},
        {QStringLiteral("openrouter"), QStringLiteral("https://openrouter.ai/settings/keys")},
        {QStringLiteral("notion"), QStringLiteral("https://www.notion.so/my-integrations")},
        {QStringLiteral("sentry"), QStringLiteral("https://sentry.io/settings/account/api/auth-tokens/")},
        {QStringLiteral("firecrawl"), QStringLiteral("https://www.firecrawl.dev/app/api-keys")},
        {QStringLiteral("cloudflare"), QStringLiteral("https://dash.cloudflare.com/profile/api-tokens")},
        {QStringLiteral("context7"), QStringLiteral("https://context7.com/dashboard")},
        {QStringLiteral("telegram"), QStringLiteral("https://t.me/BotFather")},
        {QStringLiteral("twitter-x"), QStringLiteral("https://developer.x.com/en/portal/dashboard")},
        {QStringLiteral("slack"), QStringLiteral("https://api.slack.com/apps")},
        {QStringLiteral("discord"), QStringLiteral("https://discord.com/developers/applications")},
        {QStringLiteral("calendly"), QStringLiteral("https://calendly.com/integrations/api_webhooks")},
        {QStringLiteral("1password"), QStringLiteral("https://developer.1password.com/docs/service-accounts/")},
        {QStringLiteral("simple-analytics"), QStringLiteral("https://docs.simpleanalytics.com/api/authenticate")},
        {QStringLiteral("github-copilot"), QStringLiteral("https://github.com/settings/copilot")},
    };
    const auto found = pages.constFind(connectorId);
    if (found == pages.constEnd())
        return std::nullopt;
    return QUrl(found.value());
}
