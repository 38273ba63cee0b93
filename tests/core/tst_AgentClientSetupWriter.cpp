#include "AgentClientConfigEntry.h"
#include "AgentClientDescriptor.h"
#include "AgentClientSetupWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

Q_DECLARE_METATYPE(AgentHandoffEntry)

namespace {

AgentHandoffEntry plainEntry()
{
    return {QStringLiteral("/opt/tvn/script/tvn-mcp-launch.sh"), QStringLiteral("claude-code-keel-tvn"),
            QStringLiteral("http://127.0.0.1:47382"), TVNRuntimeLane::development,
            QStringLiteral("/home/ada/.torvane-dev/state"), QStringLiteral("/usr/share/torvane/bin/tvn-pop-signer")};
}

// What each app's own reader makes of a snippet, or the reader's complaint.
struct Reading {
    QJsonValue value;
    QString error;
};

Reading readAs(const QString &reader, const QString &snippet)
{
    QProcess node;
    node.start(QStandardPaths::findExecutable(QStringLiteral("node")),
               {QStringLiteral(TVN_SOURCE_DIR "/tests/core/parse-agent-config.mjs"), reader});
    node.write(snippet.toUtf8());
    node.closeWriteChannel();
    if (!node.waitForFinished(30000) || node.exitCode() != 0)
        return {{}, QString::fromUtf8(node.readAllStandardError()) + node.errorString()};
    return {QJsonDocument::fromJson(node.readAllStandardOutput()).object(), {}};
}

QString readerFor(AgentClientFormat format)
{
    switch (format) {
    case AgentClientFormat::jsonVscode:
        return QStringLiteral("jsonc");
    case AgentClientFormat::tomlCodex:
        return QStringLiteral("toml");
    case AgentClientFormat::yamlMcpServers:
        return QStringLiteral("yaml");
    default:
        return QStringLiteral("json");
    }
}

QStringList containerPath(AgentClientFormat format)
{
    switch (format) {
    case AgentClientFormat::jsonVscode:
        return {QStringLiteral("servers")};
    case AgentClientFormat::jsonOpenclaw:
        return {QStringLiteral("mcp"), QStringLiteral("servers")};
    case AgentClientFormat::tomlCodex:
    case AgentClientFormat::yamlMcpServers:
        return {QStringLiteral("mcp_servers")};
    default:
        return {QStringLiteral("mcpServers")};
    }
}

QJsonObject expectedEntry(const AgentClientDescriptor &client, const AgentHandoffEntry &entry)
{
    QJsonObject environment{{"TVN_BROKER_URL", entry.brokerURL},
                            {"TVN_RUNTIME_LANE", TVNRuntimeLanes::rawValue(entry.lane)},
                            {"SWITCHYARD_STATE_DIR", entry.stateDirectory}};
    if (entry.signerPath)
        environment.insert("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH", *entry.signerPath);
    QJsonObject expected{{"command", entry.wrapperCommand},
                         {"args", QJsonArray{"--profile", entry.profile}},
                         {"env", environment}};
    // TOML and YAML blocks carry no transport: Codex and Hermes launch stdio servers by command.
    if (client.entryNamesTransport())
        expected.insert("type", "stdio");
    return expected;
}

QJsonValue at(QJsonValue value, const QStringList &path)
{
    for (const QString &key : path)
        value = value.toObject().value(key);
    return value;
}

} // namespace

class TestAgentClientSetupWriter : public QObject
{
    Q_OBJECT
private slots:
    void catalogLocations_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("autoWrite");
        QTest::newRow("claude-code") << "claude-code" << "~/.claude.json" << true;
        QTest::newRow("claude-desktop") << "claude-desktop" << "~/.config/Claude/claude_desktop_config.json" << true;
        QTest::newRow("cursor") << "cursor" << "~/.cursor/mcp.json" << true;
        QTest::newRow("vscode") << "vscode" << "~/.config/Code/User/mcp.json" << true;
        QTest::newRow("antigravity") << "antigravity" << "~/.config/Antigravity/User/mcp.json" << true;
        QTest::newRow("codex") << "codex" << "~/.codex/config.toml" << true;
        QTest::newRow("jetbrains") << "jetbrains" << "paste-in (manual)" << false;
        QTest::newRow("hermes") << "hermes" << "~/.hermes/config.yaml" << true;
        QTest::newRow("openclaw") << "openclaw" << "~/.openclaw/openclaw.json" << true;
    }
    void catalogLocations()
    {
        QFETCH(QString, id);
        QFETCH(QString, location);
        QFETCH(bool, autoWrite);
        const std::optional<AgentClientDescriptor> client = AgentClientDescriptor::find(id);
        QVERIFY(client);
        QCOMPARE(client->locationText(), location);
        QCOMPARE(client->autoWrite, autoWrite);
        QVERIFY(!client->notes.isEmpty());
    }

    void catalogOrder()
    {
        QStringList ids;
        for (const AgentClientDescriptor &client : AgentClientDescriptor::all())
            ids << client.id;
        QCOMPARE(ids, (QStringList{"claude-code", "claude-desktop", "cursor", "vscode", "antigravity", "codex",
                                   "jetbrains", "hermes", "openclaw"}));
        QVERIFY(!AgentClientDescriptor::find(QStringLiteral("emacs")));
    }

    void exactSnippets_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("snippet");
        QTest::newRow("Claude Code names its transport") << "claude-code" << QStringLiteral("{\n"
            "    \"mcpServers\": {\n"
            "        \"tvn\": {\n"
            "            \"args\": [\n"
            "                \"--profile\",\n"
            "                \"claude-code-keel-tvn\"\n"
            "            ],\n"
            "            \"command\": \"\\/opt\\/tvn\\/script\\/tvn-mcp-launch.sh\",\n"
            "            \"env\": {\n"
            "                \"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH\": \"\\/usr\\/share\\/torvane\\/bin\\/tvn-pop-signer\",\n"
            "                \"SWITCHYARD_STATE_DIR\": \"\\/home\\/ada\\/.torvane-dev\\/state\",\n"
            "                \"TVN_BROKER_URL\": \"http:\\/\\/127.0.0.1:47382\",\n"
            "                \"TVN_RUNTIME_LANE\": \"development\"\n"
            "            },\n"
            "            \"type\": \"stdio\"\n"
            "        }\n"
            "    }\n"
            "}\n");
        QTest::newRow("Cursor") << "cursor" << QStringLiteral("{\n"
            "    \"mcpServers\": {\n"
            "        \"tvn\": {\n"
            "            \"args\": [\n"
            "                \"--profile\",\n"
            "                \"claude-code-keel-tvn\"\n"
            "            ],\n"
            "            \"command\": \"\\/opt\\/tvn\\/script\\/tvn-mcp-launch.sh\",\n"
            "            \"env\": {\n"
            "                \"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH\": \"\\/usr\\/share\\/torvane\\/bin\\/tvn-pop-signer\",\n"
            "                \"SWITCHYARD_STATE_DIR\": \"\\/home\\/ada\\/.torvane-dev\\/state\",\n"
            "                \"TVN_BROKER_URL\": \"http:\\/\\/127.0.0.1:47382\",\n"
            "                \"TVN_RUNTIME_LANE\": \"development\"\n"
            "            }\n"
            "        }\n"
            "    }\n"
            "}\n");
        QTest::newRow("Codex") << "codex" << QStringLiteral("[mcp_servers.tvn]\n"
            "command = \"/opt/tvn/script/tvn-mcp-launch.sh\"\n"
            "args = [\"--profile\", \"claude-code-keel-tvn\"]\n"
            "\n"
            "[mcp_servers.tvn.env]\n"
            "TVN_BROKER_URL = \"http://127.0.0.1:47382\"\n"
            "TVN_RUNTIME_LANE = \"development\"\n"
            "SWITCHYARD_STATE_DIR = \"/home/ada/.torvane-dev/state\"\n"
            "SWITCHYARD_BOUND_PROFILE_SIGNER_PATH = \"/usr/share/torvane/bin/tvn-pop-signer\"\n");
        QTest::newRow("Hermes") << "hermes" << QStringLiteral("mcp_servers:\n"
            "  tvn:\n"
            "    command: \"/opt/tvn/script/tvn-mcp-launch.sh\"\n"
            "    args: [\"--profile\", \"claude-code-keel-tvn\"]\n"
            "    env:\n"
            "      TVN_BROKER_URL: \"http://127.0.0.1:47382\"\n"
            "      TVN_RUNTIME_LANE: \"development\"\n"
            "      SWITCHYARD_STATE_DIR: \"/home/ada/.torvane-dev/state\"\n"
            "      SWITCHYARD_BOUND_PROFILE_SIGNER_PATH: \"/usr/share/torvane/bin/tvn-pop-signer\"\n");
    }
    void exactSnippets()
    {
        QFETCH(QString, id);
        QFETCH(QString, snippet);
        QCOMPARE(AgentClientSetupWriter::renderSnippet(*AgentClientDescriptor::find(id), plainEntry()), snippet);
    }

    void tomlQuoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("plain") << "a/b c" << "\"a/b c\"";
        QTest::newRow("quote and backslash") << "say \"hi\" \\o/" << "\"say \\\"hi\\\" \\\\o/\"";
        QTest::newRow("line ends and tab") << "a\nb\rc\td" << "\"a\\nb\\rc\\td\"";
        QTest::newRow("other control characters") << QString("a") + QChar(0x01) + QChar(0x7f) + QChar(0x85)
                                                  << "\"a\\u0001\\u007f\\u0085\"";
        QTest::newRow("non-ASCII unchanged") << "Zoë ✓ 日本" << "\"Zoë ✓ 日本\"";
    }
    void tomlQuoting()
    {
        QFETCH(QString, text);
        QFETCH(QString, quoted);
        QCOMPARE(AgentClientSetupWriter::tomlString(text), quoted);
    }

    // Every snippet, read by the app's own kind of parser, holds exactly Torvane's entry, even with
    // values that need escaping in each format.
    void appsReadTheirSnippet_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<AgentHandoffEntry>("entry");
        AgentHandoffEntry awkward = plainEntry();
        awkward.wrapperCommand = QStringLiteral("/home/ada/My \"Tools\"\\x/\ttvn-mcp-launch.sh");
        awkward.stateDirectory = QStringLiteral("/home/zoë/state\nnext\r") + QChar(0x01) + QChar(0x85);
        awkward.lane = TVNRuntimeLane::production;
        awkward.signerPath.reset();
        for (const AgentClientDescriptor &client : AgentClientDescriptor::all()) {
            QTest::addRow("%s, plain", qPrintable(client.id)) << client.id << plainEntry();
            QTest::addRow("%s, awkward", qPrintable(client.id)) << client.id << awkward;
        }
    }
    void appsReadTheirSnippet()
    {
        QFETCH(QString, id);
        QFETCH(AgentHandoffEntry, entry);
        const AgentClientDescriptor client = *AgentClientDescriptor::find(id);
        const QString snippet = AgentClientSetupWriter::renderSnippet(client, entry);
        QVERIFY(snippet.endsWith(QLatin1Char('\n')) && !snippet.endsWith(QStringLiteral("\n\n")));
        const Reading reading = readAs(readerFor(client.format), snippet);
        QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error + QStringLiteral("\n") + snippet));
        const QJsonObject servers = at(reading.value, containerPath(client.format)).toObject();
        QCOMPARE(servers.keys(), QStringList{"tvn"});
        QCOMPARE(servers.value("tvn").toObject(), expectedEntry(client, entry));
        // What doctor finds in the file names the same profile.
        const auto found = AgentClientConfigEntry::find(client, snippet);
        QVERIFY(found);
        QCOMPARE(found->profile, entry.profile);
    }

    // Torvane's entry among an app's other servers and settings, and look-alikes that are not it.
    void configEntryInWholeFiles_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("profile"); // "-" for no entry
        QTest::newRow("json: another server only") << "cursor" << R"({"mcpServers": {"other": {"args": ["--profile", "p"]}}})" << "-";
        QTest::newRow("json: tvn inside another server") << "cursor" << R"({"mcpServers": {"other": {"env": {"tvn": {}}}}})" << "-";
        QTest::newRow("json: tvn in the wrong container") << "vscode" << R"({"mcpServers": {"tvn": {"args": []}}})" << "-";
        QTest::newRow("json: not JSON") << "claude-code" << "{\"mcpServers\": {\"tvn\": " << "-";
        QTest::newRow("json: tvn without a profile") << "openclaw" << R"({"mcp": {"servers": {"tvn": {"command": "x"}}}})" << "";
        QTest::newRow("json: among others") << "claude-code"
            << R"({"theme": "dark", "mcpServers": {"a": {}, "tvn": {"args": ["--profile", "work"]}, "z": {}}})" << "work";
        QTest::newRow("toml: among other tables") << "codex"
            << "model = \"x\"\n[mcp_servers.other]\nargs = [\"--profile\", \"no\"]\n\n[mcp_servers.tvn]\ncommand = \"w\"\n"
               "args = [\"--profile\", \"work\"]\n[mcp_servers.tvn.env]\n" << "work";
        QTest::newRow("toml: tvn only mentioned") << "codex" << "[mcp_servers.other]\nargs = [\"tvn\"]\n# [mcp_servers.tvn]\n" << "-";
        QTest::newRow("yaml: after another server") << "hermes"
            << "model: x\nmcp_servers:\n  other:\n    args: [\"--profile\", \"no\"]\n  tvn:\n    command: \"w\"\n"
               "    args: [\"--profile\", \"work\"]\nlogging: {}\n" << "work";
        QTest::newRow("yaml: tvn nested in another server") << "hermes" << "mcp_servers:\n  other:\n    tvn:\n      args: [\"--profile\", \"no\"]\n" << "-";
        QTest::newRow("yaml: tvn under another map") << "hermes" << "mcp_servers:\n  other: {}\nplugins:\n  tvn:\n    args: []\n" << "-";
    }
    void configEntryInWholeFiles()
    {
        QFETCH(QString, id);
        QFETCH(QString, config);
        QFETCH(QString, profile);
        const auto found = AgentClientConfigEntry::find(*AgentClientDescriptor::find(id), config);
        QCOMPARE(found.has_value(), profile != QLatin1StringView("-"));
        if (found)
            QCOMPARE(found->profile, profile);
    }
};

QTEST_GUILESS_MAIN(TestAgentClientSetupWriter)
#include "tst_AgentClientSetupWriter.moc"
