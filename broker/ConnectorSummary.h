#pragma once

#include "BrokerRecordFields.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One way to authenticate a connector.
struct ConnectorAuthOptionSummary {
    QString id;
    QString label;
    QString type;
    std::optional<QString> instructions;
    std::optional<QStringList> setupInstructions;
    std::optional<QStringList> capabilityLimits;
    std::optional<QStringList> riskNotes;
    std::optional<QString> inheritsFrom;
    std::optional<QString> adapter;
    std::optional<QString> serverHint;

    static ConnectorAuthOptionSummary decode(JsonReader &reader);
    bool operator==(const ConnectorAuthOptionSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("label", self.label);
        visit("type", self.type);
        visit("instructions", self.instructions);
        visit("setupInstructions", self.setupInstructions);
        visit("capabilityLimits", self.capabilityLimits);
        visit("riskNotes", self.riskNotes);
        visit("inheritsFrom", self.inheritsFrom);
        visit("adapter", self.adapter);
        visit("serverHint", self.serverHint);
    }
};

// Live runtime state of a connector.
struct ConnectorRuntimeSummary {
    QString status;
    bool healthCheck = false;
    QStringList liveTools;
    QStringList missingTools;

    static ConnectorRuntimeSummary decode(JsonReader &reader);
    bool operator==(const ConnectorRuntimeSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("status", self.status);
        visit("healthCheck", self.healthCheck);
        visit("liveTools", self.liveTools);
        visit("missingTools", self.missingTools);
    }
};

// Guidance for the connect form.
struct ConnectorSetupGuide {
    QString kind;
    QString title;
    QString primaryAction;
    std::optional<QString> accountIdPlaceholder;
    std::optional<QString> credentialLabel;
    QStringList steps;

    static ConnectorSetupGuide decode(JsonReader &reader);
    bool operator==(const ConnectorSetupGuide &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("kind", self.kind);
        visit("title", self.title);
        visit("primaryAction", self.primaryAction);
        visit("accountIdPlaceholder", self.accountIdPlaceholder);
        visit("credentialLabel", self.credentialLabel);
        visit("steps", self.steps);
    }
};

// One grantable scope.
struct ConnectorScopeSummary {
    QString id;
    QString risk;
    QString description;

    static ConnectorScopeSummary decode(JsonReader &reader);
    bool operator==(const ConnectorScopeSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("risk", self.risk);
        visit("description", self.description);
    }
};

// Preview of one tool.
struct ConnectorToolPreview {
    QString id;
    QString title;
    QString risk;
    QString mode;

    static ConnectorToolPreview decode(JsonReader &reader);
    bool operator==(const ConnectorToolPreview &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("title", self.title);
        visit("risk", self.risk);
        visit("mode", self.mode);
    }
};

// One provider or tool the broker can connect, with its parts.
struct ConnectorSummary {
    QString id;
    QString displayName;
    QString status;
    qint64 tools = 0;
    QString authType;
    std::optional<QList<ConnectorAuthOptionSummary>> authOptions;
    std::optional<bool> authReady;
    std::optional<ConnectorRuntimeSummary> runtime;
    std::optional<QString> description;
    std::optional<ConnectorSetupGuide> setupGuide;
    std::optional<QList<ConnectorScopeSummary>> scopes;
    std::optional<QList<ConnectorToolPreview>> toolPreview;

    static ConnectorSummary decode(JsonReader &reader);
    bool operator==(const ConnectorSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("displayName", self.displayName);
        visit("status", self.status);
        visit("tools", self.tools);
        visit("authType", self.authType);
        visit("authOptions", self.authOptions);
        visit("authReady", self.authReady);
        visit("runtime", self.runtime);
        visit("description", self.description);
        visit("setupGuide", self.setupGuide);
        visit("scopes", self.scopes);
        visit("toolPreview", self.toolPreview);
    }
};
