#include "MainWindow.h"

#include "AppModel.h"
#include "FirstRunBreadcrumbs.h"
#include "MainContentView.h"
#include "PresencePasswordDialog.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

namespace {
// RGB (0.063, 0.071, 0.078): the window's own dark background.
const QColor windowBackground = QColor::fromRgbF(0.063f, 0.071f, 0.078f);

QString bannerColor(StatusBanner::Kind kind)
{
    switch (kind) {
    case StatusBanner::Kind::info:
        return QStringLiteral("#c9d1d9");
    case StatusBanner::Kind::working:
        return QStringLiteral("#79b8ff");
    case StatusBanner::Kind::success:
        return QStringLiteral("#56d364");
    case StatusBanner::Kind::error:
        return QStringLiteral("#f85149");
    }
    return {};
}
} // namespace

MainWindow::MainWindow(AppModel *model, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_contentView(new MainContentView(model, this))
    , m_passwordDialog(new PresencePasswordDialog(model->presencePrompt(), this))
    , m_bannerLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("tvn.main.window"));
    setWindowTitle(model->identity().appName());
    setAccessibleName(model->identity().appName());

    QPalette dark = palette();
    dark.setColor(QPalette::Window, windowBackground);
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xed, 0xf3));
    setPalette(dark);
    setAutoFillBackground(true);

    setCentralWidget(m_contentView);
    m_bannerLabel->setObjectName(QStringLiteral("statusBanner"));
    m_bannerLabel->setTextFormat(Qt::PlainText);
    statusBar()->setStyleSheet(QStringLiteral("QStatusBar { padding: 4px 12px; }"));
    statusBar()->addWidget(m_bannerLabel, 1);
    statusBar()->setSizeGripEnabled(true);

    setMinimumSize(minimumContentSize);
    resize(contentSize);

    connect(&model->context()->status(), &StatusReporter::statusBannerChanged, this, &MainWindow::renderBanner);
    connect(model->supervision(), &ServiceSupervision::mainWindowForwardRequested, this, &MainWindow::bringForward);
    connect(model->dashboardHandoff(), &DashboardHandoff::mainWindowActivationRequested, this, &MainWindow::activate);
    connect(model->vaultUnlock(), &VaultUnlock::shouldOfferTouchIDSetupChanged, this, &MainWindow::offerSealedUnlock);
    renderBanner();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_refreshStarted)
        return;
    m_refreshStarted = true;
    m_model->refresh();
}

void MainWindow::renderBanner()
{
    const StatusBanner banner = m_model->statusBanner();
    m_bannerLabel->setText(banner.message);
    m_bannerLabel->setStyleSheet(QStringLiteral("color: %1;").arg(bannerColor(banner.kind)));
}

void MainWindow::bringForward()
{
    FirstRunBreadcrumbs::record(QStringLiteral("window-activate (app-delegate bringMainWindowForward)"));
    activate();
}

void MainWindow::activate()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::offerSealedUnlock()
{
    VaultUnlock *vault = m_model->vaultUnlock();
    if (!vault->shouldOfferTouchIDSetup())
        return;
    const VaultUnlockMethod method = vault->availableMethod();
    QMessageBox sheet(QMessageBox::Question, VaultUnlockMethods::offerTitle(method), VaultUnlockMethods::offerTitle(method),
                      QMessageBox::NoButton, this);
    sheet.setObjectName(QStringLiteral("sealedUnlockOffer"));
    sheet.setInformativeText(VaultUnlockMethods::firstRunOfferSentence(method));
    QPushButton *enable = sheet.addButton(QStringLiteral("Enable"), QMessageBox::AcceptRole);
    sheet.addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
    sheet.setDefaultButton(enable);
    sheet.exec();
    if (sheet.clickedButton() == enable)
        vault->enableTouchIDFromFirstRunPrompt();
    else
        vault->declineTouchIDFromFirstRunPrompt();
}
