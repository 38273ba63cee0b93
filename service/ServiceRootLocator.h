#pragma once

#include "LocalServiceCommand.h"
#include "LocalServiceContext.h"

#include <QString>
#include <QStringList>

#include <optional>

// Finds the service directory: a development checkout around the install prefix, the installed
// copy under the data directory, the copy shipped in the resources, or a known checkout location.
// Every method touches the file system; `prepare` may copy a whole directory tree.
class ServiceRootLocator
{
public:
    explicit ServiceRootLocator(const LocalServiceContext &context);

    // <resources>/Service, when it holds a readable control script.
    std::optional<QString> inBundleServiceDirectory() const;
    // Only without an in-bundle service: the prefix or the first of its (at most 8) ancestors
    // holding both the control script and package.json.
    std::optional<QString> developmentCheckoutRoot() const;
    // The identity's service root, when its control script is readable.
    std::optional<QString> installedCopy() const;
    QStringList repositoryCandidates() const;
    std::optional<QString> resolvedServiceRoot() const;
    bool isPackagedServiceRoot(const QString &directory) const;

    // The directory a command runs in, refreshing the installed copy from the in-bundle one when
    // their identifying files differ (never for stop and uninstall). Throws
    // LocalServiceControlError (missingServiceBundle, fileOperationFailed).
    QString prepare(LocalServiceCommand command) const;

    static bool holdsControlScript(const QString &directory);

private:
    bool installedCopyIsCurrent(const QString &inBundle) const;
    void replaceInstalledCopy(const QString &inBundle) const;

    const LocalServiceContext &m_context;
};
