#include "CrashReportExtractor.h"
#include "CrashReportScan.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A report in the handler's layout: header line, line feed, body.
QString report(const QJsonObject &header, const QJsonObject &body)
{
    return compact(header) + QLatin1Char('\n') + compact(body);
}

QJsonObject devHeader()
{
    return {{"app_name", "Torvane Dev"}, {"bundleID", "com.torvane.mac.dev"}, {"os_version", "Debian GNU/Linux 12"},
            {"app_version", "0.0.1"}, {"build_version", "7"}, {"incident_id", "ABC-123"}};
}

QJsonObject bodyWithFrames(const QJsonArray &frames, const QJsonArray &images = {})
{
    return {{"exception", QJsonObject{{"type", "SEGV_MAPERR"}, {"signal", "SIGSEGV"}}},
            {"threads", QJsonArray{QJsonObject{{"triggered", true}, {"frames", frames}}}},
            {"usedImages", images}};
}

const CrashReportExtractor extractor{CrashReportScrubber(QStringLiteral("/srv/people/alice"))};

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

class TestCrashReportExtractor : public QObject
{
    Q_OBJECT
private slots:
    void scrubsHomePaths_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("scrubbed");
        QTest::newRow("mac home") << "/home/x" << "/Users/alice/Library/a.dylib" << "/Users/<user>/Library/a.dylib";
        QTest::newRow("linux home") << "/home/x" << "at /home/bob/src/main.cpp:12" << "at /home/<user>/src/main.cpp:12";
        QTest::newRow("root's home") << "/home/x" << "/root/torvane/build/bin/torvane" << "/home/<user>/torvane/build/bin/torvane";
        QTest::newRow("root alone") << "/home/x" << "/root" << "/home/<user>";
        QTest::newRow("not root's home") << "/home/x" << "/rooted/x /usr/root/y" << "/rooted/x /usr/root/y";
        QTest::newRow("own home elsewhere") << "/srv/people/alice" << "/srv/people/alice/.config/x" << "/home/<user>/.config/x";
        QTest::newRow("own home prefix of another") << "/srv/people/al" << "/srv/people/alice/x" << "/srv/people/alice/x";
        QTest::newRow("home is slash") << "/" << "/usr/lib/libc.so.6" << "/usr/lib/libc.so.6";
        QTest::newRow("two paths") << "/home/x" << "/home/a/1 and /Users/b/2" << "/home/<user>/1 and /Users/<user>/2";
    }
    void scrubsHomePaths()
    {
        QFETCH(QString, home);
        QFETCH(QString, text);
        QTEST(CrashReportScrubber(home).scrub(text), "scrubbed");
    }

    void belongsToApp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ours");
        QTest::newRow("production bundle") << report({{"bundleID", "com.torvane.mac"}}, {}) << true;
        QTest::newRow("development bundle") << report({{"bundleID", "com.torvane.mac.dev"}}, {}) << true;
        QTest::newRow("development app name") << report({{"app_name", "Torvane Dev"}}, {}) << true;
        QTest::newRow("executable as name") << report({{"name", "torvane"}}, {}) << true;
        QTest::newRow("body process name") << report({{"bundleID", "org.other"}}, {{"procName", "Torvane"}}) << true;
        QTest::newRow("body bundle") << report({}, {{"bundleID", "com.torvane.mac"}}) << true;
        QTest::newRow("another app") << report({{"bundleID", "org.other"}, {"app_name", "Other"}}, {{"procName", "other"}}) << false;
        QTest::newRow("prefix is not enough") << report({{"bundleID", "com.torvane.mac.evil"}}, {}) << false;
        QTest::newRow("header not JSON") << QStringLiteral("Torvane crashed\n{}") << false;
    }
    void belongsToApp()
    {
        QFETCH(QString, text);
        QTEST(CrashReportExtractor::belongsToApp(text), "ours");
    }

    void extractsTheSummaryFields()
    {
        const QJsonArray images{QJsonObject{{"name", "torvane"}}, QJsonObject{{"name", "libQt6Core.so.6"}}};
        const QJsonArray frames{QJsonObject{{"imageIndex", 1}, {"imageOffset", 4096}},
                                QJsonObject{{"imageIndex", 0}, {"imageOffset", 77}}};
        const std::optional<CrashReportSummary> summary = extractor.extract(report(devHeader(), bodyWithFrames(frames, images)));
        QVERIFY(summary);
        QCOMPARE(summary->processName, QStringLiteral("Torvane Dev"));
        QCOMPARE(summary->bundleID, QStringLiteral("com.torvane.mac.dev"));
        QCOMPARE(summary->exceptionType, QStringLiteral("SEGV_MAPERR"));
        QCOMPARE(summary->exceptionSignal, QStringLiteral("SIGSEGV"));
        QCOMPARE(summary->osVersion, QStringLiteral("Debian GNU/Linux 12"));
        QCOMPARE(summary->appVersion, QStringLiteral("0.0.1"));
        QCOMPARE(summary->appBuild, QStringLiteral("7"));
        QCOMPARE(summary->incidentID, QStringLiteral("ABC-123"));
        QCOMPARE(summary->frames, QStringList({"libQt6Core.so.6 + 4096", "torvane + 77"}));
        QCOMPARE(summary->jsonPayload().keys(),
                 QStringList({"appBuild", "appVersion", "bundleID", "crashedThreadIndex", "exceptionSignal", "exceptionType",
                              "frames", "incidentID", "osVersion", "processName"}));
    }

    void frameTexts_data()
    {
        QTest::addColumn<QJsonObject>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("symbol and location") << QJsonObject{{"symbol", "main"}, {"symbolLocation", 12}, {"imageIndex", 0}} << "main + 12";
        QTest::newRow("symbol alone") << QJsonObject{{"symbol", "main"}, {"symbolLocation", "12"}} << "main";
        QTest::newRow("empty symbol falls to image") << QJsonObject{{"symbol", ""}, {"imageIndex", 0}, {"imageOffset", 255}} << "torvane + 255";
        QTest::newRow("image out of range") << QJsonObject{{"imageIndex", 5}, {"imageOffset", 255}} << "0xff";
        QTest::newRow("nameless image") << QJsonObject{{"imageIndex", 1}, {"imageOffset", 4096}} << "0x1000";
        QTest::newRow("no image") << QJsonObject{{"imageOffset", 3054}} << "0xbee";
        QTest::newRow("home path in symbol") << QJsonObject{{"symbol", "/srv/people/alice/plugin.so"}, {"symbolLocation", 1}}
                                             << "/home/<user>/plugin.so + 1";
    }
    void frameTexts()
    {
        QFETCH(QJsonObject, frame);
        const QJsonArray images{QJsonObject{{"name", "torvane"}}, QJsonObject{{"name", ""}}};
        const std::optional<CrashReportSummary> summary = extractor.extract(report(devHeader(), bodyWithFrames({frame}, images)));
        QVERIFY(summary);
        QFETCH(QString, text);
        QCOMPARE(summary->frames, QStringList{text});
    }

    void crashedThread_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<int>("index");
        const QJsonObject quiet{{"frames", QJsonArray{QJsonObject{{"symbol", "idle"}}}}};
        const QJsonObject triggered{{"triggered", true}, {"frames", QJsonArray{QJsonObject{{"symbol", "crash"}}}}};
        QTest::newRow("faulting thread") << QJsonObject{{"faultingThread", 1}, {"threads", QJsonArray{quiet, triggered}}} << 1;
        QTest::newRow("faulting out of range, triggered wins") << QJsonObject{{"faultingThread", 9}, {"threads", QJsonArray{quiet, triggered}}} << 1;
        QTest::newRow("faulting not an integer") << QJsonObject{{"faultingThread", 0.5}, {"threads", QJsonArray{quiet, triggered}}} << 1;
        QTest::newRow("nothing says") << QJsonObject{{"threads", QJsonArray{quiet, quiet}}} << 0;
        QTest::newRow("no threads") << QJsonObject{} << 0;
    }
    void crashedThread()
    {
        QFETCH(QJsonObject, body);
        const std::optional<CrashReportSummary> summary = extractor.extract(report(devHeader(), body));
        QVERIFY(summary);
        QTEST(summary->crashedThreadIndex, "index");
    }

    void brokenOrForeignReports_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("expectedBundle");
        QTest::addColumn<bool>("extracted");
        QTest::addColumn<QString>("exceptionType");
        const std::optional<QString> dev(QStringLiteral("com.torvane.mac.dev"));
        QTest::newRow("header only") << compact(devHeader()) << dev << true << "Unknown";
        QTest::newRow("body not JSON") << compact(devHeader()) + QStringLiteral("\nnot json") << dev << true << "Unknown";
        QTest::newRow("header not an object") << QStringLiteral("[1]\n{}") << std::optional<QString>() << false << "";
        QTest::newRow("empty text") << QString() << std::optional<QString>() << false << "";
        QTest::newRow("other bundle on the send path")
            << report({{"bundleID", "com.torvane.mac"}}, {}) << dev << false << "";
        QTest::newRow("no bundle on the send path") << report({{"app_name", "Torvane Dev"}}, {}) << dev << false << "";
        QTest::newRow("bundle from the body") << report({}, {{"bundleID", "com.torvane.mac.dev"}}) << dev << true << "Unknown";
    }
    void brokenOrForeignReports()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, expectedBundle);
        QFETCH(bool, extracted);
        const std::optional<CrashReportSummary> summary = extractor.extract(text, expectedBundle);
        QCOMPARE(summary.has_value(), extracted);
        if (summary)
            QTEST(summary->exceptionType, "exceptionType");
    }

    void framesAreCappedAtOneHundred()
    {
        QJsonArray frames;
        for (int i = 0; i < 150; ++i)
            frames.append(QJsonObject{{"symbol", QStringLiteral("f%1").arg(i)}});
        const std::optional<CrashReportSummary> summary = extractor.extract(report(devHeader(), bodyWithFrames(frames)));
        QVERIFY(summary);
        QCOMPARE(summary->frames.size(), CrashReportExtractor::maxFrames);
        QCOMPARE(summary->frames.last(), QStringLiteral("f99"));
    }

    void scanOffersNewReportsOfThisAppNewestFirst()
    {
        QTemporaryDir directory;
        const QByteArray ours = report(devHeader(), {}).toUtf8();
        const QByteArray theirs = report({{"bundleID", "org.other"}}, {}).toUtf8();
        const QList<std::pair<QString, QByteArray>> files{
            {"TorvaneDev-old.ips", ours}, {"TorvaneDev-new.ips", ours}, {"TorvaneDev-seen.ips", ours},
            {"Torvane-other-app.ips", theirs}, {"TorvaneDev-half.ips.part", ours}, {"Other-ours.ips", ours},
            {"TorvaneDev-notes.txt", ours}};
        for (const auto &[name, content] : files)
            QVERIFY(writeFile(directory.filePath(name), content));
        const QDateTime now = QDateTime::currentDateTime();
        for (const auto &[name, age] : QList<std::pair<QString, int>>{{"TorvaneDev-old.ips", 300}, {"TorvaneDev-new.ips", 10}}) {
            QFile file(directory.filePath(name));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(now.addSecs(-age), QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(directory.filePath("TorvaneDev-new.ips"), directory.filePath("TorvaneDev-link.ips")));

        const QList<CrashReportScan::Candidate> found =
            CrashReportScan::newReports(directory.path(), {QStringLiteral("TorvaneDev-seen.ips")});
        QStringList names;
        for (const CrashReportScan::Candidate &candidate : found)
            names << candidate.fileName;
        QCOMPARE(names, QStringList({"TorvaneDev-new.ips", "TorvaneDev-old.ips"}));
        QCOMPARE(CrashReportScan::reportsDirectory(QStringLiteral("/home/a")), QStringLiteral("/home/a/Library/Logs/DiagnosticReports"));
    }
};

QTEST_GUILESS_MAIN(TestCrashReportExtractor)
#include "tst_CrashReportExtractor.moc"
