#include "HomeScreen.h"

#include "AppModel.h"
#include "DarkStyle.h"
#include "DashboardFallbackChoice.h"
#include "FormWidgets.h"
#include "HandoffCard.h"
#include "HowItWorksCard.h"
#include "LocalServiceStatusWords.h"
#include "NativeOperatorUnlockFallback.h"
#include "NativeVaultSecurityFallback.h"
#include "ServiceStartConfirmation.h"
#include "ServiceStatusView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int slowStartSeconds = 45;
constexpr qsizetype recentActivityRows = 5;

QVBoxLayout *cardLayout(QFrame *card)
{
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(8);
    return layout;
}

QLabel *cardTitle(QWidget *parent, const QString &text)
{
    QLabel *title = FormWidgets::text(parent, QStringLiteral("tvn-card-title"), text);
    FormWidgets::setRole(title, "title");
    return title;
}

QLabel *note(QWidget *parent, const QString &objectName, const QString &text)
{
    QLabel *label = FormWidgets::text(parent, objectName, text);
    FormWidgets::setRole(label, "note");
    return label;
}
} // namespace

HomeScreen::HomeScreen(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_heroTitle(FormWidgets::text(this, QStringLiteral("tvn-home-hero-title")))
    , m_heroText(FormWidgets::text(this, QStringLiteral("tvn-home-hero-text")))
    , m_heroButton(FormWidgets::button(this, QStringLiteral("tvn-home-hero-action"), {}))
    , m_steps(new QHBoxLayout)
    , m_serviceCard(new ServiceStatusView(model, this))
    , m_recoveryCard(FormWidgets::card(this, QStringLiteral("We couldn't start the background service")))
    , m_vaultForm(new NativeVaultSecurityFallback(model, this))
    , m_unlockForm(new NativeOperatorUnlockFallback(model, this))
{
    setObjectName(QStringLiteral("tvn-home"));
    FormWidgets::setRole(m_heroTitle, "headline");
    FormWidgets::setRole(m_heroButton, "primary");
    m_heroButton->setAccessibleDescription(QStringLiteral("Runs the next Torvane setup action."));
    m_heroButton->setToolTip(m_heroButton->accessibleDescription());
    m_heroButton->setDefault(true);

    QFrame *hero = FormWidgets::card(this, QStringLiteral("Next setup action"));
    QVBoxLayout *heroLayout = cardLayout(hero);
    heroLayout->addWidget(m_heroTitle);
    heroLayout->addWidget(m_heroText);
    heroLayout->addWidget(m_heroButton, 0, Qt::AlignLeft);
    heroLayout->addWidget(note(hero, QStringLiteral("tvn-home-tagline"),
                               QStringLiteral("Your agent gets permission, not the key. Real app keys stay encrypted on "
                                              "this computer.")));
    heroLayout->addLayout(m_steps);

    QVBoxLayout *recovery = cardLayout(m_recoveryCard);
    FormWidgets::setRole(m_recoveryCard, "warning");
    recovery->addWidget(cardTitle(m_recoveryCard, QStringLiteral("We couldn't start the background service")));
    recovery->addWidget(FormWidgets::text(m_recoveryCard, QStringLiteral("tvn-recovery-text"),
                                          QStringLiteral("The local service has not answered yet. You can keep trying, "
                                                         "open logs, or reconnect after it starts.")));
    recovery->addWidget(note(m_recoveryCard, QStringLiteral("tvn-recovery-hint"),
                             QStringLiteral("Still stuck? Quit Torvane (Ctrl+Q), reopen it, then press Turn on again.")));
    QPushButton *copyDebug = FormWidgets::button(m_recoveryCard, QStringLiteral("tvn-recovery-copy-debug"),
                                                 QStringLiteral("Copy redacted service debug info (no secrets)"));
    recovery->addWidget(copyDebug, 0, Qt::AlignLeft);
    connect(copyDebug, &QPushButton::clicked, model, &AppModel::copyServiceDebugInfo);

    // The unlock screens fill the window elsewhere; here they sit in the page's flow.
    for (QWidget *form : {static_cast<QWidget *>(m_vaultForm), static_cast<QWidget *>(m_unlockForm)})
        form->layout()->setContentsMargins(20, 18, 20, 18);
    m_unlockForm->setShowsRetryButton(false);

    auto *stats = new QHBoxLayout;
    stats->setSpacing(12);
    stats->addWidget(statTile(QStringLiteral("tvn-stat-apps"), &m_appsValue, &m_appsName));
    stats->addWidget(statTile(QStringLiteral("tvn-stat-keys"), &m_keysValue, &m_keysName));
    stats->addWidget(statTile(QStringLiteral("tvn-stat-approvals"), &m_approvalsValue, &m_approvalsName));
    stats->addWidget(statTile(QStringLiteral("tvn-stat-audit"), &m_auditValue, &m_auditName));

    QFrame *apps = FormWidgets::card(this, QStringLiteral("Connected apps"));
    QFrame *keys = FormWidgets::card(this, QStringLiteral("Active keys"));
    QFrame *activity = FormWidgets::card(this, QStringLiteral("Recent activity"));
    m_appsCard = cardLayout(apps);
    m_keysCard = cardLayout(keys);
    m_activityCard = cardLayout(activity);
    auto *cards = new QHBoxLayout;
    cards->setSpacing(12);
    cards->addWidget(apps, 1);
    cards->addWidget(keys, 1);
    QFrame *howItWorks = HowItWorksCard::create(this);
    howItWorks->setStyleSheet(DarkStyle::screenStyleSheet()
                              + QStringLiteral("QFrame#howItWorks { background: #18201f; border: 1px solid #2c3836; "
                                               "border-radius: 12px; }"));
    auto *handoff = new HandoffCard(model, this);
    connect(handoff, &HandoffCard::manageKeysRequested, this, [this] { emit navigationRequested(SidebarItem::agentKeys()); });
    auto *lower = new QHBoxLayout;
    lower->setSpacing(12);
    lower->addWidget(activity, 1);
    lower->addWidget(howItWorks, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(16);
    layout->addWidget(hero);
    layout->addWidget(m_serviceCard);
    layout->addWidget(m_recoveryCard);
    layout->addWidget(m_vaultForm);
    layout->addWidget(m_unlockForm);
    layout->addLayout(stats);
    layout->addLayout(cards);
    layout->addWidget(handoff);
    layout->addLayout(lower);
    // Spare height goes below the cards, not into them.
    layout->addStretch(1);

    connect(m_heroButton, &QPushButton::clicked, this, &HomeScreen::runHeroAction);
    connect(model, &AppModel::changed, this, &HomeScreen::render);
    render();
}

QFrame *HomeScreen::statTile(const QString &objectName, QLabel **valueLabel, QLabel **nameLabel)
{
    QFrame *tile = FormWidgets::card(this, {});
    tile->setObjectName(QStringLiteral("card"));
    QVBoxLayout *layout = cardLayout(tile);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(2);
    *valueLabel = FormWidgets::text(tile, objectName);
    FormWidgets::setRole(*valueLabel, "stat");
    *nameLabel = note(tile, objectName + QStringLiteral("-name"), {});
    layout->addWidget(*valueLabel);
    layout->addWidget(*nameLabel);
    return tile;
}

HomeScreen::HeroAction HomeScreen::heroAction() const
{
    const ServiceSupervision *supervision = m_model->supervision();
    if (supervision->localServiceRepairRequired())
        return HeroAction::repair;
    if (supervision->localServiceStartPhase().isFailure())
        return HeroAction::repair;
    if (supervision->localServiceActionInProgress() || supervision->localServiceStartPhase().isInProgress())
        return HeroAction::checkAgain;
    const std::optional<SetupStepSummary> next = m_model->nextSetupStep();
    const QString step = next ? next->id : QString();
    if (step == QLatin1StringView("broker"))
        return HeroAction::turnOn;
    if (step == QLatin1StringView("operator"))
        return HeroAction::unlock;
    if (step == QLatin1StringView("provider"))
        return HeroAction::connectApp;
    if (step == QLatin1StringView("master-key"))
        return HeroAction::makeKey;
    if (step == QLatin1StringView("proof"))
        return HeroAction::verify;
    return HeroAction::copySetup;
}

QString HomeScreen::heroTitle() const
{
    const LocalServiceStatus &status = m_model->supervision()->localServiceStatus();
    switch (heroAction()) {
    case HeroAction::repair:
        return LocalServiceStatusWords::showsStaleBroker(status) ? QStringLiteral("Service mismatch")
                                                                 : m_model->supervision()->localServiceStatusTitle();
    case HeroAction::checkAgain:
        return m_model->supervision()->localServiceStartPhase().title();
    case HeroAction::turnOn:
        return QStringLiteral("Turn on Torvane");
    case HeroAction::unlock:
        return QStringLiteral("Unlock the vault");
    case HeroAction::connectApp:
        return QStringLiteral("Connect an app");
    case HeroAction::makeKey:
        return QStringLiteral("Make agent key");
    case HeroAction::verify:
        return QStringLiteral("Verify setup");
    case HeroAction::copySetup:
        return QStringLiteral("Copy agent setup");
    }
    return {};
}

QString HomeScreen::heroText() const
{
    const LocalServiceStatus &status = m_model->supervision()->localServiceStatus();
    switch (heroAction()) {
    case HeroAction::repair:
        return LocalServiceStatusWords::showsStaleBroker(status)
            ? QStringLiteral("Repair so your agents use this app's local service.")
            : QStringLiteral("Repair the local service before sharing keys with agents.");
    case HeroAction::checkAgain:
        return m_model->supervision()->localServiceStartPhase().detail();
    case HeroAction::turnOn:
        return QStringLiteral("Turn this on once to start sharing safe, limited keys with your agents.");
    case HeroAction::unlock:
        return QStringLiteral("Unlock the vault so Torvane can open it.");
    case HeroAction::connectApp:
        return QStringLiteral("Connect your first app to give an agent scoped access.");
    case HeroAction::makeKey:
        return QStringLiteral("Make one safe key for your agent.");
    case HeroAction::verify:
        return QStringLiteral("Verify your local setup before marking this ready for your agent.");
    case HeroAction::copySetup:
        return QStringLiteral("Finish setup to give your agent safe, revocable access.");
    }
    return {};
}

void HomeScreen::runHeroAction()
{
    switch (heroAction()) {
    case HeroAction::turnOn:
    case HeroAction::repair:
        if (ServiceStartConfirmation::ask(*m_model, this, QStringLiteral("tvn-home-turn-on-confirmation")))
            m_model->confirmLocalServiceStartOrRepair();
        return;
    case HeroAction::checkAgain:
        m_model->refresh();
        return;
    case HeroAction::unlock:
        if (DashboardFallbackChoices::choose(*m_model) == DashboardFallbackChoice::operatorUnlock
            && !m_model->operatorSession()->operatorPassphraseRequired())
            m_model->unlockOperatorSession();
        return;
    case HeroAction::connectApp: {
        const std::optional<ConnectorSummary> connector = m_model->snapshot()->recommendedUnconnectedConnector();
        emit navigationRequested(connector ? SidebarItem::connector(connector->id) : SidebarItem::home());
        return;
    }
    case HeroAction::makeKey:
        emit navigationRequested(SidebarItem::agentKeys());
        return;
    case HeroAction::verify:
        m_model->verifyActiveAgentHandoff();
        return;
    case HeroAction::copySetup:
        m_model->copyActiveAgentHandoffConfigIfVerified();
        return;
    }
}

void HomeScreen::render()
{
    m_heroTitle->setText(heroTitle());
    m_heroText->setText(heroText());
    m_heroButton->setText(heroTitle() == QLatin1StringView("Service mismatch") ? QStringLiteral("Try again") : heroTitle());
    if (heroAction() == HeroAction::repair)
        m_heroButton->setText(QStringLiteral("Try again"));
    if (heroAction() == HeroAction::checkAgain)
        m_heroButton->setText(QStringLiteral("Check again"));
    m_heroButton->setAccessibleName(m_heroButton->text());
    const bool serviceBusy = m_model->supervision()->localServiceActionInProgress();
    m_heroButton->setEnabled(!(heroAction() == HeroAction::turnOn && serviceBusy));

    const ServiceSupervision *supervision = m_model->supervision();
    const LocalServiceStartPhase phase = supervision->localServiceStartPhase();
    m_serviceCard->setVisible(!supervision->brokerReadyAndVerified());
    m_recoveryCard->setVisible(phase.isFailure()
                               || (phase.isInProgress() && supervision->localServiceStartElapsedSeconds() >= slowStartSeconds));
    renderVaultForm();
    renderSteps();
    renderStats();
    renderCards();
}

void HomeScreen::renderVaultForm()
{
    const bool unlocking = heroAction() == HeroAction::unlock;
    const DashboardFallbackChoice choice = unlocking ? DashboardFallbackChoices::choose(*m_model) : DashboardFallbackChoice::none;
    if (choice == DashboardFallbackChoice::vaultSetup)
        m_vaultForm->setMode(NativeVaultSecurityFallback::Mode::setup);
    if (choice == DashboardFallbackChoice::vaultUnlock)
        m_vaultForm->setMode(NativeVaultSecurityFallback::Mode::unlock);
    m_vaultForm->setVisible(choice == DashboardFallbackChoice::vaultSetup || choice == DashboardFallbackChoice::vaultUnlock);
    m_unlockForm->setVisible(choice == DashboardFallbackChoice::operatorUnlock);
}

void HomeScreen::renderSteps()
{
    FormWidgets::clear(m_steps);
    const QList<SetupStepSummary> steps = m_model->setupSteps();
    for (qsizetype index = 0; index < steps.size(); ++index) {
        const SetupStepSummary &step = steps.at(index);
        const QString number = QStringLiteral("Step ") + QString::number(index + 1);
        const QString mark = step.state == SetupStepSummary::State::done   ? QStringLiteral("●")
                             : step.state == SetupStepSummary::State::next ? QStringLiteral("◉")
                                                                           : QStringLiteral("○");
        QLabel *dot = FormWidgets::text(this, QStringLiteral("tvn-setup-step"),
                                        QStringLiteral("%1 %2 · %3").arg(mark, number, step.title));
        FormWidgets::setRole(dot, step.state == SetupStepSummary::State::done ? "ok"
                                  : step.state == SetupStepSummary::State::next ? "warning"
                                                                                : "note");
        QString hint = QStringLiteral("%1: %2").arg(step.title, step.detail);
        if (step.state == SetupStepSummary::State::blocked)
            hint += QStringLiteral(": complete earlier setup steps first");
        dot->setToolTip(hint);
        dot->setAccessibleName(number + QStringLiteral(", ") + hint);
        m_steps->addWidget(dot);
    }
    m_steps->addStretch();
}

void HomeScreen::renderStats()
{
    const BrokerSnapshot *snapshot = m_model->snapshot();
    const bool locked = !snapshot->operatorUnlocked();
    m_appsValue->setText(locked ? QStringLiteral("—") : QString::number(snapshot->connectedAccountsCount()));
    m_appsName->setText(locked ? QStringLiteral("Connected apps · unlock to view") : QStringLiteral("Connected apps"));
    m_keysValue->setText(locked ? QStringLiteral("—") : QString::number(snapshot->activeMasterKeysCount()));
    m_keysName->setText(locked ? QStringLiteral("Agent keys · unlock to view") : QStringLiteral("Agent keys"));
    // Locked, the lists are emptied: a 0 would claim that nothing waits for a decision.
    m_approvalsValue->setText(locked ? QStringLiteral("—") : QString::number(snapshot->approvals().size()));
    m_approvalsName->setText(QStringLiteral("Pending approvals"));
    // The list is the newest page only; the newest event's sequence counts the whole chain.
    const QList<AuditEvent> audit = snapshot->auditEvents();
    m_auditValue->setText(locked ? QStringLiteral("—")
                                 : QString::number(audit.isEmpty() ? 0 : std::max(audit.first().sequence, qint64(audit.size()))));
    m_auditName->setText(QStringLiteral("Audit events"));
}

void HomeScreen::renderCards()
{
    const BrokerSnapshot *snapshot = m_model->snapshot();
    QStringList apps;
    for (const ConnectionSummary &connection : snapshot->connections()) {
        if (connection.status == QLatin1StringView("connected"))
            apps << QStringLiteral("%1 · %2").arg(connection.alias.value_or(connection.connectorId), connection.accountId);
    }
    QStringList keys;
    for (const MasterKeySummary &key : snapshot->activeMasterKeys())
        keys << QStringLiteral("%1 · agent %2").arg(key.name, key.agentId);
    QStringList events;
    // The broker lists the newest event first.
    const QList<AuditEvent> audit = snapshot->auditEvents();
    for (const AuditEvent &event : audit.first(std::min(audit.size(), recentActivityRows)))
        events << QStringLiteral("%1 · %2 · %3").arg(event.action, event.decision, event.timestamp);
    // Locked, the lists are emptied: the cards must not read as "nothing yet".
    const bool locked = !snapshot->operatorUnlocked();
    const QString lockedText = QStringLiteral("Unlock the vault to see them.");
    const QString shown = QString::number(locked) + apps.join(QLatin1Char('\n')) + QLatin1Char('|') + keys.join(QLatin1Char('\n'))
        + QLatin1Char('|') + events.join(QLatin1Char('\n'));
    if (shown == m_shownCards && m_appsCard->count() > 0)
        return;
    m_shownCards = shown;

    FormWidgets::clear(m_appsCard);
    QWidget *appsParent = m_appsCard->parentWidget();
    m_appsCard->addWidget(cardTitle(appsParent, QStringLiteral("Connected apps")));
    if (locked)
        m_appsCard->addWidget(note(appsParent, QStringLiteral("tvn-home-apps-locked"), lockedText));
    else if (apps.isEmpty())
        m_appsCard->addWidget(FormWidgets::text(appsParent, QStringLiteral("tvn-home-apps-empty"),
                                                QStringLiteral("Connect your first app")));
    for (const QString &app : apps)
        m_appsCard->addWidget(FormWidgets::text(appsParent, QStringLiteral("tvn-home-app"), app));
    m_appsCard->addWidget(note(appsParent, QStringLiteral("tvn-home-apps-note"),
                               QStringLiteral("No provider secret is copied to your agent — it only gets a scoped agent "
                                              "key you can revoke any time.")));
    m_appsCard->addStretch();

    FormWidgets::clear(m_keysCard);
    QWidget *keysParent = m_keysCard->parentWidget();
    m_keysCard->addWidget(cardTitle(keysParent, QStringLiteral("Active keys")));
    if (locked) {
        m_keysCard->addWidget(note(keysParent, QStringLiteral("tvn-home-keys-locked"), lockedText));
    } else if (keys.isEmpty()) {
        m_keysCard->addWidget(FormWidgets::text(keysParent, QStringLiteral("tvn-home-keys-empty"), QStringLiteral("No agent keys yet")));
        m_keysCard->addWidget(note(keysParent, QStringLiteral("tvn-home-keys-note"),
                                   QStringLiteral("Create one above to give an agent scoped access.")));
    }
    for (const QString &key : keys)
        m_keysCard->addWidget(FormWidgets::text(keysParent, QStringLiteral("tvn-home-key"), key));
    QPushButton *manage = FormWidgets::button(keysParent, QStringLiteral("tvn-home-manage-keys"), QStringLiteral("Manage agent keys"));
    connect(manage, &QPushButton::clicked, this, [this] { emit navigationRequested(SidebarItem::agentKeys()); });
    m_keysCard->addWidget(manage, 0, Qt::AlignLeft);
    m_keysCard->addStretch();

    FormWidgets::clear(m_activityCard);
    QWidget *activityParent = m_activityCard->parentWidget();
    m_activityCard->addWidget(cardTitle(activityParent, QStringLiteral("Recent activity")));
    if (locked)
        m_activityCard->addWidget(note(activityParent, QStringLiteral("tvn-home-activity-locked"), lockedText));
    else if (events.isEmpty())
        m_activityCard->addWidget(note(activityParent, QStringLiteral("tvn-home-activity-empty"),
                                       QStringLiteral("Reads, writes, approvals, and revocations show up here after your "
                                                      "agent's first run.")));
    for (const QString &event : events)
        m_activityCard->addWidget(FormWidgets::text(activityParent, QStringLiteral("tvn-home-activity"), event));
    m_activityCard->addStretch();
}
