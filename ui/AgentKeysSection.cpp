#include "AgentKeysSection.h"

#include "AppModel.h"
#include "FormWidgets.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

AgentKeysSection::AgentKeysSection(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_agentField(FormWidgets::field(this, QStringLiteral("tvn-key-agent"), QStringLiteral("Agent id (for example claude-code)")))
    , m_nameField(FormWidgets::field(this, QStringLiteral("tvn-key-name"), QStringLiteral("Key name")))
    , m_appsField(FormWidgets::field(this, QStringLiteral("tvn-key-apps"), QStringLiteral("Apps this key can use, comma-separated")))
    , m_suggestButton(FormWidgets::button(this, QStringLiteral("tvn-key-suggest"), QStringLiteral("Use connected apps")))
    , m_maxRiskChoice(FormWidgets::choice(this, QStringLiteral("tvn-key-max-risk"), QStringLiteral("Highest risk this key may use")))
    , m_scopeLabel(FormWidgets::text(this, QStringLiteral("tvn-key-scope")))
    , m_blockerLabel(FormWidgets::text(this, QStringLiteral("tvn-key-blocker")))
    , m_createButton(FormWidgets::button(this, QStringLiteral("tvn-key-create"), QStringLiteral("Create agent key")))
    , m_createdCard(FormWidgets::card(this, QStringLiteral("New agent key")))
    , m_oneTimeKeyLabel(FormWidgets::text(m_createdCard, QStringLiteral("tvn-key-one-time")))
    , m_copyKeyButton(FormWidgets::button(m_createdCard, QStringLiteral("tvn-key-copy"), QStringLiteral("Copy one-time key")))
    , m_clearKeyButton(FormWidgets::button(m_createdCard, QStringLiteral("tvn-key-clear"), QStringLiteral("Clear key from view")))
    , m_profileLabel(FormWidgets::text(m_createdCard, QStringLiteral("tvn-key-profile")))
    , m_saveProfileButton(FormWidgets::button(m_createdCard, QStringLiteral("tvn-key-save-profile"), QStringLiteral("Save setup profile")))
    , m_keyRows(this, QStringLiteral("No agent keys yet"), [this](const MasterKeySummary &key) { return keyRow(key); })
{
    FormWidgets::setRole(m_blockerLabel, "note");
    FormWidgets::setRole(m_oneTimeKeyLabel, "secret");
    m_oneTimeKeyLabel->setAccessibleName(QStringLiteral("One-time agent key"));
    FormWidgets::setRole(m_createButton, "primary");
    m_saveProfileButton->setToolTip(QStringLiteral("Save the one-time key into the local vault as a reusable setup profile"));
    m_maxRiskChoice->addItem(QStringLiteral("Broker default"), QString());
    for (const QString &risk : AgentKeys::maxRiskChoices)
        m_maxRiskChoice->addItem(risk, risk);

    auto *apps = new QHBoxLayout;
    apps->addWidget(m_appsField, 1);
    apps->addWidget(m_suggestButton);
    auto *names = new QHBoxLayout;
    names->addWidget(m_agentField);
    names->addWidget(m_nameField);
    names->addWidget(m_maxRiskChoice);

    auto *keyButtons = new QHBoxLayout;
    keyButtons->addWidget(m_copyKeyButton);
    keyButtons->addWidget(m_clearKeyButton);
    keyButtons->addWidget(m_saveProfileButton);
    keyButtons->addStretch();
    auto *created = new QVBoxLayout(m_createdCard);
    created->addWidget(FormWidgets::text(m_createdCard, QStringLiteral("tvn-key-one-time-note"),
                                         QStringLiteral("This is the only time the key is shown. Copy it now if an agent "
                                                        "needs it by hand; the setup profile keeps it for the agent.")));
    created->addWidget(m_oneTimeKeyLabel);
    created->addLayout(keyButtons);
    created->addWidget(m_profileLabel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(this, QStringLiteral("tvn-key-heading"), QStringLiteral("Agent keys")));
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-key-intro"),
                                        QStringLiteral("Make one limited key per agent. Each key only works for the apps you "
                                                       "choose, and you can revoke it any time without touching your real "
                                                       "credentials.")));
    layout->addLayout(names);
    layout->addLayout(apps);
    layout->addWidget(m_scopeLabel);
    layout->addWidget(m_blockerLabel);
    layout->addWidget(m_createButton, 0, Qt::AlignLeft);
    layout->addWidget(m_createdCard);
    layout->addWidget(FormWidgets::text(this, QStringLiteral("tvn-key-active-heading"), QStringLiteral("Active agent keys")));
    layout->addLayout(m_keyRows.layout());

    AgentKeys *keys = model->agentKeys();
    connect(m_agentField, &QLineEdit::textEdited, keys, &AgentKeys::setNewMasterKeyAgentID);
    connect(m_nameField, &QLineEdit::textEdited, keys, &AgentKeys::setNewMasterKeyName);
    connect(m_appsField, &QLineEdit::textEdited, keys, &AgentKeys::setNewMasterKeyConnectorIDs);
    connect(m_maxRiskChoice, &QComboBox::activated, this,
            [this, keys] { keys->setNewMasterKeyMaxRisk(m_maxRiskChoice->currentData().toString()); });
    connect(m_suggestButton, &QPushButton::clicked, keys, &AgentKeys::useSuggestedConnectorsForMasterKey);
    connect(m_createButton, &QPushButton::clicked, model, [model] { model->createMasterKey(); });
    connect(m_copyKeyButton, &QPushButton::clicked, keys, &AgentKeys::copyCreatedMasterKey);
    connect(m_clearKeyButton, &QPushButton::clicked, keys, &AgentKeys::clearCreatedMasterKey);
    connect(m_saveProfileButton, &QPushButton::clicked, model, [model] { model->storeCreatedMasterKeyProfile(); });
    connect(model, &AppModel::changed, this, &AgentKeysSection::render);
    render();
}

void AgentKeysSection::render()
{
    renderForm();
    renderCreated();
    renderKeys();
}

void AgentKeysSection::renderForm()
{
    const AgentKeys *keys = m_model->agentKeys();
    FormWidgets::show(m_agentField, keys->newMasterKeyAgentID());
    FormWidgets::show(m_nameField, keys->newMasterKeyName());
    FormWidgets::show(m_appsField, keys->newMasterKeyConnectorIDs());
    m_maxRiskChoice->setCurrentIndex(std::max(0, m_maxRiskChoice->findData(keys->newMasterKeyMaxRisk())));
    // The scope review: what the key will be able to use once created.
    const QStringList scope = keys->requestedMasterKeyConnectorIDs();
    const QString suggested = keys->suggestedMasterKeyConnectorIDs();
    if (m_model->snapshot()->connectedAccountsCount() == 0)
        m_scopeLabel->setText(QStringLiteral("No apps connected yet. Connect one app, then create the key."));
    else
        m_scopeLabel->setText(QStringLiteral("This key can use: ")
                              + (scope.isEmpty() ? suggested : scope.join(QStringLiteral(", "))));
    const std::optional<QString> blocker = keys->masterKeyCreateBlocker();
    m_blockerLabel->setText(blocker.value_or(QString()));
    m_blockerLabel->setVisible(blocker.has_value());
    m_createButton->setEnabled(!blocker && !keys->isCreatingMasterKey());
    m_createButton->setText(keys->isCreatingMasterKey() ? QStringLiteral("Creating…") : QStringLiteral("Create agent key"));
}

void AgentKeysSection::renderCreated()
{
    const AgentKeys *keys = m_model->agentKeys();
    const QString secret = keys->createdMasterKey();
    m_createdCard->setVisible(!keys->createdMasterKeyRecordID().isEmpty());
    m_oneTimeKeyLabel->setText(secret.isEmpty() ? QStringLiteral("Cleared from view.") : secret);
    m_copyKeyButton->setEnabled(!secret.isEmpty());
    m_clearKeyButton->setEnabled(!secret.isEmpty());
    m_saveProfileButton->setEnabled(!secret.isEmpty()
                                    && !m_model->context()->actions().contains(AgentKeys::saveProfileActionKey));
    const QString profile = keys->createdMasterKeyProfile();
    m_profileLabel->setText(keys->createdMasterKeyProfileVerified()
                                ? QStringLiteral("Setup profile %1 is saved and verified in the local vault.").arg(profile)
                                : QStringLiteral("Setup profile %1 is not verified yet.").arg(profile));
}

void AgentKeysSection::renderKeys()
{
    m_keyRows.show(m_model->snapshot()->activeMasterKeys(), m_model->runningActions());
}

QWidget *AgentKeysSection::keyRow(const MasterKeySummary &key)
{
    QFrame *row = FormWidgets::card(this, QStringLiteral("Agent key ") + key.name);
    auto *layout = new QHBoxLayout(row);
    layout->addWidget(FormWidgets::text(row, QStringLiteral("tvn-key-summary"),
                                        QStringLiteral("%1 · agent %2 · %3 · created %4")
                                            .arg(key.name, key.agentId, key.scopes.join(QStringLiteral(", ")), key.createdAt)),
                      1);
    QPushButton *reuse = FormWidgets::button(row, QStringLiteral("tvn-key-template"), QStringLiteral("Use as template"));
    reuse->setAccessibleName(QStringLiteral("Use %1 as template").arg(key.name));
    reuse->setToolTip(QStringLiteral("Load this agent id and app scope into the create form. No secret is copied."));
    QPushButton *revoke = FormWidgets::button(row, QStringLiteral("tvn-key-revoke"), QStringLiteral("Revoke"));
    revoke->setAccessibleName(QStringLiteral("Revoke ") + key.name);
    FormWidgets::setRole(revoke, "danger");
    revoke->setEnabled(!m_keyRows.running().contains(AgentKeys::revokeActionKey(key)));
    layout->addWidget(reuse);
    layout->addWidget(revoke);
    connect(reuse, &QPushButton::clicked, this, [this, key] { m_model->useAgentKeyAsReplacementTemplate(key); });
    connect(revoke, &QPushButton::clicked, this, [this, key] { this->revoke(key); });
    return row;
}

void AgentKeysSection::revoke(const MasterKeySummary &key)
{
    if (FormWidgets::confirm(this, QStringLiteral("tvn-confirm-revoke-key"), QStringLiteral("Revoke this agent key?"),
                             QStringLiteral("%1 stops working at once for agent %2. This cannot be undone.").arg(key.name, key.agentId),
                             QStringLiteral("Revoke")))
        m_model->revoke(key);
}
