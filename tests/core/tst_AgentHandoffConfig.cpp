#include "AgentHandoffConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
const QString profile = QStringLiteral("claude-code-keel-tvn");
const QString brokerURL = QStringLiteral("http://127.0.0.1:47382");
const QString wrapper = QStringLiteral("/opt/tvn/script/tvn-mcp-launch.sh");
const QString stateDirectory = QStringLiteral("/home/ada/.torvane-dev/state");

AgentHandoffConfig fullConfig()
{
    return AgentHandoffConfig(profile, brokerURL, wrapper, stateDirectory, QStringLiteral("development"),
                              QStringLiteral("/usr/share/torvane/bin/tvn-pop-signer"));
}
QJsonObject environmentOf(const QString &json)
{
    const QJsonObject servers = QJsonDocument::fromJson(json.toUtf8()).object().value("mcpServers").toObject();
    return servers.value("tvn").toObject().value("env").toObject();
}
} // namespace

class TestAgentHandoffConfig : public QObject
{
    Q_OBJECT
private slots:
    void sanitising_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("kept"); // "<absent>" when dropped
        QTest::newRow("profile kept, trimmed") << "profile" << " a.b:c_d-e \n" << "a.b:c_d-e";
        QTest::newRow("profile with a space") << "profile" << "my agent" << "agent-keel-tvn";
        QTest::newRow("profile too long") << "profile" << QString(65, 'a') << "agent-keel-tvn";
        QTest::newRow("profile with a slash") << "profile" << "../x" << "agent-keel-tvn";
        QTest::newRow("broker URL loopback") << "brokerURL" << "http://localhost:9/x" << "http://localhost:9/x";
        QTest::newRow("broker URL IPv6 loopback") << "brokerURL" << "https://[::1]" << "https://[::1]";
        QTest::newRow("broker URL on another host") << "brokerURL" << "http://192.0.2.1:47382" << "http://127.0.0.1:47381";
        QTest::newRow("broker URL lookalike host") << "brokerURL" << "http://127.0.0.1.evil:1" << "http://127.0.0.1:47381";
        QTest::newRow("broker URL with a line break") << "brokerURL" << "http://localhost/\nx" << "http://127.0.0.1:47381";
        QTest::newRow("wrapper with a space") << "wrapper" << "/opt/My Tools/tvn-mcp-launch.sh" << "/opt/My Tools/tvn-mcp-launch.sh";
        QTest::newRow("wrapper with a quote") << "wrapper" << "/opt/x'y" << "tvn-mcp-launch.sh";
        QTest::newRow("wrapper too long") << "wrapper" << QString(321, 'a') << "tvn-mcp-launch.sh";
        QTest::newRow("state directory") << "state" << stateDirectory << stateDirectory;
        QTest::newRow("state directory with ..") << "state" << "/home/ada/../bob" << "<absent>";
        QTest::newRow("state directory relative") << "state" << "state" << "<absent>";
        QTest::newRow("state directory with a trailing slash") << "state" << "/home/ada/" << "<absent>";
        QTest::newRow("state directory with NUL") << "state" << QString("/a") + QChar(0) + "b" << "<absent>";
        QTest::newRow("state directory too long") << "state" << "/" + QString(1024, 'a') << "<absent>";
        QTest::newRow("lane upper case") << "lane" << " Production " << "production";
        QTest::newRow("lane unknown") << "lane" << "staging" << "<absent>";
        QTest::newRow("signer relative") << "signer" << "bin/tvn-pop-signer" << "<absent>";
    }
    void sanitising()
    {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, kept);
        const auto value = [&kept] { return kept == QLatin1StringView("<absent>") ? std::nullopt : std::optional<QString>(kept); };
        const auto with = [&](const QString &name, const QString &fallback) { return field == name ? input : fallback; };
        const AgentHandoffConfig config(with("profile", profile), with("brokerURL", brokerURL), with("wrapper", wrapper),
                                        with("state", stateDirectory), with("lane", "development"),
                                        with("signer", "/usr/bin/tvn-pop-signer"));
        if (field == QLatin1StringView("profile"))
            QCOMPARE(config.profile(), kept);
        else if (field == QLatin1StringView("brokerURL"))
            QCOMPARE(config.brokerURL(), kept);
        else if (field == QLatin1StringView("wrapper"))
            QCOMPARE(config.wrapperCommand(), kept);
        else if (field == QLatin1StringView("state"))
            QCOMPARE(config.stateDirectory(), value());
        else if (field == QLatin1StringView("lane"))
            QCOMPARE(config.runtimeLane(), value());
        else
            QCOMPARE(config.signerPath(), value());
    }

    void exactTexts()
    {
        const AgentHandoffConfig config = fullConfig();
        const QStringList lines{
            "{",
            "  \"mcpServers\": {",
            "    \"tvn\": {",
            "      \"command\": \"/opt/tvn/script/tvn-mcp-launch.sh\",",
            "      \"args\": [\"--profile\", \"claude-code-keel-tvn\"],",
            "      \"env\": {",
            "        \"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH\": \"/usr/share/torvane/bin/tvn-pop-signer\",",
            "        \"SWITCHYARD_STATE_DIR\": \"/home/ada/.torvane-dev/state\",",
            "        \"TVN_BROKER_URL\": \"http://127.0.0.1:47382\",",
            "        \"TVN_RUNTIME_LANE\": \"development\"",
            "      }",
            "    }",
            "  }",
            "}",
        };
        QCOMPARE(config.mcpJSON(), lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        QCOMPARE(config.clipboardText(), config.mcpJSON().trimmed());
        QCOMPARE(config.checkCommand(),
                 QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH='/usr/share/torvane/bin/tvn-pop-signer' "
                                "SWITCHYARD_STATE_DIR='/home/ada/.torvane-dev/state' "
                                "TVN_BROKER_URL='http://127.0.0.1:47382' TVN_RUNTIME_LANE='development' "
                                "'/opt/tvn/script/tvn-mcp-launch.sh' --profile 'claude-code-keel-tvn' --check"));
        QCOMPARE(config.profileStorePath(), stateDirectory + QStringLiteral("/agent-keys/claude-code-keel-tvn.key"));
    }

    void withoutStateOrLane()
    {
        const AgentHandoffConfig config(profile, QStringLiteral("http://192.0.2.1"), QStringLiteral("tvn-mcp-launch.sh"),
                                        QStringLiteral("../state"), std::nullopt);
        QCOMPARE(config.checkCommand(), QStringLiteral("'tvn-mcp-launch.sh' --profile 'claude-code-keel-tvn' --check"));
        QCOMPARE(config.profileStorePath(), QStringLiteral("~/.torvane/state/agent-keys/claude-code-keel-tvn.key"));
        const QJsonObject environment = environmentOf(config.mcpJSON());
        QCOMPARE(environment, (QJsonObject{{"TVN_BROKER_URL", "http://127.0.0.1:47381"}}));
    }

    void singleQuoteInTheCheckCommand()
    {
        const AgentHandoffConfig config(profile, brokerURL, wrapper, QStringLiteral("/home/o'brien/state"), std::nullopt);
        QVERIFY(config.checkCommand().contains(QStringLiteral("SWITCHYARD_STATE_DIR='/home/o'\\''brien/state'")));
    }

    void jsonEscaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("named escapes") << "a\\b\"c\rd\te\nf" << "a\\\\b\\\"c\\rd\\te\\nf";
        QTest::newRow("other control characters") << QString("a") + QChar(0x01) + QChar(0x1f) << "a\\u0001\\u001f";
        QTest::newRow("slash and non-ASCII unchanged") << "/zoë/✓" << "/zoë/✓";
    }
    void jsonEscaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(AgentHandoffConfig::jsonEscape(text), escaped);
    }

    // A state directory that passes sanitising but holds characters JSON must escape still
    // yields text that parses back to the same value.
    void escapedValuesParseBack()
    {
        const QString awkward = QStringLiteral("/home/a\"b\\c\td") + QChar(0x01);
        const AgentHandoffConfig config(profile, brokerURL, wrapper, awkward, QStringLiteral("production"));
        QCOMPARE(config.stateDirectory(), awkward);
        QVERIFY(AgentHandoffConfig::isValidClipboardText(config.clipboardText()));
        const QJsonObject environment = environmentOf(config.mcpJSON());
        QCOMPARE(environment.value("SWITCHYARD_STATE_DIR").toString(), awkward);
    }

    void clipboardValidation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const QString good = fullConfig().clipboardText();
        const auto edited = [&good](const char *from, const char *to) { return QString(good).replace(from, to); };
        QTest::newRow("generated") << good << true;
        QTest::newRow("legacy broker variable") << edited("TVN_BROKER_URL", "SWITCHYARD_BROKER") << true;
        QTest::newRow("no broker variable") << edited("TVN_BROKER_URL", "OTHER_URL") << false;
        QTest::newRow("remote broker") << edited("127.0.0.1:47382", "192.0.2.1:47382") << false;
        QTest::newRow("command with a quote") << edited("/opt/tvn", "/opt/t'vn") << false;
        QTest::newRow("unsafe profile") << edited("\"claude-code-keel-tvn\"", "\"../x\"") << false;
        QTest::newRow("third argument") << edited("\"claude-code-keel-tvn\"]", "\"claude-code-keel-tvn\", \"--x\"]") << false;
        QTest::newRow("first argument not --profile") << edited("\"--profile\"", "\"--name\"") << false;
        QTest::newRow("state directory with ..") << edited("/home/ada/", "/home/../ada/") << false;
        QTest::newRow("signer relative") << edited("\"/usr/share/torvane", "\"usr/share/torvane") << false;
        QTest::newRow("unknown lane") << edited("\"development\"", "\"staging\"") << false;
        QTest::newRow("state directory not a string") << edited("\"/home/ada/.torvane-dev/state\"", "7") << false;
        QTest::newRow("env not an object") << QStringLiteral("{\"mcpServers\":{\"tvn\":{\"command\":\"tvn-mcp-launch.sh\",\"args\":[\"--profile\",\"p\"],\"env\":[]}}}") << false;
        QTest::newRow("too short") << QStringLiteral("{\"mcpServers\":{\"tvn\":{}}}") << false;
        QTest::newRow("leading white space") << " " + good << false;
        QTest::newRow("not JSON") << "{" + QString(100, 'x') << false;
    }
    void clipboardValidation()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(AgentHandoffConfig::isValidClipboardText(text), valid);
    }
};

QTEST_GUILESS_MAIN(TestAgentHandoffConfig)
#include "tst_AgentHandoffConfig.moc"
