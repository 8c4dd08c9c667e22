#include "net/curl_http_client.h"

#include <curl/curl.h>

#include <QLibrary>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// libcurl is loaded with the first client, not with the program: it and the
// libraries it brings (TLS, LDAP, Kerberos, IDN ...) made every start
// about 10 ms longer, for a client that many sessions never use.
struct CurlApi {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_perform) easy_perform = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
};

template <typename Function>
bool resolve(QLibrary &library, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    return function != nullptr;
}

// Loads and starts libcurl once; throws AppError when it cannot.
const CurlApi &curl()
{
    static std::once_flag once;
    static CurlApi api;
    static QString problem;
    std::call_once(once, [] {
        QLibrary library(QStringLiteral("curl"), 4);
#ifdef Q_OS_WIN
        if (!library.load())
            library.setFileName(QStringLiteral("libcurl"));
#endif
        CurlApi found;
        if (!library.load()) {
            problem = library.errorString();
            return;
        }
        if (!resolve(library, "curl_global_init", found.global_init) ||
            !resolve(library, "curl_easy_strerror", found.easy_strerror) ||
            !resolve(library, "curl_easy_init", found.easy_init) ||
            !resolve(library, "curl_easy_cleanup", found.easy_cleanup) ||
            !resolve(library, "curl_easy_setopt", found.easy_setopt) ||
            !resolve(library, "curl_easy_perform", found.easy_perform) ||
            !resolve(library, "curl_easy_getinfo", found.easy_getinfo) ||
            !resolve(library, "curl_slist_append", found.slist_append) ||
            !resolve(library, "curl_slist_free_all", found.slist_free_all)) {
            problem = library.errorString();
            return;
        }
        const CURLcode result = found.global_init(CURL_GLOBAL_DEFAULT);
        if (result != CURLE_OK) {
            problem = QString::fromUtf8(found.easy_strerror(result));
            return;
        }
        api = found; // the library stays loaded for the rest of the run
    });
    if (!problem.isEmpty())
        throw AppError(
            QStringLiteral("The HTTP library (libcurl) could not be started: %1").arg(problem));
    return api;
}

// The body goes into fixed-size chunks that the client keeps between
// requests: a multi-MB page never pays for a growing buffer being copied
// and faulted in again, and the text is decoded from the chunks in one go.
struct Body {
    std::vector<std::unique_ptr<char[]>> *chunks = nullptr;
    qint64 size = 0;
    qint64 limit = 0;
    bool tooLarge = false;
};

constexpr qint64 ChunkBytes = qint64(1) << 20;
constexpr size_t ChunksKept = 32; // up to 32 MB stays allocated between requests

size_t appendBody(char *data, size_t size, size_t count, void *target)
{
    auto *body = static_cast<Body *>(target);
    const qint64 n = qint64(size * count);
    if (body->size + n > body->limit) {
        body->tooLarge = true;
        return 0; // makes curl stop with a write error
    }
    qint64 done = 0;
    while (done < n) {
        const size_t index = size_t(body->size / ChunkBytes);
        const qint64 offset = body->size % ChunkBytes;
        if (index == body->chunks->size())
            body->chunks->push_back(std::make_unique_for_overwrite<char[]>(ChunkBytes));
        const qint64 step = std::min(n - done, ChunkBytes - offset);
        std::memcpy((*body->chunks)[index].get() + offset, data + done, size_t(step));
        done += step;
        body->size += step;
    }
    return size_t(n);
}

// The first `size` bytes held by the chunks, one view per chunk.
template <typename Visit>
void forEachChunk(const std::vector<std::unique_ptr<char[]>> &chunks, qint64 size, Visit visit)
{
    for (size_t i = 0; size > 0; ++i) {
        const qint64 step = std::min(size, ChunkBytes);
        visit(QByteArrayView(chunks[i].get(), step));
        size -= step;
    }
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
        throw AppError(
            QStringLiteral("The HTTP client could not set %1: %2")
                .arg(QLatin1String(what), QString::fromUtf8(curl().easy_strerror(code))));
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

QString WebAddressProblem(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QStringLiteral("The run address is empty. Set it to the page to run, for example "
                              "http://127.0.0.1:8000/index.php.");
    static const QRegularExpression schemeAt(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch scheme = schemeAt.match(text);
    if (!scheme.hasMatch())
        return QStringLiteral("\"%1\" is not a web address: it must begin with http:// or "
                              "https://.")
            .arg(text);
    const QString kind = scheme.captured(1).toLower();
    if (kind != QLatin1String("http") && kind != QLatin1String("https"))
        return QStringLiteral("\"%1\" was not opened: Run and the preview open only web "
                              "addresses (http:// or https://), never %2: addresses.")
            .arg(text, kind);
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("\"%1\" is not a valid web address%2.")
            .arg(text, url.isValid() ? QStringLiteral(": it names no host")
                                     : QStringLiteral(" (") + url.errorString() + u')');
    return {};
}

QByteArray RequestAddress(const QString &address)
{
    if (address.contains(QChar(0)))
        throw AppError(QStringLiteral("Could not fetch %1: the address holds a NUL character")
                           .arg(address.trimmed()));
    const QString problem = WebAddressProblem(address);
    if (!problem.isEmpty())
        throw AppError(problem);
    // Tolerant parsing encodes what a user types (blanks, accents) and keeps
    // existing %XX escapes as they are.
    return QUrl(address.trimmed(), QUrl::TolerantMode).toEncoded();
}

CurlHttpClient::CurlHttpClient(HttpClientOptions options) : m_options(options)
{
    const CurlApi &api = ::curl();
    CURL *curl = api.easy_init();
    if (!curl)
        throw AppError(QStringLiteral("The HTTP client could not be created"));
    m_curl = curl;

    curl_slist *headers = api.slist_append(nullptr, "Accept: text/html, */*");
    if (!headers) {
        api.easy_cleanup(curl);
        throw AppError(QStringLiteral("The HTTP client could not be created"));
    }
    m_headers = headers;

    const QByteArray noProxy = noProxyList(); // curl keeps its own copy
    try {
        check(api.easy_setopt(curl, CURLOPT_HTTPHEADER, headers), "the Accept header");
        check(api.easy_setopt(curl, CURLOPT_USERAGENT, UserAgent), "the User-Agent");
        // An empty cookie file switches on the in-memory cookie store.
        check(api.easy_setopt(curl, CURLOPT_COOKIEFILE, ""), "the cookie store");
        check(api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L), "signal-free time-outs");
        check(api.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L), "redirects");
        check(api.easy_setopt(curl, CURLOPT_MAXREDIRS, m_options.maxRedirects), "redirects");
        check(api.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"), "the protocols");
        check(api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"), "the protocols");
        check(api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                              long(m_options.connectTimeout.count())),
              "the connect time-out");
        check(api.easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(m_options.totalTimeout.count())),
              "the time-out");
        check(api.easy_setopt(curl, CURLOPT_NOPROXY, noProxy.constData()), "the proxy rule");
        check(api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody), "the body reader");
        // Bigger reads than the 16 KB default: fewer calls on multi-MB pages.
        check(api.easy_setopt(curl, CURLOPT_BUFFERSIZE, 512L * 1024), "the buffer size");
    } catch (...) {
        api.easy_cleanup(curl);
        api.slist_free_all(headers);
        throw;
    }
}

CurlHttpClient::~CurlHttpClient()
{
    curl().easy_cleanup(static_cast<CURL *>(m_curl));
    curl().slist_free_all(static_cast<curl_slist *>(m_headers));
}

QString CurlHttpClient::get(const QString &url)
{
    const qint64 size = perform(url);
    // UTF-16 never needs more units than UTF-8 has bytes.
    QString text(qsizetype(size), Qt::Uninitialized);
    // Qt 6.4's decoder reports an error for a sequence split between two
    // calls, so a character cut by a chunk boundary is held back and decoded
    // whole with the next chunk's first bytes.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QChar *end = text.data();
    QByteArray pending;
    forEachChunk(m_chunks, size, [&](QByteArrayView chunk) {
        qsizetype start = 0;
        if (!pending.isEmpty()) {
            while (start < chunk.size() && pending.size() < 4 &&
                   (uchar(chunk[start]) & 0xC0) == 0x80)
                pending.append(chunk[start++]);
            end = utf8.appendToBuffer(end, pending);
            pending.clear();
        }
        qsizetype cut = chunk.size();
        qsizetype lead = cut - 1;
        int continuation = 0;
        while (lead >= start && continuation < 3 && (uchar(chunk[lead]) & 0xC0) == 0x80) {
            --lead;
            ++continuation;
        }
        if (lead >= start) {
            const uchar first = uchar(chunk[lead]);
            const int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
            if (length > continuation + 1)
                cut = lead;
        }
        end = utf8.appendToBuffer(end, chunk.sliced(start, cut - start));
        pending = chunk.sliced(cut).toByteArray();
    });
    if (!pending.isEmpty())
        end = utf8.appendToBuffer(end, pending);
    if (utf8.hasError())
        return QString::fromLatin1(assemble(size));
    text.truncate(end - text.constData());
    releaseChunks();
    return text;
}

QByteArray CurlHttpClient::getBytes(const QString &url)
{
    const QByteArray bytes = assemble(perform(url));
    releaseChunks();
    return bytes;
}

QByteArray CurlHttpClient::assemble(qint64 size) const
{
    QByteArray bytes;
    bytes.reserve(qsizetype(size));
    forEachChunk(m_chunks, size, [&](QByteArrayView chunk) { bytes.append(chunk); });
    return bytes;
}

void CurlHttpClient::releaseChunks()
{
    if (m_chunks.size() > ChunksKept)
        m_chunks.resize(ChunksKept);
}

namespace {
// Asked by curl about once a second and on every chunk: non-zero ends the transfer.
int stopWhenCancelled(void *cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool> *>(cancelled)->load() ? 1 : 0;
}
} // namespace

void CurlHttpClient::cancel()
{
    m_cancelled.store(true);
}

qint64 CurlHttpClient::perform(const QString &url)
{
    const QString shownUrl = url.trimmed();
    const QByteArray address = RequestAddress(url);

    const CurlApi &api = ::curl();
    CURL *curl = static_cast<CURL *>(m_curl);
    Body body;
    body.chunks = &m_chunks;
    body.limit = m_options.maxBodyBytes;
    char detail[CURL_ERROR_SIZE] = {};
    api.easy_setopt(curl, CURLOPT_URL, address.constData());
    api.easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    api.easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    api.easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    m_cancelled.store(false);
    api.easy_setopt(curl, CURLOPT_XFERINFODATA, &m_cancelled);
    api.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
    api.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = api.easy_perform(curl);
    // The buffers above live on this stack frame only.
    api.easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    api.easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

    if (body.tooLarge || code != CURLE_OK)
        releaseChunks();
    if (body.tooLarge)
        throw AppError(QStringLiteral("Could not fetch %1: the page is larger than %2 bytes")
                           .arg(shownUrl)
                           .arg(m_options.maxBodyBytes));
    if (code != CURLE_OK) {
        QString reason = QString::fromUtf8(api.easy_strerror(code));
        if (code == CURLE_OPERATION_TIMEDOUT)
            reason = QStringLiteral("the server did not answer in time");
        if (code == CURLE_ABORTED_BY_CALLBACK)
            reason = QStringLiteral("cancelled");
        const QString more = QString::fromUtf8(detail).trimmed();
        if (!more.isEmpty())
            reason += QStringLiteral(" (") + more + u')';
        throw AppError(QStringLiteral("Could not fetch %1: %2").arg(shownUrl, reason));
    }
    long status = 0;
    api.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
        releaseChunks();
        throw AppError(QStringLiteral("Could not fetch %1: the server answered with HTTP status %2")
                           .arg(shownUrl)
                           .arg(status));
    }
    return body.size;
}

QStringList CurlHttpClient::cookies() const
{
    QStringList lines;
    curl_slist *list = nullptr;
    if (curl().easy_getinfo(static_cast<CURL *>(m_curl), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return lines;
    for (curl_slist *item = list; item; item = item->next)
        lines.append(QString::fromUtf8(item->data));
    curl().slist_free_all(list);
    return lines;
}
