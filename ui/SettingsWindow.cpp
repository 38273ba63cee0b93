#include "SettingsWindow.h"

#include "AppModel.h"
#include "CrashReporter.h"
#include "FormWidgets.h"
#include "LegacyKeychainPolicy.h"
#include "LocalServiceController.h"
#include "SettingsSidebar.h"
#include "TVNEnvironment.h"

#include <QCheckBox>
#include <QCoroTask>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

const QString SettingsWindow::forceDarkAppearanceKey = QStringLiteral("tvnForceDarkAppearance");

namespace {
const QString windowStyle = QStringLiteral("SettingsWindow { background: #0f1514; } QCheckBox { color: #e8eeec; }");

QLabel *roleText(QWidget *parent, const QString &objectName, const char *role, const QString &text = {})
{
    QLabel *label = FormWidgets::text(parent, objectName, text);
    FormWidgets::setRole(label, role);
    return label;
}

// A titled card holding one group of settings.
QFrame *card(QWidget *parent, const QString &title, QVBoxLayout **content)
{
    QFrame *frame = FormWidgets::card(parent, title);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(6);
    layout->addWidget(FormWidgets::heading(frame, QString(), title));
    *content = layout;
    return frame;
}

// One fact of a card: its name in the note colour above its value; returns the value's label.
QLabel *fact(QVBoxLayout *content, const QString &name, const QString &objectName, const QString &value = {})
{
    QWidget *parent = content->parentWidget();
    content->addSpacing(4);
    content->addWidget(roleText(parent, QString(), "note", name));
    QLabel *valueLabel = FormWidgets::text(parent, objectName, value);
    content->addWidget(valueLabel);
    return valueLabel;
}

QPushButton *helpButton(QWidget *parent, const QString &objectName, const QString &text, const QString &help)
{
    QPushButton *button = FormWidgets::button(parent, objectName, text);
    button->setToolTip(help);
    button->setAccessibleDescription(help);
    return button;
}

// Actions one under the other, so the narrowest window still shows each title whole.
void addButtons(QVBoxLayout *content, std::initializer_list<QPushButton *> buttons)
{
    content->addSpacing(6);
    for (QPushButton *button : buttons)
        content->addWidget(button, 0, Qt::AlignLeft);
}

QCheckBox *checkBox(QWidget *parent, const QString &objectName, const QString &text, const QString &help)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(text);
    box->setAccessibleDescription(help);
    box->setToolTip(help);
    return box;
}

} // namespace

SettingsWindow::SettingsWindow(AppModel *model, const QString &updateBehavior, bool updatesEnabled, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(model)
{
    setObjectName(QStringLiteral("tvn.settings.window"));
    setWindowTitle(model->identity().appName() + QStringLiteral(" Settings"));
    setStyleSheet(FormWidgets::style + windowStyle);
    setAutoFillBackground(true);
    setMinimumSize(minimumContentSize);
    resize(contentSize);

    m_sidebar = new SettingsSidebar(model->identity().appName(), this);
    m_panes = new QStackedWidget(this);
    m_panes->setObjectName(QStringLiteral("tvn-settings-panes"));
    for (QWidget *paneWidget : {generalPane(), securityPane(), agentsPane(), providersPane(), recoveryPane(),
                                updatesPane(updateBehavior, updatesEnabled), supportPane()})
        m_panes->addWidget(paneWidget);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_panes, 1);

    connect(m_sidebar, &SettingsSidebar::selected, this, &SettingsWindow::selectPane);
    connect(m_model, &AppModel::changed, this, &SettingsWindow::render);
    selectPane(SettingsPanes::fromSectionName(TVNEnvironment().settingsInitialSection()));
}

void SettingsWindow::selectPane(SettingsPane pane)
{
    m_selected = pane;
    m_sidebar->setSelection(pane);
    m_panes->setCurrentWidget(m_paneWidgets.value(pane));
    render();
}

void SettingsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    render();
}

QWidget *SettingsWindow::pane(SettingsPane which, QVBoxLayout **content)
{
    auto *body = new QWidget;
    body->setObjectName(QStringLiteral("tvn-settings-pane-body"));
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);
    QLabel *title = roleText(body, QStringLiteral("tvn-settings-pane-title"), "title", SettingsPanes::title(which));
    title->setAccessibleName(SettingsPanes::title(which));
    layout->addWidget(title);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("tvn-settings-pane-") + SettingsPanes::sectionName(which));
    scroll->setAccessibleName(SettingsPanes::title(which));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(body);
    body->setStyleSheet(QStringLiteral("QWidget#tvn-settings-pane-body { background: transparent; }"));
    m_paneWidgets.insert(which, scroll);
    *content = layout;
    return scroll;
}

QWidget *SettingsWindow::generalPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *general = pane(SettingsPane::general, &content);
    QVBoxLayout *appearance = nullptr;
    content->addWidget(card(general, QStringLiteral("Appearance"), &appearance));
    const QString help = QStringLiteral("Track your computer's Light/Dark setting");
    m_followSystemAppearance = checkBox(general, QStringLiteral("settingsFollowSystemAppearance"),
                                        QStringLiteral("Follow system appearance"), help);
    UserDefaults &defaults = m_model->context()->userDefaults();
    m_followSystemAppearance->setChecked(!defaults.boolValue(forceDarkAppearanceKey));
    connect(m_followSystemAppearance, &QCheckBox::toggled, this,
            [&defaults](bool follow) { defaults.setBool(forceDarkAppearanceKey, !follow); });
    appearance->addWidget(m_followSystemAppearance);
    appearance->addWidget(roleText(general, QStringLiteral("settingsAppearanceNote"), "note",
                                   help + QStringLiteral(". On Linux Torvane draws only its dark look, so its windows stay "
                                                         "dark either way; this choice is saved for this computer.")));

    QVBoxLayout *service = nullptr;
    content->addWidget(card(general, QStringLiteral("Local service URL"), &service));
    const QString url = m_model->brokerURL().toString();
    service->addWidget(FormWidgets::text(general, QStringLiteral("settingsLocalServiceURL"), url));
    service->addWidget(roleText(general, QStringLiteral("settingsLocalServiceTrust"), "note",
                                QStringLiteral("TVN only trusts this app's local loopback broker at ") + url
                                    + QStringLiteral(" or the equivalent localhost address. Remote and tunnel URLs are "
                                                     "rejected here.")));

    QVBoxLayout *build = nullptr;
    content->addWidget(card(general, QStringLiteral("This build"), &build));
    const AppMetadata &metadata = m_model->context()->metadata();
    fact(build, QStringLiteral("Version"), QStringLiteral("settingsVersion"), metadata.versionLine());
    fact(build, QStringLiteral("Build ID"), QStringLiteral("settingsBuildId"), metadata.buildId());
    fact(build, QStringLiteral("Bundle identifier"), QStringLiteral("settingsBundleIdentifier"),
         m_model->identity().bundleIdentifier());
    fact(build, QStringLiteral("Source revision"), QStringLiteral("settingsSourceRevision"), metadata.sourceShaDisplay());
    content->addStretch();
    return general;
}

QWidget *SettingsWindow::securityPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *security = pane(SettingsPane::security, &content);
    QVBoxLayout *custody = nullptr;
    content->addWidget(card(security, QStringLiteral("Secrets on this computer"), &custody));
    m_localVaultSummary = fact(custody, QStringLiteral("Credential custody"), QStringLiteral("settingsLocalVaultSummary"));
    m_hardwareSealedUnlock = fact(custody, QStringLiteral("Hardware-sealed unlock"), QStringLiteral("settingsHardwareSealedUnlock"));
    m_systemLoginUnlock = fact(custody, QStringLiteral("System login unlock"), QStringLiteral("settingsSystemLoginUnlock"));
    fact(custody, QStringLiteral("Owner-only local vault state"), QStringLiteral("settingsOwnerOnlyState"),
         m_model->identity().stateRootPath());
    fact(custody, QStringLiteral("Raw secrets in diagnostics"), QStringLiteral("settingsRawSecretsInDiagnostics"),
         QStringLiteral("Not expected in normal setup"));
    custody->addSpacing(6);
    custody->addWidget(roleText(security, QStringLiteral("settingsSecretsGuidance"), "warning",
                                QStringLiteral("Never paste provider API keys, agent keys, one-time codes, account emails, "
                                               "or credential-store values into support tickets, screenshots, docs, or "
                                               "proof artifacts.")));
    content->addWidget(keyringTrustCard(security));
    content->addStretch();
    return security;
}

QWidget *SettingsWindow::keyringTrustCard(QWidget *parent)
{
    QVBoxLayout *content = nullptr;
    QFrame *section = card(parent, QStringLiteral("Keyring trust"), &content);
    m_keychainSummary = roleText(section, QStringLiteral("settingsKeychainSummary"), "note");
    m_keychainMessage = roleText(section, QStringLiteral("settingsKeychainMessage"), "ok");
    m_checkKeychain = FormWidgets::button(section, QStringLiteral("settingsCheckKeychain"), QStringLiteral("Check"));
    connect(m_checkKeychain, &QPushButton::clicked, m_model, [this] { m_model->refreshKeychainTrustStatus(); });

    // Only the legacy mode has keyring items to repair; elsewhere these stay hidden.
    m_legacyControls = new QWidget(section);
    auto *legacy = new QVBoxLayout(m_legacyControls);
    legacy->setContentsMargins(0, 0, 0, 0);
    m_repairOperatorItem = FormWidgets::button(m_legacyControls, QStringLiteral("settingsRepairOperatorItem"),
                                       QStringLiteral("Re-trust only the operator unlock item (the usual repeated-prompt cause)"));
    m_showRepairAll = FormWidgets::button(m_legacyControls, QStringLiteral("settingsShowRepairAll"), QStringLiteral("Repair legacy unlock (last resort)"));
    FormWidgets::setRole(m_showRepairAll, "link");
    m_showRepairAll->setCheckable(true);
    m_repairAll = FormWidgets::button(m_legacyControls, QStringLiteral("settingsRepairAll"),
                              QStringLiteral("Repair every legacy unlock item — use only if prompts persist"));
    m_repairAll->setVisible(false);
    QPushButton *copyDiagnostics = FormWidgets::button(m_legacyControls, QStringLiteral("settingsCopyKeychainDiagnostics"),
                                               QStringLiteral("Copy redacted legacy unlock diagnostics (no secrets)"));
    legacy->addWidget(m_repairOperatorItem, 0, Qt::AlignLeft);
    legacy->addWidget(m_showRepairAll, 0, Qt::AlignLeft);
    legacy->addWidget(m_repairAll, 0, Qt::AlignLeft);
    legacy->addWidget(copyDiagnostics, 0, Qt::AlignLeft);
    connect(m_repairOperatorItem, &QPushButton::clicked, m_model, [this] { m_model->repairOperatorKeychainTrust(); });
    connect(m_showRepairAll, &QPushButton::toggled, m_repairAll, &QWidget::setVisible);
    connect(m_repairAll, &QPushButton::clicked, m_model, [this] { m_model->repairKeychainTrust(); });
    connect(copyDiagnostics, &QPushButton::clicked, m_model, &AppModel::copyKeychainDiagnostics);

    content->addWidget(m_keychainSummary);
    addButtons(content, {m_checkKeychain});
    content->addWidget(m_keychainMessage);
    content->addWidget(m_legacyControls);
    return section;
}

QWidget *SettingsWindow::agentsPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *agents = pane(SettingsPane::agents, &content);
    QVBoxLayout *keys = nullptr;
    content->addWidget(card(agents, QStringLiteral("Agent access"), &keys));
    m_activeAgentKeys = fact(keys, QStringLiteral("Active agent keys"), QStringLiteral("settingsActiveAgentKeys"));
    fact(keys, QStringLiteral("Agent write access"), QStringLiteral("settingsAgentWriteAccess"),
         QStringLiteral("Enforced while the local service is running"));
    content->addStretch();
    return agents;
}

QWidget *SettingsWindow::providersPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *providers = pane(SettingsPane::providers, &content);
    QVBoxLayout *records = nullptr;
    content->addWidget(card(providers, QStringLiteral("Apps and accounts"), &records));
    m_connectorCatalog = fact(records, QStringLiteral("Connector catalog"), QStringLiteral("settingsConnectorCatalog"));
    m_linkedProviderRecords =
        fact(records, QStringLiteral("Linked provider records"), QStringLiteral("settingsLinkedProviderRecords"));
    content->addStretch();
    return providers;
}

QWidget *SettingsWindow::recoveryPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *recovery = pane(SettingsPane::recovery, &content);
    QVBoxLayout *service = nullptr;
    content->addWidget(card(recovery, QStringLiteral("Local service"), &service));
    m_serviceTitle = FormWidgets::text(recovery, QStringLiteral("settingsServiceTitle"));
    m_serviceDetail = roleText(recovery, QStringLiteral("settingsServiceDetail"), "note");
    m_checkService = helpButton(recovery, QStringLiteral("settingsCheckLocalService"), QStringLiteral("Check Local Service"),
                                QStringLiteral("Re-check the local service status without repairing or restarting anything"));
    connect(m_checkService, &QPushButton::clicked, this, &SettingsWindow::checkLocalService);
    QPushButton *copyDebug = FormWidgets::button(recovery, QStringLiteral("settingsCopyDebugInfo"), QStringLiteral("Copy Debug Info"));
    connect(copyDebug, &QPushButton::clicked, m_model, &AppModel::copyServiceDebugInfo);
    service->addWidget(m_serviceTitle);
    service->addWidget(m_serviceDetail);
    addButtons(service, {m_checkService, copyDebug});

    QVBoxLayout *checklist = nullptr;
    content->addWidget(card(recovery, QStringLiteral("Recovery checklist"), &checklist));
    fact(checklist, QStringLiteral("Expected local address"), QStringLiteral("settingsExpectedAddress"),
         m_model->brokerURL().toString());
    m_serviceRegistration = fact(checklist, QStringLiteral("Background service registration"),
                                 QStringLiteral("settingsServiceRegistration"));
    QPushButton *copy = helpButton(recovery, QStringLiteral("settingsCopyRecoveryChecklist"), QStringLiteral("Copy Recovery Checklist"),
                                   QStringLiteral("Copy a redacted recovery checklist; no support message is sent"));
    connect(copy, &QPushButton::clicked, m_model, &AppModel::copyRecoveryChecklist);
    addButtons(checklist, {copy});
    content->addStretch();
    return recovery;
}

QWidget *SettingsWindow::updatesPane(const QString &updateBehavior, bool updatesEnabled)
{
    QVBoxLayout *content = nullptr;
    QWidget *updates = pane(SettingsPane::updates, &content);
    QVBoxLayout *updater = nullptr;
    content->addWidget(card(updates, QStringLiteral("Updater"), &updater));
    fact(updater, QStringLiteral("Automatic updater"), QStringLiteral("settingsUpdateBehavior"), updateBehavior);
    QPushButton *check = FormWidgets::button(updates, QStringLiteral("settingsCheckForUpdates"), QStringLiteral("Check for Updates Now"));
    check->setEnabled(updatesEnabled);
    connect(check, &QPushButton::clicked, this, &SettingsWindow::checkForUpdatesRequested);
    addButtons(updater, {check});

    QVBoxLayout *crashes = nullptr;
    content->addWidget(card(updates, QStringLiteral("Crash reports"), &crashes));
    const QString note = QStringLiteral("The report names only the crash type, the code location and the versions. "
                                        "Nothing leaves this computer unless you choose to share it.");
    m_offerCrashReports = checkBox(updates, QStringLiteral("settingsOfferCrashReports"),
                                   QStringLiteral("Offer to send crash reports"), note);
    UserDefaults &defaults = m_model->context()->userDefaults();
    m_offerCrashReports->setChecked(defaults.storedBool(CrashReporter::offerEnabledKey).value_or(true));
    connect(m_offerCrashReports, &QCheckBox::toggled, this,
            [&defaults](bool offer) { defaults.setBool(CrashReporter::offerEnabledKey, offer); });
    crashes->addWidget(m_offerCrashReports);
    crashes->addWidget(roleText(updates, QString(), "note", note));
    content->addStretch();
    return updates;
}

QWidget *SettingsWindow::supportPane()
{
    QVBoxLayout *content = nullptr;
    QWidget *support = pane(SettingsPane::support, &content);
    QVBoxLayout *help = nullptr;
    content->addWidget(card(support, QStringLiteral("Get help"), &help));
    const AppMetadata &metadata = m_model->context()->metadata();
    const QUrl page = metadata.supportPageURL();
    help->addWidget(roleText(support, QString(), "note",
                             QStringLiteral("If the local service is involved, copy the recovery checklist first; it "
                                            "holds no secrets.")));
    fact(help, QStringLiteral("Support page"), QStringLiteral("settingsSupportPage"), page.toString());
    fact(help, QStringLiteral("Support email"), QStringLiteral("settingsSupportEmail"), metadata.supportEmailAddress());
    QPushButton *open = helpButton(support, QStringLiteral("settingsOpenSupportPage"), QStringLiteral("Open Support Page"),
                                   QStringLiteral("Open the support page in your default browser"));
    connect(open, &QPushButton::clicked, this, [page] { QDesktopServices::openUrl(page); });
    QPushButton *draft = helpButton(support, QStringLiteral("settingsDraftSupportEmail"), QStringLiteral("Draft Email to Support"),
                                    QStringLiteral("Open a support email draft; review and redact it before sending"));
    connect(draft, &QPushButton::clicked, this, &SettingsWindow::draftSupportEmail);
    addButtons(help, {open, draft});
    content->addStretch();
    return support;
}

void SettingsWindow::checkLocalService()
{
    m_checkingService = true;
    render();
    QCoro::connect(m_model->supervision()->refreshLocalServiceStatus(), this, [this] {
        m_checkingService = false;
        render();
    });
}

void SettingsWindow::draftSupportEmail()
{
    QDesktopServices::openUrl(m_model->context()->metadata().supportEmailDraft(m_model->identity().appName()));
}

QString SettingsWindow::operatorCount(int count, const QString &singular, const QString &plural) const
{
    if (!m_model->supervision()->brokerHealthReady())
        return QStringLiteral("Turn on the local service to see this");
    if (!m_model->snapshot()->operatorUnlocked())
        return QStringLiteral("Unlock the vault to see this");
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? singular : plural);
}

void SettingsWindow::render()
{
    // Hidden windows skip the work; showing the window renders again.
    if (!isVisible())
        return;
    const ServiceSupervision &supervision = *m_model->supervision();
    m_serviceTitle->setText(supervision.localServiceStatusTitle());
    m_serviceDetail->setText(supervision.localServiceStatusDetail());
    m_checkService->setEnabled(!m_checkingService);
    if (m_selected == SettingsPane::recovery)
        m_serviceRegistration->setText(supervision.controller().serviceRegistrationPath());
    const BrokerSnapshot &snapshot = *m_model->snapshot();
    m_activeAgentKeys->setText(operatorCount(snapshot.activeMasterKeysCount(), QStringLiteral("active key"),
                                             QStringLiteral("active keys")));
    m_connectorCatalog->setText(operatorCount(static_cast<int>(snapshot.connectors().size()), QStringLiteral("app"),
                                              QStringLiteral("apps")));
    m_linkedProviderRecords->setText(operatorCount(static_cast<int>(snapshot.connections().size()),
                                                   QStringLiteral("record"), QStringLiteral("records")));
    renderSecurity();
}

void SettingsWindow::renderSecurity()
{
    const KeychainTrust &trust = *m_model->keychainTrust();
    m_localVaultSummary->setText(trust.localVaultSummary());
    const VaultUnlock &vault = *m_model->vaultUnlock();
    m_hardwareSealedUnlock->setText(vault.operatorSealedEnabled()
                                        ? QStringLiteral("On: the unlock secret is sealed to this computer's TPM")
                                        : QStringLiteral("Off: the unlock secret stays in owner-only local files"));
    // Asking PAM is quick but not free: only while the pane is in view, like the registration file.
    if (m_selected == SettingsPane::security) {
        const VaultUnlockMethod method = vault.availableMethod();
        m_systemLoginUnlock->setText(VaultUnlockMethods::canAuthenticate(method)
                                         ? QStringLiteral("Available with ") + VaultUnlockMethods::methodPhrase(method)
                                         : VaultUnlockMethods::approvalInstruction(method));
    }
    m_keychainSummary->setText(trust.keychainTrustSummary());
    m_keychainMessage->setText(trust.keychainTrustMessage());
    m_keychainMessage->setVisible(!trust.keychainTrustMessage().isEmpty());
    m_checkKeychain->setEnabled(!m_model->context()->actions().contains(KeychainTrust::checkActionKey));
    m_legacyControls->setVisible(LegacyKeychainPolicy::isEnabled());
    m_repairOperatorItem->setEnabled(!trust.keychainTrustRepairInProgress());
    m_repairAll->setEnabled(!trust.keychainTrustRepairInProgress());
}
