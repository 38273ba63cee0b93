#include "AgentProfileNames.h"

#include <QList>

const QString AgentProfileNames::suffix = QStringLiteral("-keel-tvn");

QString AgentProfileNames::safeIdentifier(const QString &text)
{
    QString safe;
    for (const uint code : text.toUcs4()) {
        const char32_t scalar = code;
        const bool kept = QChar::isLetterOrNumber(scalar) || scalar == U'_' || scalar == U'-';
        safe += kept ? QString::fromUcs4(&scalar, 1) : QStringLiteral("_");
    }
    const auto trimmable = [](QChar c) { return c == QLatin1Char('_') || c == QLatin1Char('-'); };
    qsizetype begin = 0;
    qsizetype end = safe.size();
    while (begin < end && trimmable(safe.at(begin)))
        ++begin;
    while (end > begin && trimmable(safe.at(end - 1)))
        --end;
    const QString trimmed = safe.mid(begin, end - begin);
    return trimmed.isEmpty() ? QStringLiteral("profile") : trimmed;
}

QString AgentProfileNames::profileName(const QString &agentId)
{
    const QString base = safeIdentifier(agentId);
    return base.endsWith(suffix) ? base : base + suffix;
}
