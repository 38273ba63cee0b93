#pragma once

#include <QMainWindow>

class AppModel;
class MainContentView;
class QLabel;
class PresencePasswordDialog;

// The main window: the root surface the content view picks (welcome, splash, dashboard, web
// fallback, native shell) and a status line with the model's banner.
// Its content starts the model's refresh the first time it is shown.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{1180, 760};
    static constexpr QSize minimumContentSize{980, 680};

    explicit MainWindow(AppModel *model, QWidget *parent = nullptr);

    MainContentView *contentView() const { return m_contentView; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void renderBanner();
    void bringForward();
    void activate();
    void offerSealedUnlock();

    AppModel *m_model;
    MainContentView *m_contentView;
    PresencePasswordDialog *m_passwordDialog;
    QLabel *m_bannerLabel;
    bool m_refreshStarted = false;
};
