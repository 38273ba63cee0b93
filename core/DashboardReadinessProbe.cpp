#include "DashboardReadinessProbe.h"

#include <QVariantMap>

QString DashboardReadinessProbe::script()
{
    return QStringLiteral(R"((function () {
  var root = document.getElementById('root');
  var body = document.body;
  return {
    ready: window.__tvnNativeDashboardReady === true,
    readyState: String(document.readyState),
    textLength: body ? body.innerText.trim().length : 0,
    rootTextLength: root ? root.innerText.trim().length : 0,
    hasRoot: !!root
  };
})())");
}

DashboardReadinessProbe DashboardReadinessProbe::fromScriptResult(const QVariant &result)
{
    const QVariantMap fields = result.toMap();
    const auto integer = [&fields](const char *key) {
        const QVariant value = fields.value(QLatin1StringView(key));
        return value.canConvert<int>() ? value.toInt() : 0;
    };
    DashboardReadinessProbe probe;
    probe.hasRoot = fields.value(QStringLiteral("hasRoot")).toBool();
    probe.rootTextLength = integer("rootTextLength");
    probe.bodyTextLength = integer("textLength");
    probe.readyState = fields.value(QStringLiteral("readyState")).toString();
    probe.webReadyFlag = fields.value(QStringLiteral("ready")).toBool();
    return probe;
}
