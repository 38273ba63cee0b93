#include "PamServiceStack.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

// PAM stops at this include depth too; it also ends cycles.
constexpr int maximumIncludeDepth = 32;

QStringList systemConfigDirectories()
{
    return {QStringLiteral("/etc/pam.d"), QStringLiteral("/usr/lib/pam.d")};
}

// The file's lines as PAM assembles them: continuations joined, comments and blank lines gone.
QStringList configLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QLatin1String("\\\n"), QLatin1String(" "));
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.section(QLatin1Char('#'), 0, 0).trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// One configuration line split into type, control and the rest; the control may be a bracketed
// list with blanks inside ("[success=1 default=ignore]").
struct ConfigLine
{
    QString type;
    QString control;
    QString target;

    static ConfigLine parse(const QString &line)
    {
        static const QRegularExpression pattern(QStringLiteral(R"(^(\S+)\s+(\[[^\]]*\]|\S+)\s*(\S*))"));
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch())
            return {};
        return {match.captured(1), match.captured(2), match.captured(3)};
    }
};

} // namespace

PamServiceStack::PamServiceStack(QString confDirectory)
    : m_confDirectory(std::move(confDirectory))
{
}

QString PamServiceStack::serviceName() const
{
    return configFilePath(appServiceName()).isEmpty() ? fallbackServiceName() : appServiceName();
}

bool PamServiceStack::authStackNamesModule(const QString &moduleFileName) const
{
    return fileNamesAuthModule(serviceName(), moduleFileName, 0);
}

QString PamServiceStack::configFilePath(const QString &name) const
{
    if (name.startsWith(QLatin1Char('/')))
        return QFileInfo::exists(name) ? name : QString();
    const QStringList directories = m_confDirectory.isEmpty() ? systemConfigDirectories() : QStringList{m_confDirectory};
    for (const QString &directory : directories) {
        const QString path = directory + QLatin1Char('/') + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool PamServiceStack::fileNamesAuthModule(const QString &name, const QString &moduleFileName, int depth) const
{
    const QString path = configFilePath(name);
    if (depth >= maximumIncludeDepth || path.isEmpty())
        return false;
    for (const QString &text : configLines(path)) {
        const ConfigLine line = ConfigLine::parse(text);
        if (line.type == QLatin1String("@include")) {
            if (fileNamesAuthModule(line.control, moduleFileName, depth + 1))
                return true;
            continue;
        }
        // "-auth" is an auth line whose module may be missing.
        const QString type = line.type.startsWith(QLatin1Char('-')) ? line.type.mid(1) : line.type;
        if (type.compare(QLatin1String("auth"), Qt::CaseInsensitive) != 0)
            continue;
        const bool includes = line.control.compare(QLatin1String("include"), Qt::CaseInsensitive) == 0
            || line.control.compare(QLatin1String("substack"), Qt::CaseInsensitive) == 0;
        if (includes ? fileNamesAuthModule(line.target, moduleFileName, depth + 1)
                     : QFileInfo(line.target).fileName() == moduleFileName)
            return true;
    }
    return false;
}
