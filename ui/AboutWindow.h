#pragma once

#include <QDialog>
#include <QUrl>

class AppMetadata;
class TVNRuntimeIdentity;

// "About Torvane": the mark, the tagline, what the app is, the facts of this build (bundle id,
// build id, source, minimum system, update channel and behaviour) and the help links.
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    AboutWindow(const TVNRuntimeIdentity &identity, const AppMetadata &metadata, const QString &updateBehavior,
                const QUrl &brokerURL, QWidget *parent = nullptr);
};
