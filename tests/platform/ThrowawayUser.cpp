#include "ThrowawayUser.h"

#include <QProcess>
#include <QRandomGenerator>

#include <unistd.h>

namespace {

QString randomWord(int length)
{
    static const QString letters = QStringLiteral("abcdefghijkmnpqrstuvwxyz23456789");
    QString word;
    for (int i = 0; i < length; ++i)
        word.append(letters.at(QRandomGenerator::global()->bounded(letters.size())));
    return word;
}

} // namespace

ThrowawayUser::ThrowawayUser(Password password)
    : m_name(QStringLiteral("tvnpam") + randomWord(8)), m_password(randomWord(20))
{
    m_exists = run(QStringLiteral("useradd"), {QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                               QStringLiteral("/usr/sbin/nologin"), m_name});
    const QByteArray assignment = (m_name + QLatin1Char(':') + m_password + QLatin1Char('\n')).toUtf8();
    m_ready = m_exists
        && (password == Password::empty ? run(QStringLiteral("passwd"), {QStringLiteral("--delete"), m_name})
                                        : run(QStringLiteral("chpasswd"), {}, assignment))
        && (password != Password::locked || run(QStringLiteral("usermod"), {QStringLiteral("--lock"), m_name}));
}

ThrowawayUser::~ThrowawayUser()
{
    if (m_exists)
        run(QStringLiteral("userdel"), {m_name});
}

bool ThrowawayUser::canCreate()
{
    return geteuid() == 0;
}

bool ThrowawayUser::run(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    m_error = QStringLiteral("%1 failed: %2").arg(program, QString::fromUtf8(process.readAllStandardError()).trimmed());
    return false;
}
