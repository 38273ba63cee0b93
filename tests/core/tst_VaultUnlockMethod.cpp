#include "VaultUnlockMethod.h"

#include <QTest>

using namespace VaultUnlockMethods;

Q_DECLARE_METATYPE(VaultUnlockMethod)

class TestVaultUnlockMethod : public QObject
{
    Q_OBJECT
private slots:
    void resolve_data()
    {
        QTest::addColumn<bool>("owner");
        QTest::addColumn<bool>("biometrics");
        QTest::addColumn<VaultUnlockMethod>("method");
        QTest::newRow("fingerprint and password") << true << true << VaultUnlockMethod::biometricsWithPasswordFallback;
        QTest::newRow("password only") << true << false << VaultUnlockMethod::passwordOnly;
        // A fingerprint module is no use when the login itself cannot be asked.
        QTest::newRow("fingerprint without owner login") << false << true << VaultUnlockMethod::unavailable;
        QTest::newRow("nothing") << false << false << VaultUnlockMethod::unavailable;
    }
    void resolve()
    {
        QFETCH(bool, owner);
        QFETCH(bool, biometrics);
        QFETCH(VaultUnlockMethod, method);
        QCOMPARE(VaultUnlockMethods::resolve(owner, biometrics), method);
    }

    // Every text the screens show for a method, in the Linux wording.
    void texts_data()
    {
        QTest::addColumn<VaultUnlockMethod>("method");
        QTest::addColumn<bool>("canAuthenticate");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("offerSentence");
        QTest::newRow("biometricsWithPasswordFallback")
            << VaultUnlockMethod::biometricsWithPasswordFallback << true
            << QStringList{"Secure with system login?", "your fingerprint or your computer password",
                           "System login unlock", "touchid",
                           "Approve with your fingerprint or your computer password when Linux asks."}
            << QStringLiteral("Unlock the vault with your fingerprint — or your computer password — each time you open "
                              "Torvane. Your keys stay encrypted on this computer.");
        QTest::newRow("passwordOnly")
            << VaultUnlockMethod::passwordOnly << true
            << QStringList{"Secure with your computer password?", "your computer login password",
                           "Computer password unlock", "lock.shield",
                           "Enter your computer login password when Linux asks."}
            << QStringLiteral("Unlock the vault with your computer login password each time you open Torvane. "
                              "Your keys stay encrypted on this computer.");
        QTest::newRow("unavailable")
            << VaultUnlockMethod::unavailable << false
            << QStringList{"Secure unlock unavailable", "Linux authentication", "Hardware-sealed unlock",
                           "lock.shield", "Linux authentication is unavailable on this computer."}
            << QString();
    }
    void texts()
    {
        QFETCH(VaultUnlockMethod, method);
        QFETCH(bool, canAuthenticate);
        QFETCH(QStringList, texts);
        QFETCH(QString, offerSentence);
        QCOMPARE(VaultUnlockMethods::canAuthenticate(method), canAuthenticate);
        const QStringList actual{offerTitle(method), methodPhrase(method), featureName(method), symbolName(method),
                                 approvalInstruction(method)};
        QCOMPARE(actual, texts);
        QCOMPARE(firstRunOfferSentence(method), offerSentence);
    }
};

QTEST_APPLESS_MAIN(TestVaultUnlockMethod)
#include "tst_VaultUnlockMethod.moc"
