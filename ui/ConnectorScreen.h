#pragma once

#include <QWidget>

class AppModel;
class ConnectAppSection;
class QLabel;

// The screen of one app from the sidebar: its connect form and accounts, or the gate text that
// says why they cannot show yet.
class ConnectorScreen : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectorScreen(AppModel *model, QWidget *parent = nullptr);

    void setConnectorID(const QString &connectorID);
    // The gate's title and text; both empty when the form shows.
    QString gateTitle() const;
    QString gateText() const;

private:
    void render();

    AppModel *m_model;
    QString m_connectorID;
    QLabel *m_gateTitle;
    QLabel *m_gateText;
    ConnectAppSection *m_section;
};
