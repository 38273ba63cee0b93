#include "TopLevelJsonScanner.h"

QStringList topLevelJsonObjects(const QString &text)
{
    QStringList objects;
    qsizetype start = -1;
    qsizetype depth = 0;
    bool inString = false;
    bool escaped = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (depth == 0) {
            if (c == QLatin1Char('{')) {
                start = i;
                depth = 1;
            }
            continue;
        }
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == QLatin1Char('\\'))
                escaped = true;
            else if (c == QLatin1Char('"'))
                inString = false;
            continue;
        }
        if (c == QLatin1Char('"')) {
            inString = true;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            if (--depth == 0)
                objects.append(text.mid(start, i - start + 1));
        }
    }
    return objects;
}
