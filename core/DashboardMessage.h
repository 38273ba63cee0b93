#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

// A message the dashboard page posts to the app through "tvnNative": a JSON object whose "type"
// names what the page asks for. The first seven types are the page's own protocol; the others
// each name an app action the page's guide leads to.
class DashboardMessage
{
public:
    enum class Type {
        vaultSecurityUpdated,
        requestOperatorUnlock,
        requestVaultReset,
        firstRunCompleted,
        firstRunReset,
        openExternalUrl,
        dashboardReady,
        linkAPIKey,
        createMasterKey,
        connectAgentApp,
        copyAgentSetup,
        openProviderKeyPage,
    };

    // None for anything that is not an object with a known "type".
    static std::optional<DashboardMessage> fromBody(const QJsonObject &body);
    static QString typeName(Type type);

    Type type() const { return m_type; }
    const QJsonObject &body() const { return m_body; }
    // A string field, or empty when it is missing or not a string.
    QString stringField(const QString &name) const;
    // Types that run an app action and are answered with "tvn-native-action-finished".
    bool isActionRequest() const;

    // "dashboard-ready" counts only with some text and a surface the page is known to show.
    bool isValidReadyAnnouncement() const;
    // The https address on the product's own site that "open-external-url" may open, or none.
    std::optional<QUrl> allowedExternalURL(const QString &productDomain) const;

private:
    DashboardMessage(Type type, QJsonObject body) : m_type(type), m_body(std::move(body)) {}

    Type m_type;
    QJsonObject m_body;
};
