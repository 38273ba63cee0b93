#pragma once

#include <QUrl>

// The help pages the local service serves itself under "/help/" (offline, written with the app):
// the destinations of the Help menu and the About window's links.
namespace HelpPages {

QUrl documentation(const QUrl &brokerURL);
// Getting help when something is wrong: recovery steps and "Copy Debug Info".
QUrl support(const QUrl &brokerURL);
// How keys stay safe: what the app keeps, where, and what leaves this computer.
QUrl trust(const QUrl &brokerURL);

} // namespace HelpPages
