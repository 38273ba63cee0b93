#pragma once

#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

#include <optional>

// One check of the proof.
struct LocalProofResult {
    QString name;
    QString status;

    static LocalProofResult decode(JsonReader &reader);
    bool operator==(const LocalProofResult &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("name", self.name);
        visit("status", self.status);
    }
};

// Outcome of the proof run.
struct LocalProofSummary {
    bool ok = false;
    std::optional<QList<LocalProofResult>> results;

    static LocalProofSummary decode(JsonReader &reader);
    bool operator==(const LocalProofSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("ok", self.ok);
        visit("results", self.results);
    }
};

// The broker's latest self-check (GET "/v1/proof/latest").
struct LatestProofResponse {
    bool available = false;
    QString artifact;
    std::optional<LocalProofSummary> proof;

    static LatestProofResponse decode(JsonReader &reader);
    bool operator==(const LatestProofResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("available", self.available);
        visit("artifact", self.artifact);
        visit("proof", self.proof);
    }
};
