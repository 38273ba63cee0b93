#pragma once

#include <QMetaType>
#include <QString>

// The start phase shown while the local service is turned on or repaired. Every case has a fixed
// title and detail; `failed` carries the error text as its detail.
class LocalServiceStartPhase
{
public:
    enum class Kind {
        idle,
        installing,
        starting,
        waitingForBroker,
        checkingKeychain,
        ready,
        needsApproval,
        portConflict,
        staleBroker,
        startFailed,
        timedOut,
        failed,
    };

    LocalServiceStartPhase(Kind kind = Kind::idle); // NOLINT: phases read naturally as kinds
    static LocalServiceStartPhase failedWith(const QString &message);

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }

    QString title() const;
    QString detail() const;
    // The case name, as breadcrumbs and debug output show it.
    QString name() const;

    // `portConflict` onwards, `failed` included.
    bool isFailure() const;
    // `installing` to `checkingKeychain`: an action is still under way.
    bool isInProgress() const;

    friend bool operator==(const LocalServiceStartPhase &, const LocalServiceStartPhase &) = default;

private:
    Kind m_kind = Kind::idle;
    QString m_message;
};

Q_DECLARE_METATYPE(LocalServiceStartPhase)
