#include "WebFallbackView.h"

#include "DarkStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WebFallbackView::WebFallbackView(QWidget *parent)
    : QWidget(parent)
    , m_tryAgainButton(DarkStyle::button(this, QStringLiteral("webFallbackTryAgain"), QStringLiteral("Try again")))
    , m_openInBrowserButton(DarkStyle::button(this, QStringLiteral("webFallbackOpenInBrowser"),
                                              QStringLiteral("Open in browser"),
                                              QStringLiteral("Open the local service dashboard in your default browser")))
{
    setObjectName(QStringLiteral("webFallback"));
    setStyleSheet(DarkStyle::screenStyleSheet());
    DarkStyle::makePrimary(m_tryAgainButton);
    QLabel *title = DarkStyle::titleLabel(this, QStringLiteral("webFallbackTitle"), 1.8);
    title->setText(QStringLiteral("Couldn't load the dashboard"));
    QLabel *text = DarkStyle::wrappedLabel(this, QStringLiteral("webFallbackText"));
    text->setProperty("role", QStringLiteral("muted"));
    text->setText(QStringLiteral("The local Torvane service is running, but its dashboard didn't load. Try again, or "
                                 "open it in your browser."));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_tryAgainButton);
    buttons->addWidget(m_openInBrowserButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(64, 56, 64, 40);
    layout->setSpacing(14);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(m_tryAgainButton, &QPushButton::clicked, this, &WebFallbackView::tryAgainRequested);
    connect(m_openInBrowserButton, &QPushButton::clicked, this, &WebFallbackView::openInBrowserRequested);
}
