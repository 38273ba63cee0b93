#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Every failure of a service command. Thrown through the controller's coroutines (and across
// QtConcurrent, hence QException). `description()` is the user-facing text and never carries
// the payload: the script's output stays out of messages and logs.
class LocalServiceControlError : public QException
{
public:
    enum class Kind {
        invalidStatus,
        timedOut,
        missingServiceBundle,
        missingNode,
        commandFailed,
        // The platform could not launch the child; the description is the platform's text.
        launchFailed,
        // A file operation on the service directory failed; the description is the platform's text.
        fileOperationFailed,
    };

    static LocalServiceControlError invalidStatus(const QString &output);
    static LocalServiceControlError timedOut(const QString &argumentWord);
    static LocalServiceControlError missingServiceBundle();
    static LocalServiceControlError missingNode();
    static LocalServiceControlError commandFailed();
    static LocalServiceControlError launchFailed(const QString &platformError);
    static LocalServiceControlError fileOperationFailed(const QString &platformError);

    Kind kind() const { return m_kind; }
    // invalidStatus: the script's whole standard output; timedOut: the command's argument word.
    QString payload() const { return m_payload; }
    QString description() const;

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    LocalServiceControlError *clone() const override { return new LocalServiceControlError(*this); }

private:
    LocalServiceControlError(Kind kind, QString payload);

    Kind m_kind;
    QString m_payload;
    QByteArray m_what;
};
