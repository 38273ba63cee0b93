#pragma once

#include <QString>
#include <QStringList>

// Recursive removal confined to the directories the app owns under the home directory.
class OwnedDirectoryRemoval
{
public:
    // Removes `target` after four checks: it is one of `ownedDirectories`; resolving links does
    // not change its path; it lies strictly inside `homeDirectory`; and no component below home
    // is a symbolic link. A violation throws LocalServiceControlError::commandFailed and removes
    // nothing; a missing target is skipped; a failed removal throws fileOperationFailed.
    // Blocking: call it off the GUI thread.
    static void remove(const QString &target, const QStringList &ownedDirectories, const QString &homeDirectory);

private:
    static bool isConfined(const QString &target, const QStringList &ownedDirectories, const QString &homeDirectory);
};
