#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// How to run Node: the program, and the words placed before the script path
// (empty, or "node" when the program is /usr/bin/env).
struct NodeInvocation {
    QString executable;
    QStringList argumentsPrefix;

    bool operator==(const NodeInvocation &other) const = default;

    // The bundled <resources>/bin/node first. A packaged service never runs on a Node found
    // elsewhere; otherwise the usual install locations, then whatever "node" /usr/bin/env finds.
    // Throws LocalServiceControlError::missingNode.
    static NodeInvocation resolve(const std::optional<QString> &resourcesDirectory, bool packagedServiceRoot);
};
