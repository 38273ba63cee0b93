#pragma once

#include <QWidget>

class AppModel;
class QLabel;

// "Torvane is starting": shown while the local service is installed, started or waited for.
class SplashView : public QWidget
{
    Q_OBJECT

public:
    explicit SplashView(AppModel *model, QWidget *parent = nullptr);

private:
    void render();

    AppModel *m_model;
    QLabel *m_phaseLabel;
    QLabel *m_detailLabel;
};
