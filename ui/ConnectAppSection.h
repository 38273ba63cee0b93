#pragma once

#include "ConnectionSummary.h"
#include "ConnectorSummary.h"
#include "RecordRows.h"

#include <QWidget>

class AppModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Link a provider key: choose an app, type the key into its connect form, then see every linked
// account with its health check and its disconnect.
class ConnectAppSection : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectAppSection(AppModel *model, QWidget *parent = nullptr);

private:
    void render();
    void renderCatalog();
    void renderForm();
    void renderAccounts();
    void openFormForChosenApp();
    QWidget *accountRow(const ConnectionSummary &connection);
    void checkHealth(const ConnectionSummary &connection);
    void disconnect(const ConnectionSummary &connection);

    AppModel *m_model;
    QComboBox *m_appChoice;
    QPushButton *m_openFormButton;
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
