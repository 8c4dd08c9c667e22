#include "net/remote_endpoint.h"

#include "foundation/errors.h"

#include <QHostAddress>

#include <algorithm>

RemoteEndpoint ParseRemoteHost(const QString &text, quint16 defaultPort, const QString &protocol)
{
    RemoteEndpoint endpoint;
    endpoint.port = defaultPort;
    QString name = text;
    QString port;
    if (name.startsWith(u'[')) { // "[::1]" or "[::1]:2121"
        const qsizetype close = name.indexOf(u']');
        const QString rest = close < 0 ? QString() : name.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && (!rest.startsWith(u':') || rest.size() == 1)))
            throw AppError(QStringLiteral("Bad %1 host \"%2\"").arg(protocol, text));
        port = rest.mid(1);
        name = name.mid(1, close - 1);
    } else if (name.count(u':') == 1) {
        const qsizetype colon = name.indexOf(u':');
        port = name.mid(colon + 1);
        name = name.left(colon);
        if (port.isEmpty())
            throw AppError(QStringLiteral("Bad %1 port in \"%2\"").arg(protocol, text));
    }
    if (name.isEmpty())
        throw AppError(QStringLiteral("No %1 host is set").arg(protocol));
    endpoint.host = name;
    if (!port.isEmpty()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            throw AppError(QStringLiteral("Bad %1 port in \"%2\"").arg(protocol, text));
        endpoint.port = static_cast<quint16>(value);
    }
    return endpoint;
}

bool RemoteEndpoint::onThisMachine() const
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

int SessionsFor(const RemoteEndpoint &endpoint, int wanted, int processors)
{
    return endpoint.onThisMachine() ? std::clamp(processors, 1, std::max(wanted, 1)) : wanted;
}
