#include "AboutWindow.h"

#include "AppMetadata.h"
#include "FormWidgets.h"
#include "HelpPages.h"
#include "TVNRuntimeIdentity.h"
#include "TrayIconArt.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel *factText(QWidget *parent, const QString &text, const char *role = nullptr)
{
    QLabel *label = FormWidgets::text(parent, QString(), text);
    if (role)
        FormWidgets::setRole(label, role);
    return label;
}

QPushButton *linkButton(const QString &text, const QUrl &target, QWidget *parent)
{
    QPushButton *button = FormWidgets::button(parent, QStringLiteral("aboutLink") + text, text);
    FormWidgets::setRole(button, "link");
    button->setToolTip(target.toString());
    QObject::connect(button, &QPushButton::clicked, parent, [target] { QDesktopServices::openUrl(target); });
    return button;
}
} // namespace

AboutWindow::AboutWindow(const TVNRuntimeIdentity &identity, const AppMetadata &metadata, const QString &updateBehavior,
                         const QUrl &brokerURL, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("tvn.auxiliary.window"));
    setWindowTitle(QStringLiteral("About ") + identity.appName());
    setStyleSheet(FormWidgets::style);
    setMinimumWidth(460);

    auto *mark = new QLabel(this);
    mark->setObjectName(QStringLiteral("aboutMark"));
    mark->setPixmap(TrayIconArt::symbol(QStringLiteral("key.fill"), QColor(0x5f, 0xb3, 0xab)).pixmap(56, 56));
    QLabel *name = factText(this, identity.appName(), "headline");
    QLabel *tagline = factText(this, QStringLiteral("Give your agents access. Never your keys."), "ok");
    QLabel *about = factText(this, QStringLiteral("Torvane is a local-first Linux app for scoped agent access. Provider credentials "
                                              "stay under local custody by default; agents receive TVN router keys, not raw "
                                              "provider tokens."),
                             "note");

    auto *facts = new QFormLayout;
    facts->setLabelAlignment(Qt::AlignLeft);
    const QList<QPair<QString, QString>> rows{{QStringLiteral("Bundle ID"), identity.bundleIdentifier()},
                                              {QStringLiteral("Build ID"), metadata.buildId()},
                                              {QStringLiteral("Source SHA"), metadata.sourceShaDisplay()},
                                              {QStringLiteral("Minimum Linux"), QStringLiteral("Debian 12 or newer, Qt 6.4")},
                                              {QStringLiteral("Update channel"), metadata.buildChannel()},
                                              {QStringLiteral("Update behavior"), updateBehavior}};
    for (const auto &[fact, value] : rows)
        facts->addRow(factText(this, fact, "note"), factText(this, value));

    auto *links = new QHBoxLayout;
    links->addWidget(linkButton(QStringLiteral("Website"), HelpPages::documentation(brokerURL), this));
    links->addWidget(linkButton(QStringLiteral("Support"), HelpPages::support(brokerURL), this));
    links->addWidget(linkButton(QStringLiteral("Changelog"), HelpPages::documentation(brokerURL), this));
    links->addWidget(linkButton(QStringLiteral("Trust"), HelpPages::trust(brokerURL), this));
    links->addStretch();
    QPushButton *done = FormWidgets::button(this, QStringLiteral("aboutDone"), QStringLiteral("Done"));
    FormWidgets::setRole(done, "primary");
    done->setDefault(true);
    links->addWidget(done);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);

    auto *heading = new QHBoxLayout;
    heading->addWidget(mark);
    auto *titles = new QVBoxLayout;
    titles->addWidget(name);
    titles->addWidget(tagline);
    heading->addLayout(titles, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 18);
    layout->setSpacing(12);
    layout->addLayout(heading);
    layout->addWidget(about);
    layout->addLayout(facts);
    layout->addSpacing(6);
    layout->addLayout(links);
}
