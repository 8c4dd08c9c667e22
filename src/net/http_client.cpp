#include "net/http_client.h"

#include <QStringDecoder>
#include <curl/curl.h>
#include <mutex>

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK)
        throw AppError(QStringLiteral("The HTTP library could not be started: %1")
                           .arg(QString::fromUtf8(curl_easy_strerror(result))));
}

struct Body {
    QByteArray bytes;
    qint64 limit = 0;
    bool tooLarge = false;
};

size_t appendBody(char *data, size_t size, size_t count, void *target)
{
    auto *body = static_cast<Body *>(target);
    const size_t n = size * count;
    if (body->bytes.size() + qint64(n) > body->limit) {
        body->tooLarge = true;
        return 0; // makes curl stop with a write error
    }
    body->bytes.append(data, qsizetype(n));
    return n;
}

// Loopback always bypasses a proxy: the run address is normally the local
// server, which a proxy from the environment could not reach.
QByteArray noProxyList()
{
    QByteArray list = qgetenv("no_proxy");
    if (list.isEmpty())
        list = qgetenv("NO_PROXY");
    if (!list.isEmpty())
        list += ',';
    return list + "localhost,127.0.0.1,::1";
}

void check(CURLcode code, const char *what)
{
    if (code != CURLE_OK)
        throw AppError(QStringLiteral("The HTTP client could not set %1: %2")
                           .arg(QLatin1String(what), QString::fromUtf8(curl_easy_strerror(code))));
}

} // namespace

QString DecodePageText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

CurlHttpClient::CurlHttpClient(HttpClientOptions options) : m_options(options)
{
    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl)
        throw AppError(QStringLiteral("The HTTP client could not be created"));
    m_curl = curl;

    curl_slist *headers = curl_slist_append(nullptr, "Accept: text/html, */*");
    if (!headers) {
        curl_easy_cleanup(curl);
        throw AppError(QStringLiteral("The HTTP client could not be created"));
    }
    m_headers = headers;

    const QByteArray noProxy = noProxyList(); // curl keeps its own copy
    try {
        check(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers), "the Accept header");
        check(curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent), "the User-Agent");
        // An empty cookie file switches on the in-memory cookie store.
        check(curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""), "the cookie store");
        check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L), "signal-free time-outs");
        check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L), "redirects");
        check(curl_easy_setopt(curl, CURLOPT_MAXREDIRS, m_options.maxRedirects), "redirects");
        check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"), "the protocols");
        check(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"), "the protocols");
        check(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                               long(m_options.connectTimeout.count())),
              "the connect time-out");
        check(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(m_options.totalTimeout.count())),
              "the time-out");
        check(curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.constData()), "the proxy rule");
        check(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody), "the body reader");
    } catch (...) {
        curl_easy_cleanup(curl);
        curl_slist_free_all(headers);
        throw;
    }
}

CurlHttpClient::~CurlHttpClient()
{
    curl_easy_cleanup(static_cast<CURL *>(m_curl));
    curl_slist_free_all(static_cast<curl_slist *>(m_headers));
}

QString CurlHttpClient::get(const QString &url) { return DecodePageText(getBytes(url)); }

QByteArray CurlHttpClient::getBytes(const QString &url)
{
    const QString shownUrl = url.trimmed();
    if (shownUrl.isEmpty())
        throw AppError(QStringLiteral("Could not fetch the page: the address is empty"));
    const QByteArray address = shownUrl.toUtf8();
    if (address.contains('\0'))
        throw AppError(QStringLiteral("Could not fetch %1: the address holds a NUL character")
                           .arg(shownUrl));

    CURL *curl = static_cast<CURL *>(m_curl);
    Body body;
    body.limit = m_options.maxBodyBytes;
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    const CURLcode code = curl_easy_perform(curl);
    // The buffers above live on this stack frame only.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

    if (body.tooLarge)
        throw AppError(QStringLiteral("Could not fetch %1: the page is larger than %2 bytes")
                           .arg(shownUrl)
                           .arg(m_options.maxBodyBytes));
    if (code != CURLE_OK) {
        QString reason = QString::fromUtf8(curl_easy_strerror(code));
        if (code == CURLE_OPERATION_TIMEDOUT)
            reason = QStringLiteral("the server did not answer in time");
        const QString more = QString::fromUtf8(detail).trimmed();
        if (!more.isEmpty())
            reason += QStringLiteral(" (") + more + u')';
        throw AppError(QStringLiteral("Could not fetch %1: %2").arg(shownUrl, reason));
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        throw AppError(QStringLiteral("Could not fetch %1: the server answered with HTTP status %2")
                           .arg(shownUrl)
                           .arg(status));
    return body.bytes;
}

QStringList CurlHttpClient::cookies() const
{
    QStringList lines;
    curl_slist *list = nullptr;
    if (curl_easy_getinfo(static_cast<CURL *>(m_curl), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return lines;
    for (curl_slist *item = list; item; item = item->next)
        lines.append(QString::fromUtf8(item->data));
    curl_slist_free_all(list);
    return lines;
}
