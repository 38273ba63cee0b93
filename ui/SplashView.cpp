#include "SplashView.h"

#include "AppModel.h"
#include "DarkStyle.h"

#include <QLabel>
#include <QVBoxLayout>

SplashView::SplashView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_phaseLabel(DarkStyle::wrappedLabel(this, QStringLiteral("splashPhase")))
    , m_detailLabel(DarkStyle::wrappedLabel(this, QStringLiteral("splashDetail")))
{
    setObjectName(QStringLiteral("splash"));
    setStyleSheet(DarkStyle::screenStyleSheet());
    QLabel *title = DarkStyle::titleLabel(this, QStringLiteral("splashTitle"), 2.0);
    title->setText(QStringLiteral("Torvane is starting"));
    title->setAlignment(Qt::AlignHCenter);
    m_phaseLabel->setProperty("role", QStringLiteral("accent"));
    m_phaseLabel->setAlignment(Qt::AlignHCenter);
    m_detailLabel->setProperty("role", QStringLiteral("muted"));
    m_detailLabel->setAlignment(Qt::AlignHCenter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(64, 40, 64, 40);
    layout->setSpacing(12);
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(m_phaseLabel);
    layout->addWidget(m_detailLabel);
    layout->addStretch();

    connect(m_model, &AppModel::changed, this, &SplashView::render);
    render();
}

void SplashView::render()
{
    const ServiceSupervision &supervision = *m_model->supervision();
    const LocalServiceStartPhase phase = supervision.localServiceStartPhase();
    const QString elapsed = supervision.localServiceActionInProgress()
        ? QStringLiteral(" (%1 s)").arg(supervision.localServiceStartElapsedSeconds())
        : QString();
    m_phaseLabel->setText(phase.title() + elapsed);
    m_detailLabel->setText(supervision.localServiceMessage());
}
