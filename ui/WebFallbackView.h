#pragma once

#include <QWidget>

class QPushButton;

// "Couldn't load the dashboard": the service runs but its page did not show. Try again, or open
// the page in the default browser.
class WebFallbackView : public QWidget
{
    Q_OBJECT

public:
    explicit WebFallbackView(QWidget *parent = nullptr);

    QPushButton *tryAgainButton() const { return m_tryAgainButton; }
    QPushButton *openInBrowserButton() const { return m_openInBrowserButton; }

Q_SIGNALS:
    void tryAgainRequested();
    void openInBrowserRequested();

private:
    QPushButton *m_tryAgainButton;
    QPushButton *m_openInBrowserButton;
};
