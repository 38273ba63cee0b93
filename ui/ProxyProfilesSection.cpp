#include "ProxyProfilesSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A connection is chosen as "connector/account": the two values the form keeps apart.
QString connectionLabel(const QString &connector, const QString &account)
{
    return connector + QLatin1Char('/') + account;
}

// Sets the choices of `combo` (label, value) and selects `current`, without a user-visible jump
// when nothing changed.
void showChoices(QComboBox *combo, const QList<std::pair<QString, QString>> &choices, const QString &current)
{
    QList<std::pair<QString, QString>> shown;
    for (int index = 0; index < combo->count(); ++index)
        shown.append({combo->itemText(index), combo->itemData(index).toString()});
    if (shown != choices) {
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const auto &[label, value] : choices)
            combo->addItem(label, value);
    }
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(combo->findData(current));
}
} // namespace

ProxyProfilesSection::ProxyProfilesSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_nameField(FormWidgets::field(this, QStringLiteral("tvn-proxy-name"), QStringLiteral("Proxy profile name")))
    , m_keyChoice(FormWidgets::choice(this, QStringLiteral("tvn-proxy-key"), QStringLiteral("Agent key")))
    , m_connectionChoice(FormWidgets::choice(this, QStringLiteral("tvn-proxy-connection"), QStringLiteral("Connected account")))
    , m_originField(FormWidgets::field(this, QStringLiteral("tvn-proxy-origin"), QStringLiteral("Allowed origin")))
    , m_pathField(FormWidgets::field(this, QStringLiteral("tvn-proxy-path"), QStringLiteral("Allowed path prefix")))
    , m_methodsField(FormWidgets::field(this, QStringLiteral("tvn-proxy-methods"), QStringLiteral("Allowed methods (comma-separated)")))
    , m_defaultsButton(FormWidgets::button(this, QStringLiteral("tvn-proxy-defaults"), QStringLiteral("Use defaults")))
    , m_createButton(FormWidgets::button(this, QStringLiteral("tvn-proxy-create"), QStringLiteral("Create proxy profile")))
    , m_rows(this, QStringLiteral("No proxy profiles yet."), [this](const ProxyProfileSummary &profile) { return profileRow(profile); })
{
    m_keyChoice->setPlaceholderText(QStringLiteral("Choose an agent key"));
    m_connectionChoice->setPlaceholderText(QStringLiteral("Choose a connected account"));
    m_defaultsButton->setToolTip(QStringLiteral("Fill the form from your agent keys and connected apps"));
    FormWidgets::setRole(m_createButton, "primary");
    QLabel *intro = FormWidgets::text(this, QStringLiteral("tvn-proxy-intro"),
                                      QStringLiteral("Let one agent key call an app's HTTP API through Torvane. The broker adds the "
                                                     "stored credential and allows only this origin, path and methods."));
    FormWidgets::setRole(intro, "note");

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), m_nameField);
    form->addRow(QStringLiteral("Agent key"), m_keyChoice);
    form->addRow(QStringLiteral("Account"), m_connectionChoice);
    form->addRow(QStringLiteral("Origin"), m_originField);
    form->addRow(QStringLiteral("Path"), m_pathField);
    form->addRow(QStringLiteral("Methods"), m_methodsField);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_defaultsButton);
    buttons->addWidget(m_createButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-proxy-heading"), QStringLiteral("Proxy profiles")));
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addLayout(m_rows.layout());

    ProxyProfiles *proxies = model->proxyProfiles();
    bindField(m_nameField, &ProxyProfiles::setProxyProfileName);
    bindField(m_originField, &ProxyProfiles::setProxyAllowedOrigin);
    bindField(m_pathField, &ProxyProfiles::setProxyAllowedPath);
    bindField(m_methodsField, &ProxyProfiles::setProxyAllowedMethods);
    connect(m_keyChoice, &QComboBox::activated, proxies, [this, proxies](int index) {
        const QString keyID = m_keyChoice->itemData(index).toString();
        for (const MasterKeySummary &key : m_model->snapshot()->activeMasterKeys()) {
            if (key.id == keyID) {
                proxies->setProxyMasterKeyID(key.id);
                proxies->setProxyAgentID(key.agentId);
            }
        }
    });
    connect(m_connectionChoice, &QComboBox::activated, proxies, [this, proxies](int index) {
        const QString chosen = m_connectionChoice->itemData(index).toString();
        proxies->setProxyConnectorID(chosen.section(QLatin1Char('/'), 0, 0));
        proxies->setProxyAccountID(chosen.section(QLatin1Char('/'), 1));
    });
    connect(m_defaultsButton, &QPushButton::clicked, model, [model] { model->applyProxyDefaults(); });
    connect(m_createButton, &QPushButton::clicked, model, [model] { model->createProxyProfile(); });
    connect(model, &AppModel::changed, this, &ProxyProfilesSection::render);
    render();
}

void ProxyProfilesSection::bindField(QLineEdit *field, void (ProxyProfiles::*setter)(const QString &))
{
    connect(field, &QLineEdit::textEdited, m_model->proxyProfiles(), setter);
}

void ProxyProfilesSection::renderChoices()
{
    const ProxyProfiles *proxies = m_model->proxyProfiles();
    QList<std::pair<QString, QString>> keys;
    for (const MasterKeySummary &key : m_model->snapshot()->activeMasterKeys())
        keys.append({key.agentId + QStringLiteral(" · ") + key.name, key.id});
    showChoices(m_keyChoice, keys, proxies->proxyMasterKeyID());
    QList<std::pair<QString, QString>> connections;
    for (const ConnectionSummary &connection : proxies->proxyReadyConnections()) {
        const QString label = connectionLabel(connection.connectorId, connection.accountId);
        connections.append({label, label});
    }
    showChoices(m_connectionChoice, connections, connectionLabel(proxies->proxyConnectorID(), proxies->proxyAccountID()));
}

void ProxyProfilesSection::render()
{
    const ProxyProfiles *proxies = m_model->proxyProfiles();
    FormWidgets::show(m_nameField, proxies->proxyProfileName());
    FormWidgets::show(m_originField, proxies->proxyAllowedOrigin());
    FormWidgets::show(m_pathField, proxies->proxyAllowedPath());
    FormWidgets::show(m_methodsField, proxies->proxyAllowedMethods());
    renderChoices();
    const bool creating = m_model->context()->actions().contains(ProxyProfiles::createActionKey);
    m_createButton->setEnabled(!creating && !proxies->proxyMasterKeyID().isEmpty() && !proxies->proxyConnectorID().isEmpty());
    m_rows.show(proxies->activeProxyProfiles(), m_model->runningActions());
}

QWidget *ProxyProfilesSection::profileRow(const ProxyProfileSummary &profile)
{
    QFrame *row = FormWidgets::card(this, QStringLiteral("Proxy profile ") + profile.name);
    auto *layout = new QHBoxLayout(row);
    layout->addWidget(FormWidgets::text(row, QStringLiteral("tvn-proxy-profile-summary"),
                                        QStringLiteral("%1 · %2 · %3").arg(profile.name, profile.agentId,
                                                                           profile.serviceIds.join(QStringLiteral(", ")))),
                      1);
    QPushButton *copy = FormWidgets::button(row, QStringLiteral("tvn-proxy-copy"), QStringLiteral("Copy request"));
    copy->setAccessibleName(QStringLiteral("Copy the sample request of ") + profile.name);
    copy->setToolTip(QStringLiteral("Copy a sample curl request for this profile; the agent key stays a placeholder"));
    QPushButton *revoke = FormWidgets::button(row, QStringLiteral("tvn-proxy-revoke"), QStringLiteral("Revoke"));
    revoke->setAccessibleName(QStringLiteral("Revoke proxy profile ") + profile.name);
    FormWidgets::setRole(revoke, "danger");
    revoke->setEnabled(!m_rows.running().contains(ProxyProfiles::revokeActionKey(profile)));
    layout->addWidget(copy);
    layout->addWidget(revoke);
    connect(copy, &QPushButton::clicked, m_model, [model = m_model, profile] { model->copyProxyRunCommand(profile); });
    connect(revoke, &QPushButton::clicked, this, [this, profile] { ProxyProfilesSection::revoke(profile); });
    return row;
}

void ProxyProfilesSection::revoke(const ProxyProfileSummary &profile)
{
    if (FormWidgets::confirm(this, QStringLiteral("tvn-confirm-proxy-revoke"), QStringLiteral("Revoke this proxy profile?"),
                             QStringLiteral("The agent key can no longer send requests through %1. The stored credential stays in "
                                            "the local vault.")
                                 .arg(profile.name),
                             QStringLiteral("Revoke")))
        m_model->revoke(profile);
}
