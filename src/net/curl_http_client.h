#pragma once

#include "foundation/http_client.h"
#include "foundation/version.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

// Limits of one request. The defaults keep a server that accepts and never
// answers from holding the window for more than about half a minute.
struct HttpClientOptions {
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{30000};
    long maxRedirects = 10;
    qint64 maxBodyBytes = qint64(512) * 1024 * 1024;
};

// The HTTP client of the whole run, over one libcurl easy handle. Keeping the
// handle keeps its in-memory cookie store, so cookies a page sets are sent
// back on later requests, and lets connections to the same server be reused.
// Only http and https are fetched; every failure becomes an AppError naming
// the URL. Not copyable: it owns the handle.
class CurlHttpClient final : public HttpClient {
public:
    explicit CurlHttpClient(HttpClientOptions options = {});
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient &) = delete;
    CurlHttpClient &operator=(const CurlHttpClient &) = delete;

    QString get(const QString &url) override;
    void cancel() override;

    // Raw body of the page, for callers that decode it themselves.
    QByteArray getBytes(const QString &url);

    // The cookies held for the run, one line each in curl's Netscape format.
    QStringList cookies() const;

    static constexpr const char *UserAgent = "Quillstone/" QUILLSTONE_VERSION;

private:
    qint64 perform(const QString &url); // body into m_chunks; returns its size
    QByteArray assemble(qint64 size) const;
    void releaseChunks();

    std::vector<std::unique_ptr<char[]>> m_chunks; // body buffer, reused between requests
    void *m_curl = nullptr;                        // CURL easy handle
    void *m_headers = nullptr;                     // curl_slist of the fixed request headers
    HttpClientOptions m_options;
    std::atomic<bool> m_cancelled{false};
};

// UTF-8 when the bytes are valid UTF-8, otherwise each byte as Latin-1.
QString DecodePageText(const QByteArray &bytes);

// Why Run and the preview do not fetch or show `address`: empty for an http
// or https address with a host. Other kinds (javascript:, file:, data: ...)
// would run script or read local files instead of asking the web server.
QString WebAddressProblem(const QString &address);

// The address as it goes into the request: spaces and non-ASCII characters
// percent-encoded, the host in its ASCII form; what is already encoded stays.
// Throws AppError with WebAddressProblem's text for any other address.
QByteArray RequestAddress(const QString &address);
