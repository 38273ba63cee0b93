#include "ConnectAppSection.h"

#include "AppModel.h"
#include "ConnectorAuthModes.h"
#include "FormWidgets.h"
#include "ProviderKeyPages.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ConnectAppSection::ConnectAppSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_headerTitle(FormWidgets::text(this, QStringLiteral("tvn-connector-title")))
    , m_headerFacts(FormWidgets::text(this, QStringLiteral("tvn-connector-facts")))
    , m_addAnotherButton(FormWidgets::button(this, QStringLiteral("tvn-connect-add-another"), QStringLiteral("Add another account")))
    , m_formTitle(FormWidgets::text(this, QStringLiteral("tvn-connect-title")))
    , m_authLabel(FormWidgets::text(this, QStringLiteral("tvn-connect-auth")))
    , m_accountField(FormWidgets::field(this, QStringLiteral("tvn-connect-account"), QStringLiteral("Account id")))
    , m_aliasField(FormWidgets::field(this, QStringLiteral("tvn-connect-alias"), QStringLiteral("Account label (optional)")))
    , m_secretField(FormWidgets::field(this, QStringLiteral("tvn-connect-secret"), QStringLiteral("API key"), true))
    , m_keyPageButton(FormWidgets::button(this, QStringLiteral("tvn-connect-key-page"), QStringLiteral("Get a key")))
    , m_linkButton(FormWidgets::button(this, QStringLiteral("tvn-connect-link"), QStringLiteral("Link key")))
    , m_cancelButton(FormWidgets::button(this, QStringLiteral("tvn-connect-cancel"), QStringLiteral("Cancel")))
    , m_errorLabel(FormWidgets::text(this, QStringLiteral("tvn-connect-error")))
    , m_healthLabel(FormWidgets::text(this, QStringLiteral("tvn-connect-health")))
    , m_accountRows(this, QStringLiteral("No apps linked yet."),
                    [this](const ConnectionSummary &connection) { return accountRow(connection); })
{
    FormWidgets::setRole(m_authLabel, "note");
    FormWidgets::setRole(m_errorLabel, "error");
    FormWidgets::setRole(m_linkButton, "primary");
    m_keyPageButton->setToolTip(QStringLiteral("Open the provider's own page for creating a key"));

    FormWidgets::setRole(m_headerTitle, "headline");
    FormWidgets::setRole(m_headerFacts, "note");
    auto *fields = new QHBoxLayout;
    fields->addWidget(m_accountField);
    fields->addWidget(m_aliasField);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_linkButton);
    buttons->addWidget(m_keyPageButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_headerTitle);
    layout->addWidget(m_headerFacts);
    layout->addWidget(m_formTitle);
    layout->addWidget(m_authLabel);
    layout->addLayout(fields);
    layout->addWidget(m_secretField);
    layout->addLayout(buttons);
    layout->addWidget(m_errorLabel);
    layout->addWidget(m_healthLabel);
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-connect-accounts-heading"), QStringLiteral("Connected accounts")));
    layout->addLayout(m_accountRows.layout());
    layout->addWidget(m_addAnotherButton, 0, Qt::AlignLeft);

    Connections *connections = model->connections();
    connect(m_addAnotherButton, &QPushButton::clicked, this, &ConnectAppSection::openForm);
    connect(m_accountField, &QLineEdit::textEdited, connections, &Connections::setConnectAccountID);
    connect(m_aliasField, &QLineEdit::textEdited, connections, &Connections::setConnectAlias);
    connect(m_secretField, &QLineEdit::textEdited, connections, &Connections::setConnectSecret);
    connect(m_secretField, &QLineEdit::returnPressed, m_linkButton, &QPushButton::click);
    connect(m_linkButton, &QPushButton::clicked, model, [model] {
        if (!model->connections()->connectSecret().trimmed().isEmpty())
            model->linkSheetAPIKey();
    });
    connect(m_cancelButton, &QPushButton::clicked, connections, &Connections::closeConnectSheet);
    connect(m_keyPageButton, &QPushButton::clicked, this, [connections] {
        if (const auto connector = connections->connectSheetConnector()) {
            if (const std::optional<QUrl> page = ProviderKeyPages::url(connector->id))
                QDesktopServices::openUrl(*page);
        }
    });
    connect(model, &AppModel::changed, this, &ConnectAppSection::render);
    render();
}

void ConnectAppSection::setConnectorID(const QString &connectorID)
{
    if (m_connectorID == connectorID)
        return;
    m_connectorID = connectorID;
    m_model->snapshot()->setSelectedConnectorID(connectorID);
    const std::optional<ConnectorSummary> shown = connector();
    if (shown && m_model->snapshot()->connectedCount(*shown) == 0)
        openForm();
    else
        m_model->closeConnectSheet();
    render();
}

std::optional<ConnectorSummary> ConnectAppSection::connector() const
{
    for (const ConnectorSummary &candidate : m_model->snapshot()->connectors()) {
        if (candidate.id == m_connectorID)
            return candidate;
    }
    return std::nullopt;
}

void ConnectAppSection::openForm()
{
    if (const std::optional<ConnectorSummary> shown = connector())
        m_model->beginConnect(*shown);
}

void ConnectAppSection::render()
{
    renderHeader();
    renderForm();
    renderAccounts();
}

void ConnectAppSection::renderHeader()
{
    const std::optional<ConnectorSummary> shown = connector();
    if (!shown)
        return;
    const int connected = m_model->snapshot()->connectedCount(*shown);
    m_headerTitle->setText(shown->displayName);
    QStringList facts{QStringLiteral("%1 connected").arg(connected), QStringLiteral("%1 tools").arg(shown->tools),
                      QStringLiteral("Signs in with ") + ConnectorAuthModes::authDisplayLabel(*shown)};
    if (const std::optional<ConnectionHealth> health = m_model->connections()->selectedHealth())
        facts << QStringLiteral("Health: ") + health->status;
    m_headerFacts->setText(facts.join(QStringLiteral(" · ")));
    m_addAnotherButton->setVisible(connected > 0 && !m_model->connections()->connectSheetConnector());
}

void ConnectAppSection::renderForm()
{
    const Connections *connections = m_model->connections();
    const std::optional<ConnectorSummary> connector = connections->connectSheetConnector();
    const bool open = connector.has_value() && connector->id == m_connectorID;
    for (QWidget *part : {static_cast<QWidget *>(m_formTitle), static_cast<QWidget *>(m_authLabel),
                          static_cast<QWidget *>(m_accountField), static_cast<QWidget *>(m_aliasField),
                          static_cast<QWidget *>(m_secretField), static_cast<QWidget *>(m_linkButton),
                          static_cast<QWidget *>(m_cancelButton)})
        part->setVisible(open);
    m_formTitle->setText(open ? connections->connectFormTitle() : QString());
    m_authLabel->setText(open ? QStringLiteral("The key stays in the local vault on this computer.") : QString());
    FormWidgets::show(m_accountField, connections->connectAccountID());
    FormWidgets::show(m_aliasField, connections->connectAlias());
    FormWidgets::show(m_secretField, connections->connectSecret());
    for (QWidget *control : {static_cast<QWidget *>(m_accountField), static_cast<QWidget *>(m_aliasField),
                             static_cast<QWidget *>(m_secretField), static_cast<QWidget *>(m_cancelButton)})
        control->setEnabled(open);
    const bool linking = m_model->context()->actions().contains(Connections::connectActionKey);
    m_linkButton->setEnabled(open && !linking && !connections->connectSecret().trimmed().isEmpty());
    m_linkButton->setText(linking ? QStringLiteral("Linking…") : QStringLiteral("Link key"));
    m_keyPageButton->setVisible(open && ProviderKeyPages::url(connector->id).has_value());
    if (open)
        m_cancelButton->setToolTip(QStringLiteral("Close this form without changing ") + connector->displayName);
    m_errorLabel->setText(connections->connectError());
    m_errorLabel->setVisible(!connections->connectError().isEmpty());
    const std::optional<ConnectionHealth> health = connections->selectedHealth();
    m_healthLabel->setVisible(health.has_value());
    if (health) {
        const bool healthy = health->status == QLatin1StringView("healthy");
        FormWidgets::setRole(m_healthLabel, healthy ? "note" : "error");
        m_healthLabel->setText(QStringLiteral("%1 %2: %3 / %4")
                                   .arg(healthy ? QStringLiteral("✓") : QStringLiteral("!"), health->status,
                                        health->providerId, health->accountId));
    }
}

void ConnectAppSection::renderAccounts()
{
    QList<ConnectionSummary> accounts;
    for (const ConnectionSummary &connection : m_model->snapshot()->connections()) {
        if (connection.connectorId == m_connectorID)
            accounts.append(connection);
    }
    m_accountRows.show(accounts, m_model->runningActions());
}

QWidget *ConnectAppSection::accountRow(const ConnectionSummary &connection)
{
    const QString name = connection.connectorId + QLatin1Char('/') + connection.accountId;
    QFrame *row = FormWidgets::card(this, QStringLiteral("Linked account ") + name);
    auto *layout = new QHBoxLayout(row);
    const QString alias = connection.alias.value_or(name);
    layout->addWidget(FormWidgets::text(row, QStringLiteral("tvn-account-summary"),
                                        QStringLiteral("%1 · %2 · %3").arg(alias, name, connection.status)),
                      1);
    if (connection.status == QLatin1StringView("connected")) {
        QPushButton *health = FormWidgets::button(row, QStringLiteral("tvn-account-health"), QStringLiteral("Check health"));
        health->setAccessibleName(QStringLiteral("Check health of ") + name);
        health->setToolTip(QStringLiteral("Check this connection's live health"));
        health->setEnabled(!m_accountRows.running().contains(Connections::healthActionKey));
        QPushButton *revoke = FormWidgets::button(row, QStringLiteral("tvn-account-disconnect"), QStringLiteral("Disconnect"));
        revoke->setAccessibleName(QStringLiteral("Disconnect ") + name);
        FormWidgets::setRole(revoke, "danger");
        revoke->setEnabled(!m_accountRows.running().contains(Connections::revokeActionKey(connection)));
        layout->addWidget(health);
        layout->addWidget(revoke);
        connect(health, &QPushButton::clicked, this, [this, connection] { checkHealth(connection); });
        connect(revoke, &QPushButton::clicked, this, [this, connection] { disconnect(connection); });
    }
    return row;
}

void ConnectAppSection::checkHealth(const ConnectionSummary &connection)
{
    m_model->snapshot()->setSelectedConnectorID(connection.connectorId);
    m_model->checkSelectedHealth(connection.accountId);
}

void ConnectAppSection::disconnect(const ConnectionSummary &connection)
{
    const QString name = connection.connectorId + QLatin1Char('/') + connection.accountId;
    if (FormWidgets::confirm(this, QStringLiteral("tvn-confirm-disconnect"), QStringLiteral("Disconnect this account?"),
                             QStringLiteral("Agents lose access to %1. The stored key is removed from use.").arg(name),
                             QStringLiteral("Disconnect")))
        m_model->revoke(connection);
}
