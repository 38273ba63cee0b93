#include "TVNVaultPasswordCopy.h"

#include <QTest>

// The user's wording for vault password failures: one row per rule, first match wins.
class TestTVNVaultPasswordCopy : public QObject
{
    Q_OBJECT
private slots:
    void message_data()
    {
        QTest::addColumn<int>("status"); // 0: no status
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        const QString wrong = QStringLiteral("That password didn't unlock the vault. Check it and try again.");
        QTest::newRow("wrong passphrase") << 401 << "invalid local operator passphrase" << wrong;
        QTest::newRow("forbidden naming the passphrase") << 403 << "Passphrase rejected" << wrong;
        QTest::newRow("json body") << 401 << R"({"error":"invalid local operator passphrase"})" << wrong;
        QTest::newRow("too short") << 400 << "Vault passphrase must be at least 8 characters"
                                   << "TVN password must be at least 8 characters.";
        QTest::newRow("mismatch") << 400 << "Vault passphrases do not match" << "Passwords do not match.";
        QTest::newRow("passphrase required, not refused") << 409 << "Operator passphrase is required"
                                                          << "Enter your TVN password to unlock the local vault.";
        QTest::newRow("identity") << 401 << "Local broker identity could not be verified"
                                  << "Torvane could not verify its local service. Use Repair & Restart, then try again.";
        QTest::newRow("json without error") << 500 << R"({"detail":"x"})"
                                            << "The local service couldn't be unlocked. Try again, or use Repair & "
                                               "Restart from Advanced.";
        QTest::newRow("transport text") << 0 << "Could not connect to the server" << "Could not connect to the server";
        QTest::newRow("empty 500") << 500 << "" << "Something went wrong. Try again.";
    }

    void message()
    {
        QFETCH(int, status);
        QFETCH(QString, message);
        const std::optional<qint64> code = status ? std::optional<qint64>(status) : std::nullopt;
        QTEST(TVNVaultPasswordCopy::message(code, message), "expected");
    }
};

QTEST_GUILESS_MAIN(TestTVNVaultPasswordCopy)
#include "tst_TVNVaultPasswordCopy.moc"
