#pragma once

#include <QUuid>
#include <QWidget>

#include <optional>

struct AgentHandoffVerificationReport;
class QLabel;
class QVBoxLayout;

// The receipt of a handoff verification: the headline, what was checked (profile, broker,
// wrapper, vault file and, when asked, the config file) and each step with its outcome.
class AgentHandoffVerificationReceipt : public QWidget
{
    Q_OBJECT

public:
    explicit AgentHandoffVerificationReceipt(QWidget *parent = nullptr);

    // Hidden without a report.
    void show(const std::optional<AgentHandoffVerificationReport> &report, bool showConfigPath);

private:
    QLabel *m_headline;
    QLabel *m_facts;
    QVBoxLayout *m_steps;
    // The report on show; the same report is not laid out again.
    std::optional<QUuid> m_shown;
};
