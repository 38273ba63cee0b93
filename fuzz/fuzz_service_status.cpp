// Feeds arbitrary control-script output to the status-object scanner and the status decoder.
// Every object the scanner returns must be a "{...}" slice of the input, in order.
#include "LocalServiceStatus.h"
#include "TopLevelJsonScanner.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    qsizetype from = 0;
    for (const QString &object : topLevelJsonObjects(text)) {
        if (!object.startsWith(QLatin1Char('{')) || !object.endsWith(QLatin1Char('}')))
            std::abort();
        const qsizetype at = text.indexOf(object, from);
        if (at < 0)
            std::abort();
        from = at + object.size();
    }
    (void)LocalServiceStatus::fromScriptOutput(text);
    return 0;
}
