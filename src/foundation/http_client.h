#pragma once

#include "foundation/errors.h"

#include <QString>

// The program's side of an HTTP client: one synchronous GET that returns the
// response body as text. Run and Run in Text Mode use it through this seam so
// that the windows can be tested against any implementation.
class HttpClient {
public:
    virtual ~HttpClient() = default;

    // Body of the page at a complete URL; throws AppError on any failure
    // (no connection, refused, time-out, an HTTP error status).
    virtual QString get(const QString &url) = 0;
    // Ends a get running on another thread soon; it then throws. Safe to
    // call from any thread; a client that cannot be stopped ignores it.
    virtual void cancel() {}
};

// The body of the page, or an empty text when the request fails: the run
// commands report no fetch errors of their own.
inline QString getOrEmpty(HttpClient &client, const QString &url)
{
    try {
        return client.get(url);
    } catch (const AppError &) {
        return {};
    }
}
