#pragma once

#include "forms/browser_engine.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QWebEngineView;

// The embedded web browser as the program uses it: navigate, reload, silent
// mode, keyboard focus, and a report before every navigation. Windows talk to
// this seam only, so their tests can use a recording double while the program
// uses the real engine.
class BrowserView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrowserView)

public:
    explicit BrowserView(QWidget *parent = nullptr);
    ~BrowserView() override;

    // Starts going to `url`; failures end in the browser's own error page.
    virtual void navigate(const QString &url) = 0;
    // Loads the current page again; nothing when no page was ever shown.
    virtual void reload() = 0;
    // In silent mode the browser raises no dialog boxes of its own.
    virtual void setSilent(bool silent) = 0;
    virtual bool isSilent() const = 0;
    // Gives the keyboard focus to the page.
    virtual void focusBrowser() = 0;
    // Makes a browser that starts slowly ready before its first page, so the
    // host can overlap that with other waits; nothing is shown.
    virtual void prepareEngine() {}
    // True while the keyboard focus is inside the browser.
    bool hasBrowserFocus() const;

    // Shows a page of the program's own (HTML text) in place of `forUrl`,
    // without a before-navigate report; a reload goes to `forUrl` again.
    virtual void showPage(const QString &html, const QString &forUrl) = 0;
    // The address an own page of showPage stands in for while it is shown;
    // empty otherwise.
    virtual QString ownPageFor() const = 0;
    // Makes the page shown, through showPage, when a navigation fails before
    // any web server answered (refused, no such host, not a web server); an
    // error page that a server sent is shown as it is.
    using FailurePage = std::function<QString(const QString &url, const QString &error)>;
    void setFailurePage(FailurePage page) { m_failurePage = std::move(page); }
    const FailurePage &failurePage() const { return m_failurePage; }

signals:
    // Before each navigation, the page's own and its frames' included, with the
    // target address as the browser reports it. The navigation goes on.
    void beforeNavigate(const QString &url);
    // The user asked for the context menu at `globalPos`; hosts show their own.
    void contextMenuRequested(const QPoint &globalPos);

private:
    FailurePage m_failurePage;
};

// The real browser over the web engine. The engine is costly to load and to
// start, so its library is loaded and the engine created at the first page;
// until then an empty widget holds the place and the focus.
class WebEngineBrowserView final : public BrowserView, private BrowserEngineHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineBrowserView)

public:
    explicit WebEngineBrowserView(QWidget *parent = nullptr);
    ~WebEngineBrowserView() override;

    void navigate(const QString &url) override;
    void reload() override;
    void setSilent(bool silent) override;
    bool isSilent() const override { return m_silent; }
    void focusBrowser() override;
    void prepareEngine() override { ensureEngine(); }
    void showPage(const QString &html, const QString &forUrl) override;

    // The engine's view, or nullptr before the first navigation.
    QWidget *engineWidget() const;
    template <typename View = QWebEngineView>
    View *engineView() const
    {
        return qobject_cast<View *>(engineWidget());
    }
    QString ownPageFor() const override { return m_ownPageFor; }

private:
    void ensureEngine();
    bool engineSilent() const override { return m_silent; }
    void engineNavigating(const QUrl &url, bool isMainFrame) override;
    void engineLoadFailed(const QUrl &url, const QString &error) override;
    void engineLoadFinished() override;
    void engineContextMenu(const QPoint &globalPos) override;

    QWidget *m_placeholder = nullptr;
    std::unique_ptr<BrowserEngine> m_engine;
    bool m_silent = false;
    QString m_ownPageFor;
    QString m_hopTo;               // an address to load once the blank page before it is in
    bool m_loadingOwnPage = false; // the next navigation is showPage's own
};

// Makes a browser for a frame; `parent` becomes its parent.
using BrowserViewFactory = std::function<BrowserView *(QWidget *parent)>;

// A browser from the installed factory, the real engine when none is installed.
BrowserView *CreateBrowserView(QWidget *parent);
// Installs the factory every new frame uses; an empty one restores the real engine.
void SetBrowserViewFactory(BrowserViewFactory factory);

// Installs a factory for the lifetime of the object and restores the previous one.
class ScopedBrowserViewFactory final {
public:
    explicit ScopedBrowserViewFactory(BrowserViewFactory factory);
    ~ScopedBrowserViewFactory();
    ScopedBrowserViewFactory(const ScopedBrowserViewFactory &) = delete;
    ScopedBrowserViewFactory &operator=(const ScopedBrowserViewFactory &) = delete;

private:
    BrowserViewFactory m_previous;
};

// Starts loading the web engine's libraries in the background, once, so
// that the first page waits only for the engine itself. Costs memory (about
// 27 MB of the libraries' own), so it is for when a page is likely soon.
void PreloadBrowserEngine();

// Prepares the process for the web engine: it refuses to start as root with
// its sandbox on, and it draws in software so that it never makes its
// window an OpenGL one. Called before the application object exists.
void PrepareBrowserEngineEnvironment();
