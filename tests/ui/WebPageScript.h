#pragma once

#include <QDeadlineTimer>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>

// Runs a script in the page and waits up to ten seconds for its value (invalid when none came).
inline QVariant evaluate(QWebEnginePage *page, const QString &script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    const QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(20);
    return result;
}
