#pragma once

#include <QString>

// The script that gives the page `window.webkit.messageHandlers.tvnNative.postMessage(obj)` over
// the web channel, so the page's code is the same on every platform. It carries the channel's own
// client library inline (the page's content policy forbids loading a script from the app), opens
// exactly one channel, and queues messages posted before the channel is ready.
namespace DashboardNativeShim {
QString source();
}
