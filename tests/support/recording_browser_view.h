#pragma once

#include "forms/browser_view.h"

#include <QStringList>

// A browser that loads nothing and records what it is told: the addresses it
// was sent to, the reloads, silent mode and focus requests. Window tests install
// it through ScopedBrowserViewFactory and play the browser's part with
// fireBeforeNavigate and fireContextMenu.
class RecordingBrowserView final : public BrowserView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordingBrowserView)

public:
    explicit RecordingBrowserView(QWidget *parent = nullptr);
    ~RecordingBrowserView() override;

    void navigate(const QString &url) override
    {
        navigations.append(url);
        m_ownPageFor.clear();
    }
    void reload() override { ++reloads; }
    void setSilent(bool silent) override { m_silent = silent; }
    bool isSilent() const override { return m_silent; }
    void focusBrowser() override;
    void showPage(const QString &html, const QString &forUrl) override
    {
        pages.append(html);
        pagesFor.append(forUrl);
        m_ownPageFor = forUrl;
    }
    QString ownPageFor() const override { return m_ownPageFor; }

    // Reports a navigation as the real browser would before starting it.
    void fireBeforeNavigate(const QString &url) { emit beforeNavigate(url); }
    // Asks for the context menu as a right click in the page would.
    void fireContextMenu(const QPoint &globalPos) { emit contextMenuRequested(globalPos); }
    // Fails a navigation before any server answered, as the real browser
    // would, showing the failure page when one is set.
    void fireLoadFailure(const QString &url, const QString &error)
    {
        if (failurePage())
            showPage(failurePage()(url, error), url);
    }

    QStringList navigations;
    QStringList pages;    // HTML of each own page shown
    QStringList pagesFor; // the address each stood in for
    int reloads = 0;
    int focusRequests = 0;

private:
    bool m_silent = false;
    QString m_ownPageFor;
};

// Installs a factory of recording browsers for the lifetime of the object.
class ScopedRecordingBrowsers final {
public:
    ScopedRecordingBrowsers();
    ScopedRecordingBrowsers(const ScopedRecordingBrowsers &) = delete;
    ScopedRecordingBrowsers &operator=(const ScopedRecordingBrowsers &) = delete;

    // The recording browser of a frame or window built while this object lives.
    static RecordingBrowserView *of(BrowserView *view);

private:
    ScopedBrowserViewFactory m_factory;
};
