#include "WrapperMcpSession.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
using Kind = AgentHandoffVerificationStep::Kind;
using std::chrono::milliseconds;
const QString collectTool = QStringLiteral("tvn_approval_result");
const QString statusTool = QStringLiteral("tvn_status");
constexpr milliseconds pollInterval{50};

AgentHandoffVerificationStep step(bool ok, const QString &detail)
{
    return AgentHandoffVerificationStep::make(Kind::mcpSession, ok, detail);
}

QStringList toolNames(const QJsonObject &answer)
{
    QStringList names;
    for (const QJsonValue &tool : answer.value(QStringLiteral("result")).toObject().value(QStringLiteral("tools")).toArray())
        names.append(tool.toObject().value(QStringLiteral("name")).toString());
    return names;
}

QString refusalOf(const QJsonObject &answer)
{
    return answer.value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString();
}
} // namespace

WrapperMcpSession::WrapperMcpSession(const WrapperInvocation &invocation, milliseconds budget)
    : m_invocation(invocation), m_deadline(std::chrono::steady_clock::now() + budget), m_budget(budget)
{
}

WrapperMcpSession::~WrapperMcpSession()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    m_process.terminate();
    if (!m_process.waitForFinished(1000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

AgentHandoffVerificationStep WrapperMcpSession::probe(const WrapperInvocation &invocation, milliseconds budget)
{
    WrapperMcpSession session(invocation, budget);
    return session.run();
}

AgentHandoffVerificationStep WrapperMcpSession::run()
{
    m_process.setProgram(m_invocation.program());
    m_process.setArguments(m_invocation.arguments(false));
    m_process.setProcessEnvironment(m_invocation.environment());
    m_process.start();
    if (!m_process.waitForStarted(static_cast<int>(m_budget.count())))
        return step(false, QStringLiteral("The wrapper did not start as an MCP server: ") + m_process.errorString());

    const QJsonObject hello{{QStringLiteral("protocolVersion"), QStringLiteral("2025-06-18")},
                            {QStringLiteral("capabilities"), QJsonObject()},
                            {QStringLiteral("clientInfo"), QJsonObject{{QStringLiteral("name"), QStringLiteral("torvane-handoff-check")},
                                                                       {QStringLiteral("version"), QStringLiteral("1")}}}};
    const std::optional<QJsonObject> initialized = request(1, QStringLiteral("initialize"), hello);
    if (!initialized)
        return step(false, unanswered(QStringLiteral("initialize")));
    if (initialized->contains(QStringLiteral("error")))
        return step(false, QStringLiteral("MCP initialize was refused: ") + refusalOf(*initialized));
    notify(QStringLiteral("notifications/initialized"));

    const std::optional<QJsonObject> listed = request(2, QStringLiteral("tools/list"), QJsonObject());
    if (!listed)
        return step(false, unanswered(QStringLiteral("tools/list")));
    if (listed->contains(QStringLiteral("error")))
        return step(false, QStringLiteral("MCP tools/list was refused: ") + refusalOf(*listed));
    const QStringList names = toolNames(*listed);
    if (!names.contains(collectTool))
        return step(false, QStringLiteral("MCP tools/list showed an agent app none of Torvane's tools for profile %1: %2")
                               .arg(m_invocation.profile, statusText()));
    return step(true, QStringLiteral("MCP initialize and tools/list answered as an agent app sees them: %1 tools for profile %2")
                          .arg(names.size())
                          .arg(m_invocation.profile));
}

std::optional<QJsonObject> WrapperMcpSession::request(int id, const QString &method, const QJsonObject &params)
{
    send({{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
          {QStringLiteral("id"), id},
          {QStringLiteral("method"), method},
          {QStringLiteral("params"), params}});
    while (std::optional<QJsonObject> message = nextMessage()) {
        if (message->value(QStringLiteral("id")) == QJsonValue(id))
            return message;
    }
    return std::nullopt;
}

void WrapperMcpSession::notify(const QString &method)
{
    send({{QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("method"), method}});
}

void WrapperMcpSession::send(const QJsonObject &message)
{
    m_process.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
    m_process.waitForBytesWritten(static_cast<int>(pollInterval.count()));
}

// One message per line; lines that are not JSON objects are skipped as an agent app would.
std::optional<QJsonObject> WrapperMcpSession::nextMessage()
{
    while (std::chrono::steady_clock::now() < m_deadline) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            const QJsonDocument document = QJsonDocument::fromJson(m_buffer.left(end));
            m_buffer.remove(0, end + 1);
            if (document.isObject())
                return document.object();
            continue;
        }
        if (m_process.state() == QProcess::NotRunning && m_process.bytesAvailable() == 0)
            return std::nullopt;
        m_process.waitForReadyRead(static_cast<int>(pollInterval.count()));
        m_buffer += m_process.readAllStandardOutput();
    }
    return std::nullopt;
}

QString WrapperMcpSession::lastErrorLine()
{
    const QStringList lines = QString::fromUtf8(m_process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.constLast().trimmed();
}

QString WrapperMcpSession::unanswered(const QString &method)
{
    const QString reason = m_process.state() == QProcess::NotRunning
        ? QStringLiteral("MCP %1 got no answer: the wrapper exited").arg(method)
        : QStringLiteral("MCP %1 got no answer within %2 s").arg(method).arg(m_budget.count() / 1000);
    const QString said = lastErrorLine();
    return said.isEmpty() ? reason : reason + QStringLiteral(" (") + said + QLatin1Char(')');
}

// What the wrapper's status tool says about a session without tools.
QString WrapperMcpSession::statusText()
{
    const QJsonObject call{{QStringLiteral("name"), statusTool}, {QStringLiteral("arguments"), QJsonObject()}};
    const std::optional<QJsonObject> answer = request(3, QStringLiteral("tools/call"), call);
    const QJsonArray content = answer ? answer->value(QStringLiteral("result")).toObject().value(QStringLiteral("content")).toArray()
                                      : QJsonArray();
    const QString text = content.isEmpty() ? QString() : content.first().toObject().value(QStringLiteral("text")).toString();
    return text.isEmpty() ? QStringLiteral("the wrapper did not say why") : text;
}
