#pragma once

#include <QString>

class QPoint;
class QUrl;
class QWidget;

// What the web engine asks of the view that hosts it. Header only: the engine
// lives in a library of its own, loaded at the first page.
class BrowserEngineHost {
public:
    virtual ~BrowserEngineHost() = default;
    virtual bool engineSilent() const = 0;
    // Before every navigation; the navigation goes on.
    virtual void engineNavigating(const QUrl &url, bool isMainFrame) = 0;
    // A navigation failed before any web server answered.
    virtual void engineLoadFailed(const QUrl &url, const QString &error) = 0;
    virtual void engineLoadFinished() = 0;
    virtual void engineContextMenu(const QPoint &globalPos) = 0;
};

// The web engine's view as the host drives it.
class BrowserEngine {
public:
    virtual ~BrowserEngine() = default;
    // The engine's widget, a child of the parent it was made with.
    virtual QWidget *widget() = 0;
    virtual void load(const QUrl &url) = 0;
    virtual void reload() = 0;
    virtual void setHtml(const QString &html) = 0;
};

// The engine's library, and its one entry point, looked up by this name.
inline constexpr const char *BrowserEngineLibrary = "libquillstone-browser.so";
using CreateBrowserEngineFunction = BrowserEngine *(*)(QWidget *parent, BrowserEngineHost *host);
inline constexpr const char *CreateBrowserEngineName = "QuillstoneCreateBrowserEngine";
