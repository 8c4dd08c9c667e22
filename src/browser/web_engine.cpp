// The web engine behind the program's browser views, built as a library of
// its own: the program loads it at the first page, so start-up neither loads
// nor initialises the engine and its GL context.
#include "forms/browser_engine.h"

#include <QWebEngineCertificateError>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// The page reports every navigation before it starts and, in silent mode,
// answers the page's script dialogs itself instead of showing them.
class BrowserPage final : public QWebEnginePage {
public:
    BrowserPage(BrowserEngineHost *host, QObject *parent) : QWebEnginePage(parent), m_host(host)
    {
        connect(this, &QWebEnginePage::certificateError, this,
                [this](QWebEngineCertificateError error) {
                    // Never trust a bad certificate; in silent mode nobody is asked.
                    if (m_host->engineSilent())
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
                        m_host->engineLoadFailed(info.url(), info.errorString());
                });
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        m_host->engineNavigating(url, isMainFrame);
        return true;
    }

    void javaScriptAlert(const QUrl &origin, const QString &message) override
    {
        if (!m_host->engineSilent())
            QWebEnginePage::javaScriptAlert(origin, message);
    }

    // A silent browser answers No: a page must not go on as if the user agreed.
    bool javaScriptConfirm(const QUrl &origin, const QString &message) override
    {
        if (m_host->engineSilent())
            return false;
        return QWebEnginePage::javaScriptConfirm(origin, message);
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue,
                          QString *result) override
    {
        if (m_host->engineSilent())
            return false;
        return QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
    }

private:
    BrowserEngineHost *m_host;
};

class WebEngine final : public BrowserEngine {
public:
    WebEngine(QWidget *parent, BrowserEngineHost *host) : m_view(new QWebEngineView(parent))
    {
        m_view->setObjectName(QStringLiteral("WebEngineView"));
        m_view->setPage(new BrowserPage(host, m_view)); // owned by the view
        // The host shows its own menu instead of the engine's.
        m_view->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(m_view, &QWidget::customContextMenuRequested, m_view,
                         [view = m_view, host](const QPoint &pos) {
                             host->engineContextMenu(view->mapToGlobal(pos));
                         });
        QObject::connect(m_view, &QWebEngineView::loadFinished, m_view,
                         [host] { host->engineLoadFinished(); });
    }

    QWidget *widget() override { return m_view; }
    void load(const QUrl &url) override { m_view->load(url); }
    void reload() override { m_view->reload(); }
    void setHtml(const QString &html) override { m_view->setHtml(html); }

private:
    QWebEngineView *m_view; // owned by its parent widget
};

} // namespace

extern "C" Q_DECL_EXPORT BrowserEngine *QuillstoneCreateBrowserEngine(QWidget *parent,
                                                                      BrowserEngineHost *host)
{
    return new WebEngine(parent, host);
}
