#include "forms/browser_view.h"

#include "foundation/errors.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QOpenGLContext>
#include <QUrl>
#include <QVBoxLayout>

#include <dlfcn.h>
#include <future>
#include <unistd.h>
#include <utility>

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

// Qt's own (exported, not in a public header): the context the engine shares.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace {
// The engine asks for the application's shared GL context even when it draws
// in software. Made here, just before the engine's library arrives, rather
// than by the application at start-up, where it would load the GL driver.
void EnsureSharedContext()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto *context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
}

// The engine's library beside the program (installed or built), else where
// the dynamic linker finds it (test programs link it). Thread-safe: the
// preload runs it off the window's thread.
void *OpenBrowserEngineLibrary(QString *problem)
{
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QString::fromLatin1(BrowserEngineLibrary));
    void *library = dlopen(QFile::encodeName(beside).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        library = dlopen(BrowserEngineLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library && problem)
        *problem = QString::fromLocal8Bit(dlerror());
    return library;
}

std::future<void> &Preloading()
{
    static std::future<void> preloading;
    return preloading;
}

CreateBrowserEngineFunction LoadBrowserEngine()
{
    static CreateBrowserEngineFunction create = [] {
        EnsureSharedContext();
        // A preload under way finishes first; the open below then only
        // counts a reference.
        if (Preloading().valid())
            Preloading().wait();
        QString problem;
        void *library = OpenBrowserEngineLibrary(&problem);
        if (!library)
            throw AppError(QStringLiteral("The web browser could not be started: %1").arg(problem));
        return reinterpret_cast<CreateBrowserEngineFunction>(
            dlsym(library, CreateBrowserEngineName));
    }();
    if (!create)
        throw AppError(QStringLiteral("The web browser could not be started."));
    return create;
}
} // namespace

namespace {
BrowserViewFactory &InstalledFactory();
} // namespace

void PreloadBrowserEngine()
{
    if (Preloading().valid() || InstalledFactory())
        return;
    // The context first, on this thread: the engine's library looks for it
    // as it loads.
    EnsureSharedContext();
    // Loading and relocating the engine's libraries is most of a first
    // page's wait and needs no window thread; the engine itself is still
    // made at the first page. A failure is reported then, by that load.
    Preloading() = std::async(std::launch::async, [] { OpenBrowserEngineLibrary(nullptr); });
}

void WebEngineBrowserView::ensureEngine()
{
    if (m_engine)
        return;
    const bool hadFocus = hasBrowserFocus();
    m_engine.reset(LoadBrowserEngine()(this, this));
    QWidget *view = m_engine->widget();
    layout()->replaceWidget(m_placeholder, view);
    setFocusProxy(view);
    delete m_placeholder;
    m_placeholder = nullptr;
    if (hadFocus)
        view->setFocus(Qt::OtherFocusReason);
}

QWidget *WebEngineBrowserView::engineWidget() const
{
    return m_engine ? m_engine->widget() : nullptr;
}

void WebEngineBrowserView::navigate(const QString &url)
{
    ensureEngine();
    m_hopTo.clear();
    if (!m_ownPageFor.isEmpty() && url == m_ownPageFor) {
        // The engine turns a load of the address whose failure the own page
        // stands in for into an empty page; from a blank page it goes there.
        m_hopTo = url;
        m_engine->load(QUrl(QStringLiteral("about:blank")));
        return;
    }
    m_ownPageFor.clear();
    m_engine->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowserView::reload()
{
    if (!m_engine)
        return;
    // Over an own page, try the address it stands in for again.
    if (!m_ownPageFor.isEmpty())
        navigate(m_ownPageFor);
    else
        m_engine->reload();
}

void WebEngineBrowserView::showPage(const QString &html, const QString &forUrl)
{
    ensureEngine();
    m_hopTo.clear();
    m_ownPageFor = forUrl;
    m_loadingOwnPage = true;
    m_engine->setHtml(html);
}

void WebEngineBrowserView::engineNavigating(const QUrl &url, bool isMainFrame)
{
    // The program's own page is no address of the user's.
    if (isMainFrame && m_loadingOwnPage && url.scheme() == QLatin1String("data")) {
        m_loadingOwnPage = false;
        return;
    }
    if (isMainFrame)
        m_ownPageFor.clear();
    emit beforeNavigate(url.toString());
}

void WebEngineBrowserView::engineLoadFailed(const QUrl &url, const QString &error)
{
    if (url.scheme() == QLatin1String("data") || !failurePage())
        return;
    showPage(failurePage()(url.toString(), error), url.toString());
}

void WebEngineBrowserView::engineLoadFinished()
{
    if (m_hopTo.isEmpty())
        return;
    const QString url = std::exchange(m_hopTo, QString());
    m_ownPageFor.clear();
    m_engine->load(QUrl(url, QUrl::TolerantMode));
}

void WebEngineBrowserView::engineContextMenu(const QPoint &globalPos)
{
    emit contextMenuRequested(globalPos);
}

void WebEngineBrowserView::setSilent(bool silent)
{
    m_silent = silent;
}

void WebEngineBrowserView::focusBrowser()
{
    if (m_engine)
        m_engine->widget()->setFocus(Qt::OtherFocusReason);
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
