#include "AgentAppSetupCard.h"
#include "TpmKeyProvider.h"
#include "UnlockedService.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

// The agent apps card as a person uses it, against the real service with the provider stand-in,
// on a computer without a TPM (the setup profile stays owner-only plaintext). With
// TVN_UI_SCREENSHOT_DIR set, each state is saved there for a visual check.
class TestAgentAppSetupCard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UnlockedService> m_service;
    AppModel *m_model = nullptr;
    std::unique_ptr<AgentAppSetupCard> m_card;

    template <typename Widget>
    Widget *control(const QString &name) const
    {
        Widget *found = m_card->findChild<Widget *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

    void saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (!directory.isEmpty())
            QVERIFY(m_card->grab().save(directory + QLatin1Char('/') + name + QStringLiteral(".png")));
    }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<UnlockedService>();
        // Nothing listens on port 1: a computer without a TPM.
        const QString failure = m_service->start(std::make_shared<TpmKeyProvider>(QStringLiteral("swtpm:host=127.0.0.1,port=1")));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_model = m_service->model();
        QCoro::waitFor(m_model->refresh());
        m_model->beginConnect(*m_model->snapshot()->recommendedUnconnectedConnector());
        m_model->connections()->setConnectSecret(QStringLiteral("valid-github"));
        QCoro::waitFor(m_model->linkSheetAPIKey());
        m_model->applyAgentPreset(QStringLiteral("claude-code"), QStringLiteral("Claude Code"));
        m_model->agentKeys()->setNewMasterKeyConnectorIDs(QStringLiteral("github"));
        QCoro::waitFor(m_model->createMasterKey());
        QVERIFY2(m_model->agentKeys()->createdMasterKeyProfileVerified(), qPrintable(m_model->statusMessage()));

        m_card = std::make_unique<AgentAppSetupCard>(m_model);
        m_card->setStyleSheet(QStringLiteral("AgentAppSetupCard { background: #101214; } QLabel { color: #e6edf3; } "
                                             "QLabel[role=\"note\"] { color: #a5b3b0; } QLabel[role=\"ok\"] { color: #56d364; } "
                                             "QLabel[role=\"error\"] { color: #f85149; } QLabel[role=\"warning\"] { color: #f0c060; } "
                                             "QLabel[role=\"title\"] { font-weight: 600; }"));
        m_card->setAttribute(Qt::WA_StyledBackground);
        m_card->resize(900, 1500);
        m_card->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_card.get()));
    }

    void cleanupTestCase()
    {
        m_card.reset();
        m_service.reset();
    }

    void everyAppHasItsRow()
    {
        for (const AgentClientDescriptor &client : AgentClientDescriptor::all())
            QCOMPARE(control<QPushButton>(QStringLiteral("setUp-") + client.id)->text(), QStringLiteral("Set up"));
        QVERIFY2(control<QLabel>(QStringLiteral("agentAppsWarning"))->isVisible(), "not verified yet");
        saveScreenshot(QStringLiteral("agent-apps-before"));
    }

    void setUpShowsTheReceipt()
    {
        QPushButton *setUp = control<QPushButton>(QStringLiteral("setUp-claude-code"));
        QTest::mouseClick(setUp, Qt::LeftButton);
        QCOMPARE(setUp->text(), QStringLiteral("Checking"));
        QVERIFY2(waitUntil([setUp] { return setUp->text() != QLatin1StringView("Checking"); }, 90000), "the set-up never ended");
        QCOMPARE(setUp->text(), QStringLiteral("Verified"));
        const auto *receipt = control<QWidget>(QStringLiteral("agentApp-claude-code"))->findChild<QWidget *>(QStringLiteral("agentHandoffReceipt"));
        QVERIFY(receipt && receipt->isVisible());
        QCOMPARE(receipt->findChild<QLabel *>(QStringLiteral("receiptHeadline"))->text(), QStringLiteral("✓ Handoff verified"));
        QVERIFY(receipt->findChild<QLabel *>(QStringLiteral("receiptFacts"))->text().contains(QStringLiteral("Config: ")));
        QVERIFY(receipt->findChild<QLabel *>(QStringLiteral("receiptStep-mcpSession"))->text().startsWith(QStringLiteral("✓ MCP session — ")));
        QVERIFY2(!control<QLabel>(QStringLiteral("agentAppsWarning"))->isVisible(), "verified and ready: no warning");
        saveScreenshot(QStringLiteral("agent-apps-claude-code-verified"));
    }

    void manualAppExplainsItself()
    {
        QPushButton *setUp = control<QPushButton>(QStringLiteral("setUp-jetbrains"));
        QTest::mouseClick(setUp, Qt::LeftButton);
        QVERIFY(waitUntil([setUp] { return setUp->text() == QLatin1StringView("Failed"); }, 10000));
        QCOMPARE(control<QLabel>(QStringLiteral("setUpResult-jetbrains"))->text(),
                 QStringLiteral("⚠ This agent requires a manual setup snippet."));
        QTest::mouseClick(control<QPushButton>(QStringLiteral("showSnippet-jetbrains")), Qt::LeftButton);
        const AgentClientDescriptor jetbrains = *AgentClientDescriptor::find(QStringLiteral("jetbrains"));
        QCOMPARE(control<QPlainTextEdit>(QStringLiteral("snippet-jetbrains"))->toPlainText(),
                 m_model->agentHandoff()->renderSnippet(jetbrains));
        // Other rows changing leaves Claude Code's receipt whole.
        QVERIFY(control<QWidget>(QStringLiteral("agentApp-claude-code"))->findChild<QLabel *>(QStringLiteral("receiptStep-mcpSession"))->isVisible());
        saveScreenshot(QStringLiteral("agent-apps-jetbrains-snippet"));
    }

    void copySetupCopiesAfterVerifying()
    {
        const int copies = m_service->clipboard().texts.size();
        QTest::mouseClick(control<QPushButton>(QStringLiteral("copySetup-codex")), Qt::LeftButton);
        QVERIFY2(waitUntil([&] { return m_service->clipboard().texts.size() > copies; }, 90000), qPrintable(m_model->statusMessage()));
        const AgentClientDescriptor codex = *AgentClientDescriptor::find(QStringLiteral("codex"));
        QCOMPARE(m_service->clipboard().text(), m_model->agentHandoff()->renderSnippet(codex));
        QVERIFY(m_model->statusMessage().startsWith(QStringLiteral("Agent handoff copied for claude-code-keel-tvn (")));
    }
};

QTEST_MAIN(TestAgentAppSetupCard)
#include "tst_AgentAppSetupCard.moc"
