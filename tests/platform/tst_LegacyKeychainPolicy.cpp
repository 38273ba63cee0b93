#include "IdentityTestSupport.h"
#include "LegacyKeychainPolicy.h"

#include <QTest>

class TestLegacyKeychainPolicy : public QObject
{
    Q_OBJECT
private slots:
    void isEnabled_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("neither set") << QStringList() << false;
        QTest::newRow("enable switch, Yes with blanks") << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN= Yes \n"} << true;
        QTest::newRow("allow switch alone") << QStringList{"SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI=on"} << true;
        // The first variable that is set decides, even when it says no.
        QTest::newRow("enable switch off wins over allow on")
            << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=0", "SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI=1"} << false;
        QTest::newRow("enable switch empty wins over allow on")
            << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=", "SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI=1"} << false;
        QTest::newRow("not a truthy word") << QStringList{"TVN_ENABLE_LEGACY_KEYCHAIN=enabled"} << false;
    }
    void isEnabled()
    {
        QFETCH(QStringList, environment);
        QFETCH(bool, enabled);
        QCOMPARE(LegacyKeychainPolicy::isEnabled(environmentFrom(environment)), enabled);
    }
};

QTEST_APPLESS_MAIN(TestLegacyKeychainPolicy)
#include "tst_LegacyKeychainPolicy.moc"
