#pragma once

#include "AgentHandoffVerificationStep.h"
#include "WrapperInvocation.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>

#include <chrono>
#include <optional>

// The wrapper met as an agent app meets it: started as an MCP server on stdio, asked to
// initialize and to list its tools. Only a session that lists Torvane's tools passes; one that
// lists just the status tool is asked for the reason. Blocks for up to the budget: run it on a
// worker thread.
class WrapperMcpSession
{
public:
    static AgentHandoffVerificationStep probe(const WrapperInvocation &invocation, std::chrono::milliseconds budget);

private:
    WrapperMcpSession(const WrapperInvocation &invocation, std::chrono::milliseconds budget);
    ~WrapperMcpSession();

    AgentHandoffVerificationStep run();
    // The answer to request `id`, or none when the wrapper exits or the budget runs out first.
    std::optional<QJsonObject> request(int id, const QString &method, const QJsonObject &params);
    void notify(const QString &method);
    void send(const QJsonObject &message);
    std::optional<QJsonObject> nextMessage();
    QString lastErrorLine();
    QString unanswered(const QString &method);
    QString statusText();

    const WrapperInvocation &m_invocation;
    std::chrono::steady_clock::time_point m_deadline;
    std::chrono::milliseconds m_budget;
    QProcess m_process;
    QByteArray m_buffer;
};
