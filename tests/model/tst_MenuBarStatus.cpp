#include "MenuBarStatus.h"

#include <QTest>

// What the tray icon and its panel say for each state of the model.
class TestMenuBarStatus : public QObject
{
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<bool>("killSwitch");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("keys");
        QTest::addColumn<int>("apps");
        QTest::addColumn<int>("approvals");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("badge");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("revokeAll");
        const QString paused = QStringLiteral("All agent access is paused. Click Disable kill switch to restore.");
        QTest::newRow("singular nouns") << false << true << false << 1 << 1 << 1 << "Torvane is on" << "1 agent key · 1 app connected"
                                        << "1" << "Torvane, 1 pending approval" << true;
        QTest::newRow("plural nouns at zero") << false << true << false << 0 << 0 << 0 << "Torvane is on" << "0 agent keys · 0 apps connected"
                                              << "" << "Torvane" << true;
        QTest::newRow("not verified reads off") << false << false << false << 3 << 2 << 2 << "Service off"
                                                << "Turn on Torvane from the main window" << "2" << "Torvane, 2 pending approvals" << false;
        QTest::newRow("kill switch wins") << true << true << false << 0 << 4 << 0 << "Kill switch engaged" << paused << ""
                                          << "Torvane, Kill switch engaged" << false;
        QTest::newRow("kill switch with approvals") << true << false << false << 0 << 0 << 100 << "Kill switch engaged" << paused << "99+"
                                                    << "Torvane, Kill switch engaged, 100 pending approvals" << false;
        QTest::newRow("locked: counts are not loaded") << false << true << true << 0 << 0 << 0 << "Torvane is on"
                                                       << "Vault locked · unlock it in the main window to see keys and approvals"
                                                       << "" << "Torvane" << true;
        QTest::newRow("ninety-nine") << false << true << false << 2 << 3 << 99 << "Torvane is on" << "2 agent keys · 3 apps connected" << "99"
                                     << "Torvane, 99 pending approvals" << true;
    }
    void texts()
    {
        QFETCH(bool, killSwitch);
        QFETCH(bool, ready);
        QFETCH(bool, locked);
        QFETCH(int, keys);
        QFETCH(int, apps);
        QFETCH(int, approvals);
        const MenuBarStatus status{killSwitch, ready, keys, apps, approvals, locked};
        QTEST(status.title(), "title");
        QTEST(status.detail(), "detail");
        QTEST(status.countBadge(), "badge");
        QTEST(status.accessibilityLabel(), "label");
        QTEST(status.offersRevokeAll(), "revokeAll");
        QCOMPARE(status.offersDisableKillSwitch(), killSwitch);
    }
};

QTEST_GUILESS_MAIN(TestMenuBarStatus)
#include "tst_MenuBarStatus.moc"
