#include "HowItWorksCard.h"

#include "DarkStyle.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace {
struct Step {
    const char *title;
    const char *detail;
};

constexpr Step howItWorks[] = {
    {"Turn on local service", "Torvane runs a small service on this computer. It listens only here, never on your network."},
    {"Make a scoped key", "Each agent gets its own key that works only for the apps you pick, never your real app keys."},
    {"Revoke and audit", "Revoke any key at once, and see every call and approval in a tamper-evident log."},
};
} // namespace

QFrame *HowItWorksCard::create(QWidget *parent)
{
    auto *card = new QFrame(parent);
    card->setObjectName(QStringLiteral("howItWorks"));
    card->setProperty("role", QStringLiteral("card"));
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(6);
    QLabel *title = DarkStyle::titleLabel(card, QStringLiteral("howItWorksTitle"), 1.1);
    title->setText(QStringLiteral("How it works"));
    QLabel *lead = DarkStyle::wrappedLabel(card, QStringLiteral("howItWorksLead"));
    lead->setProperty("role", QStringLiteral("muted"));
    lead->setText(QStringLiteral("What to click and why it is safe."));
    layout->addWidget(title);
    layout->addWidget(lead);
    int number = 1;
    for (const Step &step : howItWorks) {
        QLabel *name = DarkStyle::titleLabel(card, QStringLiteral("howItWorksStep"), 1.0);
        name->setText(QStringLiteral("%1. %2").arg(number++).arg(QLatin1StringView(step.title)));
        QLabel *detail = DarkStyle::wrappedLabel(card, QStringLiteral("howItWorksDetail"));
        detail->setProperty("role", QStringLiteral("muted"));
        detail->setText(QLatin1StringView(step.detail));
        layout->addSpacing(6);
        layout->addWidget(name);
        layout->addWidget(detail);
    }
    return card;
}
