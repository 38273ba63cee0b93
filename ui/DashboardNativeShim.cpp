#include "DashboardNativeShim.h"

#include <QFile>

namespace {
QString webChannelClientLibrary()
{
    QFile library(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!library.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(library.readAll());
}

const char *const shim = R"(
  if (window.__tvnNativeChannel) return;
  window.__tvnNativeChannel = true;
  var queue = [];
  var target = null;
  var handler = Object.freeze({
    postMessage: function (message) {
      var copy;
      try { copy = JSON.parse(JSON.stringify(message)); } catch (_) { return; }
      if (target) target.postMessage(copy); else queue.push(copy);
    }
  });
  var webkit = window.webkit || {};
  var handlers = webkit.messageHandlers || {};
  try {
    Object.defineProperty(handlers, 'tvnNative', { value: handler, enumerable: true });
    webkit.messageHandlers = handlers;
    window.webkit = webkit;
  } catch (_) { return; }
  var attempts = 0;
  (function connect() {
    if (!(window.qt && window.qt.webChannelTransport)) {
      if (++attempts < 500) setTimeout(connect, 10);
      return;
    }
    new QWebChannel(window.qt.webChannelTransport, function (channel) {
      target = channel.objects.tvnNative;
      queue.splice(0).forEach(function (message) { target.postMessage(message); });
    });
  })();
)";
} // namespace

QString DashboardNativeShim::source()
{
    // One function scope keeps the channel library out of the page's globals.
    return QStringLiteral("(function () {\n") + webChannelClientLibrary() + QString::fromLatin1(shim)
        + QStringLiteral("})();\n");
}
