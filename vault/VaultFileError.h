#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// A file-system operation of the vault module failed; the text names the operation, the path and
// the system's reason.
class VaultFileError : public QException
{
public:
    VaultFileError(const QString &operation, const QString &path, int errorNumber);

    QString path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }
    QString description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    VaultFileError *clone() const override { return new VaultFileError(*this); }

private:
    QString m_path;
    int m_errorNumber;
    QString m_description;
    QByteArray m_what;
};
