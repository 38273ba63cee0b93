#pragma once

#include <QMainWindow>

class AppModel;
class QLabel;
class PresencePasswordDialog;
class ServiceStatusView;
class VaultAccessView;

// The main window: the service status surface, the way to an unlocked vault, and a status line
// with the model's banner.
// Its content starts the model's refresh the first time it is shown.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{1180, 760};
    static constexpr QSize minimumContentSize{980, 680};

    explicit MainWindow(AppModel *model, QWidget *parent = nullptr);

    ServiceStatusView *serviceStatusView() const { return m_serviceStatusView; }
    VaultAccessView *vaultAccessView() const { return m_vaultAccessView; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void renderBanner();
    void bringForward();
    void offerSealedUnlock();

    AppModel *m_model;
    ServiceStatusView *m_serviceStatusView;
    VaultAccessView *m_vaultAccessView;
    PresencePasswordDialog *m_passwordDialog;
    QLabel *m_bannerLabel;
    bool m_refreshStarted = false;
};
