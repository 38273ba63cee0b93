#pragma once

#include <QByteArray>
#include <QString>

// The desktop's secret store as the legacy unlock reads it: one item, found by service and account,
// never unlocked and never prompted for. Lookups block (bounded): run them off the GUI thread.
class SecretStore
{
public:
    struct Lookup
    {
        enum class Outcome {
            // The item exists and its secret was read.
            found,
            // No item matches.
            missing,
            // An item matches but its collection is locked; opening it would need a prompt.
            locked,
            // The store could not be asked; `code` and `text` say why.
            failed,
        };

        Outcome outcome = Outcome::missing;
        QByteArray secret;
        qint32 code = 0;
        QString text;
    };

    virtual ~SecretStore() = default;
    virtual Lookup lookup(const QString &service, const QString &account) = 0;
};
