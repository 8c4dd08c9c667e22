#include "net/dbgp_client.h"

#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// Engines nest properties as deep as asked (max_depth); far deeper is garbage.
constexpr int MaxDepth = 64;
// A length prefix is a decimal number; more digits than this is garbage.
constexpr int MaxLengthDigits = 12;
// Engines that may wait in line behind the active one.
constexpr int MaxWaiting = 4;

bool readElement(QXmlStreamReader &reader, DbgpNode &node, int depth)
{
    if (depth > MaxDepth) {
        reader.raiseError(QStringLiteral("elements nested too deeply"));
        return false;
    }
    node.name = reader.name().toString();
    for (const QXmlStreamAttribute &a : reader.attributes())
        node.attributes.insert(a.name().toString(), a.value().toString());
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            node.children.append(DbgpNode{});
            if (!readElement(reader, node.children.last(), depth + 1))
                return false;
            break;
        case QXmlStreamReader::Characters:
            node.text += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            return true;
        default:
            break;
        }
    }
    return !reader.hasError();
}

QString readableCommand(const QString &line)
{
    return line.size() > 200 ? line.left(200) + QStringLiteral("...") : line;
}

} // namespace

const DbgpNode *DbgpNode::child(const QString &childName) const
{
    for (const DbgpNode &c : children) {
        if (c.name == childName)
            return &c;
    }
    return nullptr;
}

QByteArray DbgpNode::decoded() const
{
    if (attr(QStringLiteral("encoding")) == QLatin1String("base64"))
        return QByteArray::fromBase64(text.toLatin1());
    return text.toUtf8();
}

bool ParseDbgpPacket(const QByteArray &xml, DbgpNode &root, QString &error)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (!readElement(reader, root, 0))
                break;
            // Nothing but the one document element may follow.
            while (!reader.atEnd()) {
                if (reader.readNext() == QXmlStreamReader::StartElement)
                    reader.raiseError(QStringLiteral("a second document element"));
            }
        }
    }
    if (reader.hasError()) {
        error = reader.errorString();
        return false;
    }
    if (root.name.isEmpty()) {
        error = QStringLiteral("no element");
        return false;
    }
    return true;
}

DbgpProperty DbgpProperty::fromNode(const DbgpNode &node)
{
    DbgpProperty p;
    // Extended properties send name and value as base64 child elements.
    const DbgpNode *name = node.child(QStringLiteral("name"));
    const DbgpNode *fullName = node.child(QStringLiteral("fullname"));
    const DbgpNode *value = node.child(QStringLiteral("value"));
    p.name = name ? QString::fromUtf8(name->decoded()) : node.attr(QStringLiteral("name"));
    p.fullName =
        fullName ? QString::fromUtf8(fullName->decoded()) : node.attr(QStringLiteral("fullname"));
    p.type = node.attr(QStringLiteral("type"));
    p.className = node.attr(QStringLiteral("classname"));
    p.value = QString::fromUtf8(value ? value->decoded() : node.decoded());
    bool ok = false;
    const qint64 size = node.attr(QStringLiteral("size")).toLongLong(&ok);
    p.size = ok ? size : -1;
    p.hasChildren = node.attr(QStringLiteral("children")) == QLatin1String("1");
    p.childCount = node.attr(QStringLiteral("numchildren")).toInt();
    p.page = node.attr(QStringLiteral("page")).toInt();
    p.pageSize = node.attr(QStringLiteral("pagesize")).toInt();
    for (const DbgpNode &c : node.children) {
        if (c.name == QLatin1String("property"))
            p.children.append(fromNode(c));
    }
    return p;
}

DbgpSession::DbgpSession(QTcpSocket *socket, Options options, QObject *parent)
    : QObject(parent), m_socket(socket), m_options(options), m_timer(new QTimer(this))
{
    m_socket->setParent(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        fail(m_initSeen ? QStringLiteral("The debugger engine stopped answering (no reply "
                                         "within %1 s).")
                              .arg(m_options.replyTimeout.count() / 1000.0)
                        : QStringLiteral("The debugger engine connected but sent no greeting "
                                         "within %1 s.")
                              .arg(m_options.replyTimeout.count() / 1000.0));
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &DbgpSession::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_ended)
            return;
        if (!m_buffer.isEmpty())
            fail(QStringLiteral("The debugger engine closed the connection in the middle of a "
                                "packet."));
        else if (!m_initSeen)
            fail(QStringLiteral("The debugger engine closed the connection before its "
                                "greeting."));
        else
            close(m_stopping ? QString() : QStringLiteral("The debugger engine went away."));
    });
    armTimer();
    // Data may have arrived before this object took the socket.
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &DbgpSession::onReadyRead);
}

DbgpSession::~DbgpSession()
{
    m_ended = true;
    m_socket->disconnect(this);
    m_socket->abort();
}

void DbgpSession::armTimer()
{
    bool bounded = !m_initSeen;
    for (const Pending &p : std::as_const(m_pending))
        bounded = bounded || p.bounded;
    if (bounded && !m_ended)
        m_timer->start(m_options.replyTimeout);
    else
        m_timer->stop();
}

int DbgpSession::send(const QString &command, const QStringList &arguments, const QByteArray &data,
                      Callback callback)
{
    if (m_ended)
        return 0;
    const int id = m_nextId++;
    QString line = command + QStringLiteral(" -i ") + QString::number(id);
    for (const QString &argument : arguments)
        line += u' ' + argument;
    QByteArray bytes = line.toUtf8();
    if (!data.isNull())
        bytes += " -- " + data.toBase64();
    bytes += '\0';
    static const QStringList continuations{QStringLiteral("run"), QStringLiteral("step_into"),
                                           QStringLiteral("step_over"), QStringLiteral("step_out")};
    m_pending.insert(id, Pending{std::move(callback), !continuations.contains(command)});
    emit logLine(QStringLiteral("-> ") + readableCommand(QString::fromUtf8(bytes.chopped(1))));
    m_socket->write(bytes);
    armTimer();
    return id;
}

void DbgpSession::continueWith(const QString &command)
{
    send(command, {}, {}, [this](const DbgpReply &reply) {
        DbgpStatus status;
        status.status = reply.node.attr(QStringLiteral("status"));
        if (const DbgpNode *message = reply.node.child(QStringLiteral("message"))) {
            status.fileUri = message->attr(QStringLiteral("filename"));
            status.line = message->attr(QStringLiteral("lineno")).toInt();
            status.exception = message->attr(QStringLiteral("exception"));
            status.message = QString::fromUtf8(message->decoded());
        }
        if (!reply.ok()) {
            fail(
                QStringLiteral("The debugger engine refused to go on: %1").arg(reply.errorMessage));
            return;
        }
        emit statusChanged(status);
        // The script has ended: let the engine finish the request.
        if (status.status == QLatin1String("stopping"))
            stop();
    });
}

void DbgpSession::stop()
{
    if (m_ended)
        return;
    m_stopping = true;
    send(QStringLiteral("stop"), {}, {}, [this](const DbgpReply &) { close(); });
}

void DbgpSession::close(const QString &reason)
{
    if (m_ended)
        return;
    m_ended = true;
    m_timer->stop();
    if (!reason.isEmpty())
        emit logLine(reason);
    m_socket->disconnectFromHost();
    m_pending.clear();
    emit ended(reason);
}

void DbgpSession::fail(const QString &reason)
{
    m_buffer.clear();
    close(reason);
    m_socket->abort();
}

void DbgpSession::onReadyRead()
{
    if (m_ended)
        return;
    m_buffer += m_socket->readAll();
    // Data arrived: the engine is alive, the silence starts again.
    armTimer();
    while (!m_ended) {
        const qsizetype nul = m_buffer.indexOf('\0');
        if (nul < 0) {
            if (m_buffer.size() > MaxLengthDigits)
                fail(QStringLiteral("The debugger engine sent something that is not DBGp."));
            return;
        }
        const QByteArray digits = m_buffer.first(nul);
        bool ok = !digits.isEmpty() && digits.size() <= MaxLengthDigits;
        for (const char c : digits)
            ok = ok && c >= '0' && c <= '9';
        const qint64 length = ok ? digits.toLongLong(&ok) : -1;
        if (!ok) {
            fail(QStringLiteral("The debugger engine sent something that is not DBGp."));
            return;
        }
        if (length > m_options.maxPacket) {
            fail(QStringLiteral("The debugger engine sent a packet of %1 bytes, more than the "
                                "%2 bytes taken.")
                     .arg(length)
                     .arg(m_options.maxPacket));
            return;
        }
        if (m_buffer.size() < nul + 1 + length + 1)
            return; // the rest is on its way
        if (m_buffer.at(nul + 1 + length) != '\0') {
            fail(QStringLiteral("The debugger engine sent a packet whose length is wrong."));
            return;
        }
        const QByteArray xml = m_buffer.mid(nul + 1, length);
        m_buffer.remove(0, nul + 1 + length + 1);
        onPacket(xml);
    }
}

void DbgpSession::onPacket(const QByteArray &xml)
{
    DbgpNode root;
    QString error;
    if (!ParseDbgpPacket(xml, root, error)) {
        fail(QStringLiteral("The debugger engine sent a packet that is not XML (%1).").arg(error));
        return;
    }
    if (root.name == QLatin1String("init")) {
        if (m_initSeen) {
            fail(QStringLiteral("The debugger engine greeted twice."));
            return;
        }
        m_initSeen = true;
        m_initFileUri = root.attr(QStringLiteral("fileuri"));
        m_ideKey = root.attr(QStringLiteral("idekey"));
        emit logLine(QStringLiteral("<- init %1").arg(m_initFileUri));
        armTimer();
        emit initialized();
        return;
    }
    if (!m_initSeen) {
        fail(QStringLiteral("The debugger engine did not begin with its greeting."));
        return;
    }
    if (root.name == QLatin1String("notify")) {
        const QString name = root.attr(QStringLiteral("name"));
        if (name == QLatin1String("breakpoint_resolved")) {
            if (const DbgpNode *bp = root.child(QStringLiteral("breakpoint")))
                emit breakpointResolved(bp->attr(QStringLiteral("id")),
                                        bp->attr(QStringLiteral("filename")),
                                        bp->attr(QStringLiteral("lineno")).toInt());
        } else if (const DbgpNode *message = root.child(QStringLiteral("message"))) {
            emit logLine(QStringLiteral("<- %1 %2: %3")
                             .arg(name, message->attr(QStringLiteral("type")),
                                  QString::fromUtf8(message->decoded())));
        }
        return;
    }
    if (root.name == QLatin1String("stream"))
        return; // copies of the page's output; the preview shows the page
    if (root.name != QLatin1String("response")) {
        fail(QStringLiteral("The debugger engine sent an unknown packet <%1>.").arg(root.name));
        return;
    }
    bool ok = false;
    const int id = root.attr(QStringLiteral("transaction_id")).toInt(&ok);
    if (!ok || !m_pending.contains(id)) {
        // A reply nobody asked for: said in the log, otherwise harmless.
        emit logLine(QStringLiteral("<- a reply to no command (transaction %1)")
                         .arg(root.attr(QStringLiteral("transaction_id"))));
        return;
    }
    Pending pending = m_pending.take(id);
    armTimer();
    DbgpReply reply;
    reply.node = std::move(root);
    if (const DbgpNode *e = reply.node.child(QStringLiteral("error"))) {
        reply.errorCode = qMax(1, e->attr(QStringLiteral("code")).toInt());
        const DbgpNode *m = e->child(QStringLiteral("message"));
        reply.errorMessage =
            m ? m->text.trimmed() : QStringLiteral("error %1").arg(e->attr(QStringLiteral("code")));
    }
    emit logLine(QStringLiteral("<- %1 %2%3")
                     .arg(reply.node.attr(QStringLiteral("command")))
                     .arg(id)
                     .arg(reply.ok() ? QString() : QStringLiteral(": ") + reply.errorMessage));
    if (pending.callback)
        pending.callback(reply);
}

void DbgpSession::stackGet(std::function<void(QList<DbgpStackFrame>)> done)
{
    send(QStringLiteral("stack_get"), {}, {}, [done](const DbgpReply &reply) {
        QList<DbgpStackFrame> frames;
        for (const DbgpNode &s : reply.node.children) {
            if (s.name != QLatin1String("stack"))
                continue;
            DbgpStackFrame frame;
            frame.level = s.attr(QStringLiteral("level")).toInt();
            frame.where = s.attr(QStringLiteral("where"));
            frame.fileUri = s.attr(QStringLiteral("filename"));
            frame.line = s.attr(QStringLiteral("lineno")).toInt();
            frames.append(frame);
        }
        done(frames);
    });
}

void DbgpSession::contextGet(int depth, int context, std::function<void(QList<DbgpProperty>)> done)
{
    send(QStringLiteral("context_get"),
         {QStringLiteral("-d"), QString::number(depth), QStringLiteral("-c"),
          QString::number(context)},
         {}, [done](const DbgpReply &reply) {
             QList<DbgpProperty> properties;
             for (const DbgpNode &p : reply.node.children) {
                 if (p.name == QLatin1String("property"))
                     properties.append(DbgpProperty::fromNode(p));
             }
             done(properties);
         });
}

namespace {
// Names travel as one argument: quoted, with quotes and backslashes escaped.
QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + escaped + u'"';
}

void deliverProperty(const DbgpReply &reply, const std::function<void(DbgpProperty, QString)> &done)
{
    if (!reply.ok()) {
        done({}, reply.errorMessage);
        return;
    }
    const DbgpNode *p = reply.node.child(QStringLiteral("property"));
    if (!p) {
        done({}, QStringLiteral("no value"));
        return;
    }
    done(DbgpProperty::fromNode(*p), {});
}
} // namespace

void DbgpSession::propertyGet(const QString &fullName, int depth, int page,
                              std::function<void(DbgpProperty, QString)> done)
{
    send(QStringLiteral("property_get"),
         {QStringLiteral("-d"), QString::number(depth), QStringLiteral("-p"), QString::number(page),
          QStringLiteral("-n"), quoted(fullName)},
         {}, [done](const DbgpReply &reply) { deliverProperty(reply, done); });
}

void DbgpSession::evaluate(const QString &expression,
                           std::function<void(DbgpProperty, QString)> done)
{
    send(QStringLiteral("eval"), {}, expression.toUtf8(),
         [done](const DbgpReply &reply) { deliverProperty(reply, done); });
}

DbgpListener::DbgpListener(DbgpSession::Options options, QObject *parent)
    : QObject(parent), m_options(options), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &DbgpListener::onNewConnection);
}

DbgpListener::~DbgpListener()
{
    close();
}

bool DbgpListener::listen(int port, QString *error)
{
    if (m_server->isListening() && (port == 0 || m_server->serverPort() == port))
        return true;
    m_server->close();
    if (m_server->listen(QHostAddress::LocalHost, quint16(port)))
        return true;
    if (error)
        *error = QStringLiteral("Cannot listen for the debugger on port %1: %2")
                     .arg(port)
                     .arg(m_server->errorString());
    return false;
}

void DbgpListener::close()
{
    m_server->close();
    for (QTcpSocket *socket : std::exchange(m_waiting, {}))
        socket->deleteLater();
    if (m_session) {
        DbgpSession *session = std::exchange(m_session, nullptr);
        session->disconnect(this);
        session->close();
        session->deleteLater();
    }
}

bool DbgpListener::isListening() const
{
    return m_server->isListening();
}

int DbgpListener::port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void DbgpListener::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_waiting.size() >= MaxWaiting) {
            emit logLine(QStringLiteral("A further debugger engine was turned away: %1 already "
                                        "wait behind the active session.")
                             .arg(MaxWaiting));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        m_waiting.append(socket);
        if (m_session)
            emit logLine(QStringLiteral("Another request wants to debug; it waits until the "
                                        "active session ends."));
    }
    startNext();
}

void DbgpListener::startNext()
{
    while (!m_session && !m_waiting.isEmpty()) {
        QTcpSocket *socket = m_waiting.takeFirst();
        if (socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0) {
            socket->deleteLater();
            continue;
        }
        auto *session = new DbgpSession(socket, m_options, this);
        m_session = session;
        connect(session, &DbgpSession::logLine, this, &DbgpListener::logLine);
        connect(session, &DbgpSession::initialized, this,
                [this, session] { emit sessionStarted(session); });
        connect(session, &DbgpSession::ended, this, [this, session](const QString &reason) {
            if (m_session == session)
                m_session = nullptr;
            session->deleteLater();
            emit sessionEnded(reason);
            startNext();
        });
    }
}

QString DbgpPathMap::toLocal(const QString &fileUri) const
{
    const QUrl url(fileUri);
    const QString path = url.isLocalFile() ? url.toLocalFile() : fileUri;
    for (const Mapping &m : mappings) {
        const QString remote = QDir::cleanPath(m.remote);
        if (path == remote || path.startsWith(remote + u'/'))
            return QDir::cleanPath(m.local) + path.mid(remote.size());
    }
    return path;
}

QString DbgpPathMap::toUri(const QString &localPath) const
{
    QString path = QDir::cleanPath(localPath);
    for (const Mapping &m : mappings) {
        const QString local = QDir::cleanPath(m.local);
        if (path == local || path.startsWith(local + u'/')) {
            path = QDir::cleanPath(m.remote) + path.mid(local.size());
            break;
        }
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}
