// tvn-pop-signer: hands a local agent profile's key material to the service's MCP wrapper
// through a pipe, so a sealed profile never has to be written out in plaintext.

#include "AppMetadata.h"
#include "LocalAgentProfileStore.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

const char usage[] =
    "Usage: tvn-pop-signer open --profile NAME [--state-dir DIR]\n"
    "\n"
    "Prints the key material of the local agent profile NAME on standard output, with no line\n"
    "break and nothing else. A profile sealed to this machine's TPM is opened without any prompt;\n"
    "the profile directory and files must be owned by you and owner-only, or nothing is printed.\n"
    "\n"
    "  --profile NAME   1-64 letters, digits, dot, underscore, colon or dash\n"
    "  --state-dir DIR  the state directory holding agent-keys/ (default: SWITCHYARD_STATE_DIR,\n"
    "                   else this installation's state directory)\n"
    "  -h, --help       show this text\n"
    "\n"
    "Errors are one line on standard error. Exit status: 0 printed, 1 failed, 2 usage error.\n"
    "The TPM is the one named by TVN_TPM_TCTI, else /dev/tpmrm0.\n";

struct OpenRequest
{
    QString profile;
    std::optional<QString> stateDirectory;
};

int complain(const QString &message, int code)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "tvn-pop-signer: %s\n", line.toLocal8Bit().constData());
    return code;
}

// "--name value" or "--name=value"; advances `index` past what it consumed.
std::optional<QString> optionValue(const QStringList &arguments, qsizetype &index, const QString &name)
{
    const QString &argument = arguments.at(index);
    if (argument.startsWith(name + QLatin1Char('=')))
        return argument.mid(name.size() + 1);
    if (argument != name || index + 1 >= arguments.size())
        return std::nullopt;
    return arguments.at(++index);
}

std::optional<OpenRequest> parseOpen(const QStringList &arguments, QString &problem)
{
    OpenRequest request;
    bool hasProfile = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1String("--profile"))) {
            const auto value = optionValue(arguments, i, QStringLiteral("--profile"));
            if (!value) {
                problem = QStringLiteral("--profile needs a profile name");
                return std::nullopt;
            }
            request.profile = *value;
            hasProfile = true;
        } else if (argument.startsWith(QLatin1String("--state-dir"))) {
            const auto value = optionValue(arguments, i, QStringLiteral("--state-dir"));
            if (!value || value->isEmpty()) {
                problem = QStringLiteral("--state-dir needs a directory");
                return std::nullopt;
            }
            request.stateDirectory = *value;
        } else {
            problem = QStringLiteral("unknown argument \"%1\"").arg(argument);
            return std::nullopt;
        }
    }
    if (!hasProfile) {
        problem = QStringLiteral("open needs --profile NAME");
        return std::nullopt;
    }
    return request;
}

// The signer sits in <prefix>/share/torvane/bin, so the installation's metadata is two levels up.
QString installationStateDirectory()
{
    const QString prefix = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../../..")).absolutePath();
    const AppMetadata metadata = AppMetadata::forPrefix(prefix);
    return TVNRuntimeIdentity::resolve(metadata.infoDictionary(), QDir::homePath()).stateDirectoryPath();
}

QString stateDirectoryFor(const OpenRequest &request)
{
    if (request.stateDirectory)
        return *request.stateDirectory;
    const QString configured = qEnvironmentVariable("SWITCHYARD_STATE_DIR");
    return configured.isEmpty() ? installationStateDirectory() : configured;
}

int openProfile(const OpenRequest &request)
{
    QByteArray key;
    try {
        const LocalAgentProfileStore store(stateDirectoryFor(request));
        key = store.readTorvane(request.profile).toUtf8();
    } catch (const std::exception &error) {
        return complain(QString::fromUtf8(error.what()), failure);
    }
    const bool written = std::fwrite(key.constData(), 1, size_t(key.size()), stdout) == size_t(key.size());
    if (!written || std::fflush(stdout) != 0)
        return complain(QStringLiteral("could not write the key to standard output"), failure);
    return success;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty())
        return complain(QStringLiteral("missing command; see tvn-pop-signer --help"), usageError);
    if (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return success;
    }
    if (arguments.first() != QLatin1String("open"))
        return complain(QStringLiteral("unknown command \"%1\"; see tvn-pop-signer --help").arg(arguments.first()),
                        usageError);
    QString problem;
    const auto request = parseOpen(arguments, problem);
    if (!request)
        return complain(problem + QStringLiteral("; see tvn-pop-signer --help"), usageError);
    return openProfile(*request);
}
