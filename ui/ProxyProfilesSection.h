#pragma once

#include "ProxyProfileSummary.h"
#include "ProxyProfiles.h"
#include "RecordRows.h"

#include <QWidget>

class AppModel;
class QComboBox;
class QLineEdit;
class QPushButton;

// Proxy routes: the form that lets one agent key call one provider's HTTP API through the broker
// (its defaults filled from the keys and connections at hand), and the active profiles, each with
// its sample request to copy and its revoke.
class ProxyProfilesSection : public QWidget
{
    Q_OBJECT

public:
    explicit ProxyProfilesSection(AppModel *model, QWidget *parent = nullptr);

private:
    void bindField(QLineEdit *field, void (ProxyProfiles::*setter)(const QString &));
    void render();
    void renderChoices();
    QWidget *profileRow(const ProxyProfileSummary &profile);
    void revoke(const ProxyProfileSummary &profile);

    AppModel *m_model;
    QLineEdit *m_nameField;
    QComboBox *m_keyChoice;
    QComboBox *m_connectionChoice;
    QLineEdit *m_originField;
    QLineEdit *m_pathField;
    QLineEdit *m_methodsField;
    QPushButton *m_defaultsButton;
    QPushButton *m_createButton;
    RecordRows<ProxyProfileSummary> m_rows;
};
