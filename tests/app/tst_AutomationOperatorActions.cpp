#include "AutomationChannel.h"
#include "ModelTestSupport.h"

// The operator actions as end-to-end tests reach them: by name, records by kind, forms through
// "set", and every published field in "state" with its secrets masked. The control script is a
// stand-in and no broker is asked: each call below stops at a local check.
class TestAutomationOperatorActions : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeControlScript> m_script;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<AutomationChannel> m_channel;

    QJsonObject call(const QString &method, const QJsonObject &params = {})
    {
        const QJsonObject request{{"id", 1}, {"method", method}, {"params", params}};
        return QCoro::waitFor(m_channel->handle(request));
    }

    QJsonObject state() { return call(QStringLiteral("state")).value(QStringLiteral("result")).toObject(); }

private slots:
    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        m_model = std::make_unique<AppModel>(
            modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(), std::make_shared<RecordingClipboard>()));
        m_channel = std::make_unique<AutomationChannel>(m_model.get());
    }

    void cleanup()
    {
        m_channel.reset();
        m_model.reset();
        m_script.reset();
    }

    void formFieldsAreSetByName_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QJsonValue>("published");
        QTest::newRow("agent id") << "newMasterKeyAgentID" << QJsonValue("codex") << QJsonValue("codex");
        QTest::newRow("connect sheet secret") << "connectSecret" << QJsonValue("ghp_secret") << QJsonValue("<set>");
        QTest::newRow("inline key") << "apiKeyValue" << QJsonValue("sk-secret") << QJsonValue("<set>");
        QTest::newRow("backup passphrase") << "backupPassphrase" << QJsonValue("a long passphrase") << QJsonValue("<set>");
        QTest::newRow("proxy path") << "proxyAllowedPath" << QJsonValue("/user") << QJsonValue("/user");
        QTest::newRow("kill switch confirmation") << "killSwitchConfirmationRequested" << QJsonValue(true) << QJsonValue(true);
    }
    void formFieldsAreSetByName()
    {
        QFETCH(QString, field);
        QFETCH(QJsonValue, value);
        QFETCH(QJsonValue, published);
        const QJsonObject answer = call(QStringLiteral("set"), {{"field", field}, {"value", value}});
        QCOMPARE(answer.value(QStringLiteral("result")), QJsonValue(true));
        QCOMPARE(state().value(field), published);
    }

    void formFieldsRefuseWhatIsNotAForm_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("wrong type") << "newMasterKeyName" << QJsonValue(3) << "newMasterKeyName takes a string";
        QTest::newRow("read-only") << "killSwitchActive" << QJsonValue(true) << "Not a form field: killSwitchActive";
        QTest::newRow("not a field") << "objectName" << QJsonValue("x") << "Unknown field: objectName";
    }
    void formFieldsRefuseWhatIsNotAForm()
    {
        QFETCH(QString, field);
        QFETCH(QJsonValue, value);
        QFETCH(QString, error);
        QCOMPARE(call(QStringLiteral("set"), {{"field", field}, {"value", value}}).value(QStringLiteral("error")).toString(), error);
    }

    // Each action answers by its own name; the rows stop before any broker call.
    void actionsAnswerByName_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonObject>("params");
        QTest::addColumn<QString>("error"); // empty: it succeeded
        const QJsonObject unknown{{"id", "nope"}};
        QTest::newRow("revoke a key") << "revoke" << QJsonObject{{"key", unknown}} << "No such key in the last refresh";
        QTest::newRow("revoke a profile") << "revoke" << QJsonObject{{"profile", unknown}} << "No such profile in the last refresh";
        QTest::newRow("revoke a connection")
            << "revoke" << QJsonObject{{"connection", QJsonObject{{"connectorId", "github"}, {"accountId", "x"}}}}
            << "No such connection in the last refresh";
        QTest::newRow("approve") << "approve" << QJsonObject{{"approval", unknown}} << "No such approval in the last refresh";
        QTest::newRow("deny") << "deny" << QJsonObject{{"approval", unknown}} << "No such approval in the last refresh";
        QTest::newRow("copy proxy command") << "copyProxyRunCommand" << QJsonObject{{"profile", unknown}}
                                            << "No such profile in the last refresh";
        QTest::newRow("template") << "useAgentKeyAsReplacementTemplate" << QJsonObject{{"key", unknown}}
                                  << "No such key in the last refresh";
        QTest::newRow("begin connect") << "beginConnect" << QJsonObject{{"connectorId", "nope"}}
                                       << "No such connector in the last refresh";
        QTest::newRow("kill switch needs a boolean") << "setKillSwitch" << QJsonObject{}
                                                     << "setKillSwitch takes \"enabled\": true or false";
        QTest::newRow("create key blocked")
            << "createMasterKey" << QJsonObject{} << "Turn on or repair Torvane before creating an agent key.";
        QTest::newRow("create proxy without a key")
            << "createProxyProfile" << QJsonObject{} << "Choose a Master Key, connection, origin, path, and method first";
        QTest::newRow("restore nothing") << "restoreBackup" << QJsonObject{} << "The backup text is not valid JSON: ";
        for (const char *quiet : {"closeConnectSheet", "linkSheetAPIKey", "checkSelectedHealth", "rotateKey",
                                  "useSuggestedConnectorsForMasterKey", "applyAgentPreset", "storeCreatedMasterKeyProfile",
                                  "verifyCreatedMasterKeyProfile", "copyCreatedMasterKey", "clearCreatedMasterKey",
                                  "applyProxyDefaults", "requestProtectedWrite"})
            QTest::newRow(quiet) << quiet << QJsonObject{} << "";
    }
    void actionsAnswerByName()
    {
        QFETCH(QString, method);
        QFETCH(QJsonObject, params);
        QFETCH(QString, error);
        const QJsonObject answer = call(method, params);
        if (error.isEmpty())
            QVERIFY2(answer.contains(QStringLiteral("result")), qPrintable(answer.value(QStringLiteral("error")).toString()));
        else
            QVERIFY2(answer.value(QStringLiteral("error")).toString().startsWith(error),
                     qPrintable(answer.value(QStringLiteral("error")).toString()));
    }

    void linkingWithoutAConnectorAnswersFalse()
    {
        const QJsonObject answer = call(QStringLiteral("linkAPIKey"), {{"token", "valid-x"}});
        QCOMPARE(answer.value(QStringLiteral("result")), QJsonValue(false));
    }
};

QTEST_MAIN(TestAutomationOperatorActions)
#include "tst_AutomationOperatorActions.moc"
