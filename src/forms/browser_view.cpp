#include "forms/browser_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>
#include <utility>

// The page reports every navigation before it starts and, in silent mode,
// answers the page's script dialogs itself instead of showing them.
class BrowserPage final : public QWebEnginePage {
public:
    BrowserPage(WebEngineBrowserView *view, QObject *parent) : QWebEnginePage(parent), m_view(view)
    {
        connect(this, &QWebEnginePage::certificateError, this,
                [this](QWebEngineCertificateError error) {
                    // Never trust a bad certificate; in silent mode nobody is asked.
                    if (m_view->isSilent())
                        error.rejectCertificate();
                });
        connect(this, &QWebEnginePage::loadingChanged, this,
                [this](const QWebEngineLoadingInfo &info) {
                    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
                        return;
                    // Only failures before any server answered: a page that a server
                    // sent with an error status is shown as it came.
                    const auto domain = info.errorDomain();
                    constexpr int Aborted = -3; // another navigation took over
                    if ((domain == QWebEngineLoadingInfo::ConnectionErrorDomain ||
                         domain == QWebEngineLoadingInfo::DnsErrorDomain ||
                         domain == QWebEngineLoadingInfo::HttpErrorDomain) &&
                        info.errorCode() != Aborted)
                        m_view->loadFailed(info.url(), info.errorString());
                });
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        // The program's own page is no address of the user's.
        if (isMainFrame && m_view->m_loadingOwnPage && url.scheme() == QLatin1String("data")) {
            m_view->m_loadingOwnPage = false;
            return true;
        }
        if (isMainFrame)
            m_view->m_ownPageFor.clear();
        emit m_view->beforeNavigate(url.toString());
        return true;
    }

    void javaScriptAlert(const QUrl &origin, const QString &message) override
    {
        if (!m_view->isSilent())
            QWebEnginePage::javaScriptAlert(origin, message);
    }

    // A silent browser answers No: a page must not go on as if the user agreed.
    bool javaScriptConfirm(const QUrl &origin, const QString &message) override
    {
        if (m_view->isSilent())
            return false;
        return QWebEnginePage::javaScriptConfirm(origin, message);
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue,
                          QString *result) override
    {
        if (m_view->isSilent())
            return false;
        return QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
    }

private:
    WebEngineBrowserView *m_view;
};

// --- BrowserView --------------------------------------------------------------

BrowserView::BrowserView(QWidget *parent) : QWidget(parent)
{
}

BrowserView::~BrowserView() = default;

bool BrowserView::hasBrowserFocus() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

// --- WebEngineBrowserView -----------------------------------------------------

WebEngineBrowserView::WebEngineBrowserView(QWidget *parent) : BrowserView(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(QStringLiteral("BrowserPlaceholder"));
    m_placeholder->setFocusPolicy(Qt::StrongFocus);
    m_placeholder->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_placeholder);
    setFocusProxy(m_placeholder);
}

WebEngineBrowserView::~WebEngineBrowserView() = default;

void WebEngineBrowserView::ensureEngine()
{
    if (m_view)
        return;
    PrepareBrowserEngineEnvironment();
    const bool hadFocus = hasBrowserFocus();
    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("WebEngineView"));
    m_page = new BrowserPage(this, m_view); // owned by the view
    m_view->setPage(m_page);
    // The host shows its own menu instead of the engine's.
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { emit contextMenuRequested(m_view->mapToGlobal(pos)); });
    layout()->replaceWidget(m_placeholder, m_view);
    setFocusProxy(m_view);
    delete m_placeholder;
    m_placeholder = nullptr;
    if (hadFocus)
        m_view->setFocus(Qt::OtherFocusReason);
}

void WebEngineBrowserView::navigate(const QString &url)
{
    ensureEngine();
    delete m_pendingHop;
    if (!m_ownPageFor.isEmpty() && url == m_ownPageFor) {
        // The engine turns a load of the address whose failure the own page
        // stands in for into an empty page; from a blank page it goes there.
        m_pendingHop = new QObject(this);
        connect(m_view, &QWebEngineView::loadFinished, m_pendingHop, [this, url] {
            m_pendingHop->deleteLater();
            m_pendingHop = nullptr;
            m_ownPageFor.clear();
            m_view->load(QUrl(url, QUrl::TolerantMode));
        });
        m_view->load(QUrl(QStringLiteral("about:blank")));
        return;
    }
    m_ownPageFor.clear();
    m_view->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowserView::reload()
{
    if (!m_view)
        return;
    // Over an own page, try the address it stands in for again.
    if (!m_ownPageFor.isEmpty())
        navigate(m_ownPageFor);
    else
        m_view->reload();
}

void WebEngineBrowserView::showPage(const QString &html, const QString &forUrl)
{
    ensureEngine();
    delete m_pendingHop;
    m_ownPageFor = forUrl;
    m_loadingOwnPage = true;
    m_view->setHtml(html);
}

void WebEngineBrowserView::loadFailed(const QUrl &url, const QString &error)
{
    if (url.scheme() == QLatin1String("data") || !failurePage())
        return;
    showPage(failurePage()(url.toString(), error), url.toString());
}

void WebEngineBrowserView::setSilent(bool silent)
{
    m_silent = silent;
}

void WebEngineBrowserView::focusBrowser()
{
    if (m_view)
        m_view->setFocus(Qt::OtherFocusReason);
    else
        m_placeholder->setFocus(Qt::OtherFocusReason);
}

// --- factory ------------------------------------------------------------------

namespace {
BrowserViewFactory &InstalledFactory()
{
    static BrowserViewFactory factory;
    return factory;
}
} // namespace

BrowserView *CreateBrowserView(QWidget *parent)
{
    if (const BrowserViewFactory &factory = InstalledFactory())
        return factory(parent);
    return new WebEngineBrowserView(parent);
}

void SetBrowserViewFactory(BrowserViewFactory factory)
{
    InstalledFactory() = std::move(factory);
}

ScopedBrowserViewFactory::ScopedBrowserViewFactory(BrowserViewFactory factory)
    : m_previous(std::exchange(InstalledFactory(), std::move(factory)))
{
}

ScopedBrowserViewFactory::~ScopedBrowserViewFactory()
{
    InstalledFactory() = std::move(m_previous);
}

void PrepareBrowserEngineEnvironment()
{
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Drawn through OpenGL, the engine's view turns the whole window it sits
    // in into one GL surface: the window is made anew when the first page
    // arrives, and from then on every repaint of the editor is composed
    // through GL, which on software GL (VMs, remote desktops, no GPU driver)
    // costs tens of milliseconds per key. Drawn in software, the page is an
    // ordinary part of the window. A user's own choice of backend stays.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}
