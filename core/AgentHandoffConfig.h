#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// A ready-made MCP configuration for one agent profile, as the user copies it: every input is
// sanitised (a value that does not pass falls back or is dropped), and the JSON text, the shell
// check command and the key file path are derived from the sanitised values.
class AgentHandoffConfig
{
public:
    // Never fails. `signerPath`, like the state directory, is kept only as a clean absolute path.
    AgentHandoffConfig(const QString &profile, const QString &brokerURL, const QString &wrapperCommand,
                       const std::optional<QString> &stateDirectory, const std::optional<QString> &runtimeLane,
                       const std::optional<QString> &signerPath = std::nullopt);

    QString profile() const { return m_profile; }
    QString brokerURL() const { return m_brokerURL; }
    QString wrapperCommand() const { return m_wrapperCommand; }
    std::optional<QString> stateDirectory() const { return m_stateDirectory; }
    std::optional<QString> runtimeLane() const { return m_runtimeLane; }
    std::optional<QString> signerPath() const { return m_signerPath; }

    // (state directory + "/agent-keys", or the default prefix) + "/" + profile + ".key".
    QString profileStorePath() const;
    // `NAME='value' …` (only with a state directory, lane or signer) + wrapper --profile … --check.
    QString checkCommand() const;
    // {"mcpServers": {"tvn": {"command", "args", "env"}}}, written line by line.
    QString mcpJSON() const;
    // mcpJSON without surrounding white space.
    QString clipboardText() const;

    // The text parses as such a configuration and sanitising would change none of its values.
    static bool isValidClipboardText(const QString &text);
    // Backslash, quote, CR, tab and LF get their short escapes, other control characters \u00XX.
    static QString jsonEscape(const QString &text);

    static QString sanitizedProfile(const QString &profile);
    static QString sanitizedBrokerURL(const QString &brokerURL);
    static QString sanitizedWrapperCommand(const QString &command);
    static std::optional<QString> sanitizedAbsolutePath(const QString &path);
    static std::optional<QString> sanitizedRuntimeLane(const QString &lane);

    bool operator==(const AgentHandoffConfig &) const = default;

private:
    // The environment entries present, sorted by name.
    QList<QPair<QString, QString>> environment() const;

    QString m_profile;
    QString m_brokerURL;
    QString m_wrapperCommand;
    std::optional<QString> m_stateDirectory;
    std::optional<QString> m_runtimeLane;
    std::optional<QString> m_signerPath;
};
