#include "AdvancedScreen.h"

#include "AppModel.h"
#include "ApprovalsSection.h"
#include "AuditLogSection.h"
#include "BackupSection.h"
#include "EmergencyControlsSection.h"
#include "FormWidgets.h"
#include "ProxyProfilesSection.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QFrame *sectionCard(QWidget *parent, const QString &name, QWidget *content)
{
    QFrame *card = FormWidgets::card(parent, name);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 18, 20, 18);
    content->setParent(card);
    layout->addWidget(content);
    return card;
}
} // namespace

AdvancedScreen::AdvancedScreen(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_postureLabel(FormWidgets::text(this, QStringLiteral("tvn-posture")))
    , m_vaultLabel(FormWidgets::text(this, QStringLiteral("tvn-vault-summary")))
    , m_sealedButton(FormWidgets::button(this, QStringLiteral("tvn-vault-sealed-toggle"), {}))
    , m_stopButton(FormWidgets::button(this, QStringLiteral("tvn-posture-stop"), QStringLiteral("Turn off service")))
{
    setObjectName(QStringLiteral("tvn-advanced-screen"));
    QLabel *intro = FormWidgets::text(this, QStringLiteral("tvn-advanced-intro"),
                                      QStringLiteral("Approvals, connections, proxy routes, local vault, backup, audit, "
                                                     "and emergency controls."));
    FormWidgets::setRole(intro, "note");
    QLabel *title = FormWidgets::text(this, QStringLiteral("tvn-advanced-title"), QStringLiteral("Advanced"));
    FormWidgets::setRole(title, "headline");

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(16);
    layout->addWidget(title);
    layout->addWidget(intro);
    layout->addWidget(sectionCard(this, QStringLiteral("Pending approvals"), new ApprovalsSection(model)));
    layout->addWidget(sectionCard(this, QStringLiteral("Local posture"), postureSection()));
    layout->addWidget(sectionCard(this, QStringLiteral("Local vault"), vaultSection()));
    layout->addWidget(sectionCard(this, QStringLiteral("Proxy profiles"), new ProxyProfilesSection(model)));
    layout->addWidget(sectionCard(this, QStringLiteral("Backup"), new BackupSection(model)));
    layout->addWidget(sectionCard(this, QStringLiteral("Audit"), new AuditLogSection(model)));
    layout->addWidget(sectionCard(this, QStringLiteral("Emergency controls"), new EmergencyControlsSection(model)));
    layout->addStretch();

    connect(model, &AppModel::changed, this, &AdvancedScreen::render);
    render();
}

QWidget *AdvancedScreen::postureSection()
{
    auto *section = new QWidget;
    FormWidgets::setRole(m_postureLabel, "note");
    QPushButton *open = FormWidgets::button(section, QStringLiteral("tvn-posture-open-dashboard"),
                                            QStringLiteral("Open local dashboard"));
    open->setToolTip(QStringLiteral("Open the local service dashboard in your browser"));
    QPushButton *copy = FormWidgets::button(section, QStringLiteral("tvn-posture-copy-debug"),
                                            QStringLiteral("Copy redacted service debug info (no secrets)"));
    FormWidgets::setRole(m_stopButton, "danger");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(open);
    buttons->addWidget(m_stopButton);
    buttons->addWidget(copy);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(section, QStringLiteral("tvn-posture-heading"), QStringLiteral("Local posture")));
    m_postureLabel->setParent(section);
    layout->addWidget(m_postureLabel);
    layout->addLayout(buttons);
    connect(open, &QPushButton::clicked, this, &AdvancedScreen::openDashboardRequested);
    connect(m_stopButton, &QPushButton::clicked, m_model, [model = m_model] { model->stopLocalService(); });
    connect(copy, &QPushButton::clicked, m_model, &AppModel::copyServiceDebugInfo);
    return section;
}

QWidget *AdvancedScreen::vaultSection()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FormWidgets::heading(section, QStringLiteral("tvn-vault-heading"), QStringLiteral("Local vault")));
    m_vaultLabel->setParent(section);
    m_sealedButton->setParent(section);
    FormWidgets::setRole(m_vaultLabel, "note");
    layout->addWidget(m_vaultLabel);
    layout->addWidget(m_sealedButton, 0, Qt::AlignLeft);
    connect(m_sealedButton, &QPushButton::clicked, m_model, [model = m_model] {
        if (model->vaultUnlock()->operatorSealedEnabled())
            model->disableSecureEnclaveUnlock();
        else
            model->enableSecureEnclaveUnlock();
    });
    return section;
}

void AdvancedScreen::render()
{
    const BrokerSnapshot *snapshot = m_model->snapshot();
    const ServiceSupervision *supervision = m_model->supervision();
    const LocalPosture posture = snapshot->localPosture();
    const QStringList facts{
        QStringLiteral("Service: ") + supervision->localServiceStatusTitle(),
        QStringLiteral("Broker: ") + (supervision->brokerReadyAndVerified() ? QStringLiteral("ready and verified")
                                                                           : QStringLiteral("not ready")),
        QStringLiteral("Connectors: %1").arg(snapshot->connectors().size()),
        QStringLiteral("Accounts: %1").arg(snapshot->connectedAccountsCount()),
        QStringLiteral("Pending: %1").arg(snapshot->approvals().size()),
        QStringLiteral("Service root: ") + m_model->identity().serviceRootURL().toLocalFile()};
    m_postureLabel->setText(facts.join(QLatin1Char('\n')));
    m_stopButton->setEnabled(supervision->brokerHealthReady() && !supervision->localServiceActionInProgress());

    const VaultUnlock *vault = m_model->vaultUnlock();
    const bool sealed = vault->operatorSealedEnabled();
    QString summary = sealed ? QStringLiteral("Hardware-sealed unlock is on: the vault's unlock secret is sealed to this "
                                              "computer's TPM and released after the system login.")
                             : QStringLiteral("TVN is using its owner-only local vault. Hardware-sealed unlock is off.");
    if (!vault->secureEnclaveUnlockFeedbackText().isEmpty())
        summary += QLatin1Char('\n') + vault->secureEnclaveUnlockFeedbackText();
    m_vaultLabel->setText(summary);
    m_sealedButton->setText(sealed ? QStringLiteral("Turn off hardware-sealed unlock")
                                   : QStringLiteral("Turn on hardware-sealed unlock"));
    m_sealedButton->setAccessibleName(m_sealedButton->text());
    m_sealedButton->setEnabled(!vault->secureEnclaveUnlockInProgress() && snapshot->operatorUnlocked());
}
