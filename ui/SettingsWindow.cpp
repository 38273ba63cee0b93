#include "SettingsWindow.h"

#include "AppModel.h"
#include "CrashReporter.h"
#include "FormWidgets.h"
#include "LegacyKeychainPolicy.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
const QString windowStyle = QStringLiteral("SettingsWindow { background: #0f1514; } QCheckBox { color: #e8eeec; }");

QLabel *roleText(QWidget *parent, const QString &objectName, const char *role, const QString &text = {})
{
    QLabel *label = FormWidgets::text(parent, objectName, text);
    FormWidgets::setRole(label, role);
    return label;
}

// A titled card holding one section's widgets.
QFrame *card(QWidget *parent, const QString &title, QVBoxLayout **content)
{
    QFrame *frame = FormWidgets::card(parent, title);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);
    layout->addWidget(FormWidgets::heading(frame, QString(), title));
    *content = layout;
    return frame;
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

    auto *sections = new QWidget;
    auto *sectionsLayout = new QVBoxLayout(sections);
    sectionsLayout->setContentsMargins(20, 20, 20, 20);
    sectionsLayout->setSpacing(16);
    sectionsLayout->addWidget(serviceSection());
    sectionsLayout->addWidget(securitySection());
    sectionsLayout->addWidget(updatesSection(updateBehavior, updatesEnabled));
    sectionsLayout->addWidget(crashReportsSection());
    sectionsLayout->addStretch();
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(sections);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    connect(m_model, &AppModel::changed, this, &SettingsWindow::render);
    render();
}

QWidget *SettingsWindow::serviceSection()
{
    QVBoxLayout *content = nullptr;
    QFrame *section = card(this, QStringLiteral("Local service"), &content);
    m_serviceTitle = FormWidgets::text(section, QStringLiteral("settingsServiceTitle"));
    m_serviceDetail = roleText(section, QStringLiteral("settingsServiceDetail"), "note");
    QPushButton *copy = FormWidgets::button(section, QStringLiteral("settingsCopyDebugInfo"), QStringLiteral("Copy Debug Info"));
    connect(copy, &QPushButton::clicked, m_model, &AppModel::copyServiceDebugInfo);
    content->addWidget(m_serviceTitle);
    content->addWidget(m_serviceDetail);
    content->addWidget(copy, 0, Qt::AlignLeft);
    return section;
}

QWidget *SettingsWindow::securitySection()
{
    QVBoxLayout *content = nullptr;
    QFrame *section = card(this, QStringLiteral("Security"), &content);
    m_localVaultSummary = FormWidgets::text(section, QStringLiteral("settingsLocalVaultSummary"));
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

    content->addWidget(m_localVaultSummary);
    content->addWidget(m_keychainSummary);
    content->addWidget(m_checkKeychain, 0, Qt::AlignLeft);
    content->addWidget(m_keychainMessage);
    content->addWidget(m_legacyControls);
    return section;
}

QWidget *SettingsWindow::updatesSection(const QString &updateBehavior, bool updatesEnabled)
{
    QVBoxLayout *content = nullptr;
    QFrame *section = card(this, QStringLiteral("Updates"), &content);
    content->addWidget(roleText(section, QStringLiteral("settingsUpdateBehavior"), "note", updateBehavior));
    QPushButton *check = FormWidgets::button(section, QStringLiteral("settingsCheckForUpdates"), QStringLiteral("Check for Updates..."));
    check->setEnabled(updatesEnabled);
    connect(check, &QPushButton::clicked, this, &SettingsWindow::checkForUpdatesRequested);
    content->addWidget(check, 0, Qt::AlignLeft);
    return section;
}

QWidget *SettingsWindow::crashReportsSection()
{
    QVBoxLayout *content = nullptr;
    QFrame *section = card(this, QStringLiteral("Crash reports"), &content);
    m_offerCrashReports = new QCheckBox(QStringLiteral("After a crash, offer to share an anonymous crash report"), section);
    m_offerCrashReports->setObjectName(QStringLiteral("settingsOfferCrashReports"));
    UserDefaults &defaults = m_model->context()->userDefaults();
    m_offerCrashReports->setChecked(defaults.storedBool(CrashReporter::offerEnabledKey).value_or(true));
    connect(m_offerCrashReports, &QCheckBox::toggled, this,
            [&defaults](bool offer) { defaults.setBool(CrashReporter::offerEnabledKey, offer); });
    content->addWidget(m_offerCrashReports);
    content->addWidget(roleText(section, QString(), "note",
                                QStringLiteral("The report names only the crash type, the code location and the versions. "
                                               "Nothing leaves this computer unless you choose to share it.")));
    return section;
}

void SettingsWindow::render()
{
    const ServiceSupervision &supervision = *m_model->supervision();
    m_serviceTitle->setText(supervision.localServiceStatusTitle());
    m_serviceDetail->setText(supervision.localServiceStatusDetail());
    const KeychainTrust &trust = *m_model->keychainTrust();
    m_localVaultSummary->setText(trust.localVaultSummary());
    m_keychainSummary->setText(trust.keychainTrustSummary());
    m_keychainMessage->setText(trust.keychainTrustMessage());
    m_keychainMessage->setVisible(!trust.keychainTrustMessage().isEmpty());
    m_checkKeychain->setEnabled(!m_model->context()->actions().contains(KeychainTrust::checkActionKey));
    m_legacyControls->setVisible(LegacyKeychainPolicy::isEnabled());
    m_repairOperatorItem->setEnabled(!trust.keychainTrustRepairInProgress());
    m_repairAll->setEnabled(!trust.keychainTrustRepairInProgress());
}
