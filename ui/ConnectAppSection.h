#pragma once

#include "ConnectionSummary.h"
#include "ConnectorSummary.h"
#include "RecordRows.h"

#include <QWidget>

class AppModel;
class QLabel;
class QLineEdit;
class QPushButton;

// One app's connect screen body: its header (connected count, tools, health), the connect form
// while no account is connected or "Add another account" was pressed, and its connected accounts
// with their health check and disconnect.
class ConnectAppSection : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectAppSection(AppModel *model, QWidget *parent = nullptr);

    // The app this screen is about; the form opens for it when it has no account yet.
    void setConnectorID(const QString &connectorID);

private:
    void render();
    void renderHeader();
    void renderForm();
    void renderAccounts();
    std::optional<ConnectorSummary> connector() const;
    void openForm();
    QWidget *accountRow(const ConnectionSummary &connection);
    void checkHealth(const ConnectionSummary &connection);
    void disconnect(const ConnectionSummary &connection);

    AppModel *m_model;
    QString m_connectorID;
    QLabel *m_headerTitle;
    QLabel *m_headerFacts;
    QPushButton *m_addAnotherButton;
    QLabel *m_formTitle;
    QLabel *m_authLabel;
    QLineEdit *m_accountField;
    QLineEdit *m_aliasField;
    QLineEdit *m_secretField;
    QPushButton *m_keyPageButton;
    QPushButton *m_linkButton;
    QPushButton *m_cancelButton;
    QLabel *m_errorLabel;
    QLabel *m_healthLabel;
    RecordRows<ConnectionSummary> m_accountRows;
    QList<ConnectorSummary> m_shownConnectors;
};
