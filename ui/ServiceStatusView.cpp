#include "ServiceStatusView.h"

#include "AppModel.h"
#include "ServiceStartConfirmation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString viewStyle = QStringLiteral(R"(
QLabel { color: #e6edf3; }
QLabel#serviceDetail, QLabel#servicePhaseDetail { color: #9da7b3; }
QLabel#servicePhase { color: #79b8ff; }
QPushButton { background: #21262d; color: #e6edf3; border: 1px solid #363b42; border-radius: 6px; padding: 7px 16px; }
QPushButton:hover { background: #2b3139; }
QPushButton:disabled { color: #6e7681; }
QPushButton#primaryServiceAction { background: #2f6feb; border-color: #2f6feb; font-weight: bold; }
QPushButton#primaryServiceAction:disabled { background: #1c3d7a; }
)");

QLabel *wrappedLabel(QWidget *parent, const char *objectName)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1StringView(objectName));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

ServiceStatusView::ServiceStatusView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_titleLabel(wrappedLabel(this, "serviceTitle"))
    , m_detailLabel(wrappedLabel(this, "serviceDetail"))
    , m_phaseLabel(wrappedLabel(this, "servicePhase"))
    , m_phaseDetailLabel(wrappedLabel(this, "servicePhaseDetail"))
    , m_primaryButton(new QPushButton(this))
    , m_stopButton(new QPushButton(QStringLiteral("Stop"), this))
    , m_copyButton(new QPushButton(QStringLiteral("Copy Debug Info"), this))
{
    m_primaryButton->setObjectName(QStringLiteral("primaryServiceAction"));
    m_primaryButton->setDefault(true);
    m_stopButton->setObjectName(QStringLiteral("stopService"));
    m_copyButton->setObjectName(QStringLiteral("copyServiceDebugInfo"));
    m_stopButton->setAccessibleName(QStringLiteral("Stop the local service"));
    m_copyButton->setAccessibleName(QStringLiteral("Copy redacted service debug info"));
    setStyleSheet(viewStyle);

    QFont titleFont = m_titleLabel->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    m_titleLabel->setFont(titleFont);
    QFont phaseFont = m_phaseLabel->font();
    phaseFont.setBold(true);
    m_phaseLabel->setFont(phaseFont);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_primaryButton);
    buttons->addWidget(m_stopButton);
    buttons->addStretch();
    buttons->addWidget(m_copyButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 40, 48, 40);
    layout->setSpacing(14);
    layout->addWidget(m_titleLabel);
    layout->addWidget(m_detailLabel);
    layout->addSpacing(12);
    layout->addWidget(m_phaseLabel);
    layout->addWidget(m_phaseDetailLabel);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(m_primaryButton, &QPushButton::clicked, this, &ServiceStatusView::askToConfirmPrimaryAction);
    connect(m_stopButton, &QPushButton::clicked, m_model, [this] { m_model->stopLocalService(); });
    connect(m_copyButton, &QPushButton::clicked, m_model, &AppModel::copyServiceDebugInfo);

    connect(m_model, &AppModel::changed, this, &ServiceStatusView::render);
    render();
}

void ServiceStatusView::render()
{
    m_titleLabel->setText(m_model->supervision()->localServiceStatusTitle());
    m_detailLabel->setText(m_model->supervision()->localServiceStatusDetail());
    // "Torvane is on" already heads the view; the phase only speaks while it adds something.
    const LocalServiceStartPhase phase = m_model->supervision()->localServiceStartPhase();
    const bool showPhase = phase.isInProgress() || phase.isFailure()
        || phase.kind() == LocalServiceStartPhase::Kind::needsApproval;
    m_phaseLabel->setText(showPhase ? phaseLine() : QString());
    m_phaseLabel->setVisible(showPhase);
    m_phaseDetailLabel->setText(showPhase ? m_model->supervision()->localServiceMessage() : QString());
    m_phaseDetailLabel->setVisible(showPhase);

    const bool busy = m_model->supervision()->localServiceActionInProgress() || m_model->supervision()->localServiceReconcileInProgress();
    m_primaryButton->setText(m_model->supervision()->primaryServiceActionTitle());
    m_primaryButton->setAccessibleName(m_primaryButton->text());
    m_primaryButton->setEnabled(!busy);
    m_stopButton->setEnabled(!busy && m_model->supervision()->canStopLocalService());
}

QString ServiceStatusView::phaseLine() const
{
    const LocalServiceStartPhase phase = m_model->supervision()->localServiceStartPhase();
    if (m_model->supervision()->localServiceActionInProgress() && phase.isInProgress())
        return QStringLiteral("%1 (%2 s)").arg(phase.title()).arg(m_model->supervision()->localServiceStartElapsedSeconds());
    return phase.title();
}

void ServiceStatusView::askToConfirmPrimaryAction()
{
    if (ServiceStartConfirmation::ask(*m_model, this, QStringLiteral("serviceConfirmation")))
        m_model->confirmLocalServiceStartOrRepair();
}
