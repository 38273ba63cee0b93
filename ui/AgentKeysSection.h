#pragma once

#include "MasterKeySummary.h"
#include "RecordRows.h"

#include <QWidget>

class AppModel;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Create an agent key: the form and why it cannot be created yet; the new key's one-time secret,
// shown once with its copy and clear buttons and the state of its setup profile; and one row per
// active key with its revoke.
class AgentKeysSection : public QWidget
{
    Q_OBJECT

public:
    explicit AgentKeysSection(AppModel *model, QWidget *parent = nullptr);

private:
    void render();
    void renderForm();
    void renderCreated();
    void renderKeys();
    QWidget *keyRow(const MasterKeySummary &key);
    void revoke(const MasterKeySummary &key);

    AppModel *m_model;
    QLineEdit *m_agentField;
    QLineEdit *m_nameField;
    QLineEdit *m_appsField;
    QPushButton *m_suggestButton;
    QComboBox *m_maxRiskChoice;
    QLabel *m_scopeLabel;
    QLabel *m_blockerLabel;
    QPushButton *m_createButton;
    QFrame *m_createdCard;
    QLabel *m_oneTimeKeyLabel;
    QPushButton *m_copyKeyButton;
    QPushButton *m_clearKeyButton;
    QLabel *m_profileLabel;
    QPushButton *m_saveProfileButton;
    RecordRows<MasterKeySummary> m_keyRows;
};
