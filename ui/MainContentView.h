#pragma once

#include "DashboardActionRunner.h"
#include "DashboardLoadKey.h"
#include "DashboardWebView.h"
#include "RootSurfaceRouting.h"

#include <QWidget>

#include <functional>

class AppModel;
class FirstRunWelcomeView;
class NativeOperatorUnlockFallback;
class NativeVaultSecurityFallback;
class NativeShellView;
class QStackedWidget;
class SplashView;
class WebFallbackView;

// The main window's content: on every model change it picks the root surface (welcome, splash,
// dashboard, web fallback, native shell) and, on the dashboard, the native unlock screen that
// stands in for the page when the page asked the app to unlock. It runs what the page asks for.
class MainContentView : public QWidget
{
    Q_OBJECT

public:
    using URLOpener = std::function<void(const QUrl &)>;

    explicit MainContentView(AppModel *model, QWidget *parent = nullptr);
    ~MainContentView() override;

    RootSurface surface() const { return m_surface; }
    // The dashboard page is on screen and proved it rendered.
    bool dashboardRevealed() const;
    bool webViewLoadFailed() const { return m_webViewLoadFailed; }
    // The facts the surface choice is made from.
    RootSurfaceRouting::Facts routingFacts() const;
    DashboardLoadKey dashboardLoadKey() const;

    // How "Open in browser", the page's external links and provider key pages are opened.
    void setURLOpener(URLOpener opener);
    // The dashboard's readiness waits; tests shorten them before the dashboard first shows.
    void setDashboardTiming(const DashboardWebView::Timing &timing) { m_dashboardTiming = timing; }

    DashboardWebView *dashboardView() const { return m_dashboard; }
    FirstRunWelcomeView *welcomeView() const { return m_welcome; }
    NativeShellView *nativeShellView() const { return m_nativeShell; }
    WebFallbackView *webFallbackView() const { return m_webFallback; }
    NativeOperatorUnlockFallback *operatorUnlockFallback() const { return m_operatorUnlock; }
    NativeVaultSecurityFallback *vaultSecurityFallback() const { return m_vaultSecurity; }
    QWidget *currentScreen() const;

Q_SIGNALS:
    void surfaceChanged();
    void dashboardRevealedChanged();

private:
    void render();
    void showDashboard();
    bool showDashboardFallback();
    void ensureDashboardView();
    void dropDashboardView();
    void requestNativeUnlock();
    void confirmVaultReset();
    void runDashboardAction(const DashboardMessage &message);
    void tryDashboardAgain();

    AppModel *m_model;
    QStackedWidget *m_stack;
    FirstRunWelcomeView *m_welcome;
    SplashView *m_splash;
    NativeShellView *m_nativeShell;
    WebFallbackView *m_webFallback;
    NativeOperatorUnlockFallback *m_operatorUnlock;
    NativeVaultSecurityFallback *m_vaultSecurity;
    DashboardWebView *m_dashboard = nullptr;
    DashboardWebView::Timing m_dashboardTiming;
    URLOpener m_openURL;
    DashboardActionRunner m_actions;

    RootSurface m_surface = RootSurface::firstRunWelcome;
    bool m_webViewLoadFailed = false;
    bool m_nativeUnlockRequested = false;
};
