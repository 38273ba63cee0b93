#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;

// The local service at a glance: what state it is in, what is happening now, and the one action
// that moves it forward (behind its confirmation), plus Stop and Copy debug info.
class ServiceStatusView : public QWidget
{
    Q_OBJECT

public:
    explicit ServiceStatusView(AppModel *model, QWidget *parent = nullptr);

    QPushButton *primaryButton() const { return m_primaryButton; }
    QPushButton *stopButton() const { return m_stopButton; }
    QPushButton *copyDebugInfoButton() const { return m_copyButton; }

private:
    void render();
    void askToConfirmPrimaryAction();
    QString phaseLine() const;

    AppModel *m_model;
    QLabel *m_titleLabel;
    QLabel *m_detailLabel;
    QLabel *m_phaseLabel;
    QLabel *m_phaseDetailLabel;
    QPushButton *m_primaryButton;
    QPushButton *m_stopButton;
    QPushButton *m_copyButton;
};
