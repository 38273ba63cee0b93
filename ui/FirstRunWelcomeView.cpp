#include "FirstRunWelcomeView.h"

#include "AppModel.h"
#include "DarkStyle.h"
#include "HowItWorksCard.h"
#include "ServiceStartConfirmation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FirstRunWelcomeView::FirstRunWelcomeView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_turnOnButton(DarkStyle::button(this, QStringLiteral("tvn-first-run-turn-on"), {}))
    , m_phaseLabel(DarkStyle::wrappedLabel(this, QStringLiteral("welcomePhase")))
{
    setObjectName(QStringLiteral("firstRunWelcome"));
    setStyleSheet(DarkStyle::screenStyleSheet());
    DarkStyle::makePrimary(m_turnOnButton);
    m_phaseLabel->setProperty("role", QStringLiteral("accent"));

    QLabel *headline = DarkStyle::titleLabel(this, QStringLiteral("welcomeHeadline"), 2.0);
    headline->setText(QStringLiteral("Turn app keys into safe agent access on this computer."));
    QLabel *tagline = DarkStyle::wrappedLabel(this, QStringLiteral("welcomeTagline"));
    tagline->setProperty("role", QStringLiteral("muted"));
    tagline->setText(QStringLiteral("Your agent gets permission, not the key. Real app keys stay encrypted on this computer."));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_turnOnButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(64, 56, 64, 40);
    layout->setSpacing(14);
    layout->addWidget(headline);
    layout->addWidget(tagline);
    layout->addSpacing(8);
    layout->addWidget(HowItWorksCard::create(this));
    layout->addSpacing(8);
    layout->addWidget(m_phaseLabel);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(m_turnOnButton, &QPushButton::clicked, this, &FirstRunWelcomeView::askToTurnOn);
    connect(m_model, &AppModel::changed, this, &FirstRunWelcomeView::render);
    render();
}

void FirstRunWelcomeView::render()
{
    const ServiceSupervision &supervision = *m_model->supervision();
    m_turnOnButton->setText(supervision.primaryServiceActionTitle());
    m_turnOnButton->setAccessibleName(m_turnOnButton->text());
    m_turnOnButton->setEnabled(!supervision.localServiceActionInProgress() && !supervision.localServiceReconcileInProgress());
    // Waiting for approval is the one start phase that lands here; it says what to do next.
    const LocalServiceStartPhase phase = supervision.localServiceStartPhase();
    const bool showsPhase = phase.kind() == LocalServiceStartPhase::Kind::needsApproval;
    m_phaseLabel->setText(showsPhase ? phase.title() + QStringLiteral(": ") + phase.detail() : QString());
    m_phaseLabel->setVisible(showsPhase);
}

void FirstRunWelcomeView::askToTurnOn()
{
    if (ServiceStartConfirmation::ask(*m_model, this, QStringLiteral("tvn-first-run-confirmation"),
                                      QStringLiteral("tvn-first-run-confirm-turn-on")))
        m_model->confirmLocalServiceStartOrRepair();
}
