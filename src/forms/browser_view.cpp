#include "forms/browser_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QOpenGLWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <unistd.h>
#include <utility>

// The page reports every navigation before it starts and, in silent mode,
// answers the page's script dialogs itself instead of showing them.
class BrowserPage final : public QWebEnginePage
{
  public:
    BrowserPage(WebEngineBrowserView *view, QObject *parent) : QWebEnginePage(parent), m_view(view)
    {
        connect(this, &QWebEnginePage::certificateError, this,
                [this](QWebEngineCertificateError error) {
                    // Never trust a bad certificate; in silent mode nobody is asked.
                    if (m_view->isSilent())
                        error.rejectCertificate();
                });
    }

  protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
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

namespace
{
bool PlatformHasGlWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")) ||
           platform == QLatin1String("windows") || platform == QLatin1String("cocoa");
}
} // namespace

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
    // The engine draws into its window through OpenGL. A window made without
    // such a surface is destroyed and made anew when the engine arrives: it
    // blinks, and its X window changes under window managers and scripted
    // input. A hidden GL widget gives the window that surface from the start;
    // it starts neither the engine nor a GL context of its own. Platforms
    // without GL windows (offscreen, minimal) are left as they are: there
    // the widget would break the engine's own fallback.
    if (PlatformHasGlWindows()) {
        auto *surface = new QOpenGLWidget(this);
        surface->setObjectName(QStringLiteral("BrowserSurface"));
        surface->hide();
    }
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
    m_view->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowserView::reload()
{
    if (m_view)
        m_view->reload();
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

namespace
{
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
}
