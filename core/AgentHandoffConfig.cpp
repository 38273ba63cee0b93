#include "AgentHandoffConfig.h"

#include "AgentHandoffConstants.h"
#include "BackslashEscape.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {
const QString brokerURLVariable = QStringLiteral("TVN_BROKER_URL");
const QString legacyBrokerVariable = QStringLiteral("SWITCHYARD_BROKER");
const QString stateDirectoryVariable = QStringLiteral("SWITCHYARD_STATE_DIR");
const QString laneVariable = QStringLiteral("TVN_RUNTIME_LANE");
const QString signerVariable = QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH");
const QString profileFlag = QStringLiteral("--profile");
constexpr qsizetype maxPathLength = 1024;
constexpr qsizetype minClipboardLength = 80;

bool matchesWhole(const QString &text, const char *pattern)
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern)));
    return expression.match(text).hasMatch();
}

// JSON allows no raw control character inside a string.
bool isJsonControlCharacter(char16_t c)
{
    return c < 0x20;
}

QString shellQuoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString jsonString(const QString &value)
{
    return QLatin1Char('"') + AgentHandoffConfig::jsonEscape(value) + QLatin1Char('"');
}

// A present value is a string that sanitising leaves as it is.
bool optionalPathIsClean(const QJsonObject &environment, const QString &name)
{
    if (!environment.contains(name))
        return true;
    const QJsonValue value = environment.value(name);
    return value.isString() && AgentHandoffConfig::sanitizedAbsolutePath(value.toString()) == value.toString();
}

bool brokerURLIsClean(const QJsonObject &environment)
{
    const QJsonValue value = environment.value(brokerURLVariable).isString() ? environment.value(brokerURLVariable)
                                                                            : environment.value(legacyBrokerVariable);
    return value.isString() && AgentHandoffConfig::sanitizedBrokerURL(value.toString()) == value.toString();
}

bool laneIsClean(const QJsonObject &environment)
{
    if (!environment.contains(laneVariable))
        return true;
    const QString lane = environment.value(laneVariable).toString();
    return lane == QLatin1StringView("development") || lane == QLatin1StringView("production");
}

bool argsAreClean(const QJsonValue &args)
{
    const QJsonArray list = args.toArray();
    return args.isArray() && list.size() == 2 && list.at(0) == QJsonValue(profileFlag) && list.at(1).isString()
        && AgentHandoffConfig::sanitizedProfile(list.at(1).toString()) == list.at(1).toString();
}

std::optional<QJsonObject> serverEntry(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    const QJsonValue servers = document.object().value(QStringLiteral("mcpServers"));
    const QJsonValue entry = servers.toObject().value(QStringLiteral("tvn"));
    if (!document.isObject() || !servers.isObject() || !entry.isObject())
        return std::nullopt;
    return entry.toObject();
}
} // namespace

AgentHandoffConfig::AgentHandoffConfig(const QString &profile, const QString &brokerURL, const QString &wrapperCommand,
                                       const std::optional<QString> &stateDirectory,
                                       const std::optional<QString> &runtimeLane, const std::optional<QString> &signerPath)
    : m_profile(sanitizedProfile(profile))
    , m_brokerURL(sanitizedBrokerURL(brokerURL))
    , m_wrapperCommand(sanitizedWrapperCommand(wrapperCommand))
    , m_stateDirectory(stateDirectory ? sanitizedAbsolutePath(*stateDirectory) : std::nullopt)
    , m_runtimeLane(runtimeLane ? sanitizedRuntimeLane(*runtimeLane) : std::nullopt)
    , m_signerPath(signerPath ? sanitizedAbsolutePath(*signerPath) : std::nullopt)
{
}

QString AgentHandoffConfig::sanitizedProfile(const QString &profile)
{
    const QString value = profile.trimmed();
    return matchesWhole(value, "[A-Za-z0-9_.:-]{1,64}") ? value : AgentHandoffConstants::fallbackProfile;
}

QString AgentHandoffConfig::sanitizedBrokerURL(const QString &brokerURL)
{
    const QString value = brokerURL.trimmed();
    return matchesWhole(value, R"(https?://(127\.0\.0\.1|localhost|\[::1\])(?::\d+)?(?:/.*)?)")
        ? value
        : AgentHandoffConstants::fallbackBrokerURL;
}

QString AgentHandoffConfig::sanitizedWrapperCommand(const QString &command)
{
    const QString value = command.trimmed();
    return matchesWhole(value, "[A-Za-z0-9_./: -]{1,320}") ? value : AgentHandoffConstants::wrapperCommand;
}

std::optional<QString> AgentHandoffConfig::sanitizedAbsolutePath(const QString &path)
{
    const QString value = path.trimmed();
    const bool clean = value.startsWith(QLatin1Char('/')) && value.size() <= maxPathLength
        && !value.contains(QChar(u'\0')) && QDir::cleanPath(value) == value;
    return clean ? std::optional<QString>(value) : std::nullopt;
}

std::optional<QString> AgentHandoffConfig::sanitizedRuntimeLane(const QString &lane)
{
    const QString value = lane.trimmed().toLower();
    const bool known = value == QLatin1StringView("development") || value == QLatin1StringView("production");
    return known ? std::optional<QString>(value) : std::nullopt;
}

QList<QPair<QString, QString>> AgentHandoffConfig::environment() const
{
    QList<QPair<QString, QString>> variables{{brokerURLVariable, m_brokerURL}};
    if (m_stateDirectory)
        variables.append({stateDirectoryVariable, *m_stateDirectory});
    if (m_runtimeLane)
        variables.append({laneVariable, *m_runtimeLane});
    if (m_signerPath)
        variables.append({signerVariable, *m_signerPath});
    std::sort(variables.begin(), variables.end());
    return variables;
}

QString AgentHandoffConfig::profileStorePath() const
{
    const QString directory = m_stateDirectory ? *m_stateDirectory + QStringLiteral("/agent-keys")
                                               : AgentHandoffConstants::stateKeyPathPrefix;
    return directory + QLatin1Char('/') + m_profile + QStringLiteral(".key");
}

QString AgentHandoffConfig::checkCommand() const
{
    QString prefix;
    if (m_stateDirectory || m_runtimeLane || m_signerPath) {
        QStringList assignments;
        for (const auto &[name, value] : environment())
            assignments.append(name + QLatin1Char('=') + shellQuoted(value));
        prefix = assignments.join(QLatin1Char(' ')) + QLatin1Char(' ');
    }
    return prefix + shellQuoted(m_wrapperCommand) + QStringLiteral(" --profile ") + shellQuoted(m_profile)
        + QStringLiteral(" --check");
}

QString AgentHandoffConfig::mcpJSON() const
{
    QStringList environmentLines;
    for (const auto &[name, value] : environment())
        environmentLines.append(QStringLiteral("        ") + jsonString(name) + QStringLiteral(": ") + jsonString(value));
    const QStringList lines{
        QStringLiteral("{"),
        QStringLiteral("  \"mcpServers\": {"),
        QStringLiteral("    \"tvn\": {"),
        QStringLiteral("      \"command\": ") + jsonString(m_wrapperCommand) + QLatin1Char(','),
        QStringLiteral("      \"args\": [") + jsonString(profileFlag) + QStringLiteral(", ") + jsonString(m_profile)
            + QStringLiteral("],"),
        QStringLiteral("      \"env\": {"),
        environmentLines.join(QStringLiteral(",\n")),
        QStringLiteral("      }"),
        QStringLiteral("    }"),
        QStringLiteral("  }"),
        QStringLiteral("}"),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString AgentHandoffConfig::clipboardText() const
{
    return mcpJSON().trimmed();
}

QString AgentHandoffConfig::jsonEscape(const QString &text)
{
    return backslashEscaped(text, &isJsonControlCharacter);
}

bool AgentHandoffConfig::isValidClipboardText(const QString &text)
{
    if (text.size() < minClipboardLength || !text.startsWith(QLatin1Char('{')))
        return false;
    const std::optional<QJsonObject> entry = serverEntry(text);
    if (!entry)
        return false;
    const QJsonValue command = entry->value(QStringLiteral("command"));
    const QJsonValue environment = entry->value(QStringLiteral("env"));
    if (!command.isString() || !environment.isObject())
        return false;
    const QJsonObject variables = environment.toObject();
    return brokerURLIsClean(variables) && sanitizedWrapperCommand(command.toString()) == command.toString()
        && argsAreClean(entry->value(QStringLiteral("args"))) && optionalPathIsClean(variables, stateDirectoryVariable)
        && optionalPathIsClean(variables, signerVariable) && laneIsClean(variables);
}
