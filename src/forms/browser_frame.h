#pragma once

#include "forms/browser_view.h"

#include <QString>
#include <QWidget>

#include <functional>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;

// The browser frame every page of the program is shown in: an address bar
// (`URL` box and a "Refresh" button) over the browser, with a small context
// menu. Its only state is the URL box's text: the address the browser last
// announced, or whatever the user or a command put there. Hosts choose where
// the menu's shortcuts work and may hide the address bar.
// Object name `frame_browser1`.
class BrowserFrame final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrowserFrame)

public:
    // Where the context menu's shortcuts work.
    enum class ShortcutScope {
        Browser, // only while the keyboard focus is inside the browser
        Window,  // anywhere in the window that holds the frame
    };

    // `factory` makes the browser; without one the installed factory
    // (CreateBrowserView) is used, which is the real engine in the program.
    explicit BrowserFrame(QWidget *parent = nullptr, const BrowserViewFactory &factory = {});
    ~BrowserFrame() override;

    // The address rules, on their own.
    // Typed address to go to: "http://" in front unless it begins with "http" in any case.
    static QString AddressToGo(const QString &typed);
    // Reported address as shown: every "?" becomes "/?" unless it already holds "/?".
    static QString AddressToShow(const QString &reported);

    // Asked before every navigation the frame is told to make (by its host or
    // the URL box), and before a reload over a page of the program's own; when
    // it answers false the frame does not go there, and the gate has shown
    // something else instead.
    using NavigationGate = std::function<bool(const QString &url)>;
    void setNavigationGate(NavigationGate gate) { m_gate = std::move(gate); }

    // Operations the hosts use.
    QString urlText() const;
    void setUrlText(const QString &text); // never navigates by itself
    void focusUrl();
    void focusBrowser();
    // True when the browser was told to go there (the gate let it).
    bool navigate(const QString &url);
    // A page of the program's own in place of `forUrl` (BrowserView::showPage).
    void showPage(const QString &html, const QString &forUrl);
    void reload();
    // The page shown when a navigation fails before any server answered
    // (BrowserView::setFailurePage); empty goes back to the engine's own.
    void setFailurePage(BrowserView::FailurePage page);
    // Makes the browser engine now rather than at the first page.
    void prepareEngine();
    // Reports no load failures of its own (BrowserView::setSilent).
    void setSilent(bool silent);
    // The browser, for reading what it shows.
    BrowserView *browserView() const { return WebBrowser1; }
    void setAddressBarVisible(bool visible);
    bool isAddressBarVisible() const;
    void setShortcutScope(ShortcutScope scope);
    ShortcutScope shortcutScope() const { return m_scope; }
    // Opens the frame's context menu at a global position.
    void showMenu(const QPoint &globalPos);

    // Handlers, called guarded by the controls; Sender nullptr is the program's own call.
    // Enter goes to the typed address; other keys are left to the edit.
    void URLKeyDown(QObject *Sender, int Key);
    void RefreshClick(QObject *Sender);
    void Close1Click(QObject *Sender);
    void Close2Click(QObject *Sender);
    void Engerlink1Click(QObject *Sender);
    void Refresh1Click(QObject *Sender);
    void Refrehs1Click(QObject *Sender);
    void WebBrowser1BeforeNavigate2(QObject *Sender, const QString &url);

    QMenu *PopupMenu1;
    QAction *Close1;
    QAction *Close2;
    QAction *Engerlink1;
    QAction *Refresh1;
    QAction *Refrehs1;
    QWidget *Panel1;
    QPushButton *Button1;
    QLineEdit *URL;

signals:
    // The URL box's text changed: typed, set by the browser or by a command.
    void urlChanged(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    BrowserView *WebBrowser1;

    QAction *addMenuItem(const char *name, const QString &caption, const QKeySequence &key,
                         void (BrowserFrame::*handler)(QObject *));
    QAction *menuActionFor(const QEvent *event) const;
    bool isInBrowser(const QObject *object) const;
    void closeHoldingWindow();

    NavigationGate m_gate;
    ShortcutScope m_scope = ShortcutScope::Browser;
    bool m_filteringApplication = false;
};
