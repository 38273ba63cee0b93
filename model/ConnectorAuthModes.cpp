#include "ConnectorAuthModes.h"

#include <algorithm>

QList<ConnectorAuthOptionSummary> ConnectorAuthModes::options(const ConnectorSummary &connector)
{
    if (connector.authOptions && !connector.authOptions->isEmpty())
        return *connector.authOptions;
    ConnectorAuthOptionSummary synthesised;
    synthesised.id = QStringLiteral("api-key");
    synthesised.label = QStringLiteral("API key");
    synthesised.type = connector.authType;
    return {synthesised};
}

ConnectorAuthOptionSummary ConnectorAuthModes::defaultAuthMode(const ConnectorSummary &connector)
{
    return options(connector).first();
}

ConnectorAuthOptionSummary ConnectorAuthModes::authMode(const ConnectorSummary &connector,
                                                        const std::optional<QString> &id)
{
    const QList<ConnectorAuthOptionSummary> all = options(connector);
    if (!id)
        return all.first();
    const auto found = std::find_if(all.begin(), all.end(),
                                    [&](const ConnectorAuthOptionSummary &option) { return option.id == *id; });
    return found != all.end() ? *found : all.first();
}

QString ConnectorAuthModes::authDisplayLabel(const ConnectorSummary &connector)
{
    QStringList labels;
    for (const ConnectorAuthOptionSummary &option : options(connector)) {
        const QString label = option.label.trimmed();
        if (!label.isEmpty() && !labels.contains(label))
            labels.append(label);
    }
    return labels.join(QStringLiteral(" + "));
}

QString ConnectorAuthModes::authSearchText(const ConnectorSummary &connector)
{
    QStringList words;
    for (const ConnectorAuthOptionSummary &option : options(connector))
        words << option.id << option.label;
    return words.join(QLatin1Char(' ')).toLower();
}
