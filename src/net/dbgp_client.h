#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

// One element of an engine's XML packet, as read by QXmlStreamReader:
// attributes by their local name, the text (CDATA) and the child elements.
struct DbgpNode {
    QString name; // local name, without the namespace prefix
    QHash<QString, QString> attributes;
    QString text;
    QList<DbgpNode> children;

    QString attr(const QString &key) const { return attributes.value(key); }
    const DbgpNode *child(const QString &childName) const;
    // The text, base64-decoded when the element says encoding="base64".
    QByteArray decoded() const;
};

// Parses one packet's XML; false (and `error` set) when it is not well formed.
bool ParseDbgpPacket(const QByteArray &xml, DbgpNode &root, QString &error);

// A variable or a value as the engine describes it; children are filled up
// to the page the engine sent, the rest is fetched on request.
struct DbgpProperty {
    QString name;
    QString fullName; // what property_get takes to reach it again
    QString type;     // int, string, array, object, uninitialized, ...
    QString className;
    QString value;    // decoded; for strings the engine may send less than `size`
    qint64 size = -1; // the string's whole length when the engine says
    bool hasChildren = false;
    int childCount = 0; // all children, of which `children` holds one page
    int page = 0;
    int pageSize = 0;
    QList<DbgpProperty> children;

    static DbgpProperty fromNode(const DbgpNode &node);
};

struct DbgpStackFrame {
    int level = 0;
    QString where; // the function, "{main}" at the top
    QString fileUri;
    int line = 0;
};

// Where the engine stopped, or why it will not go on.
struct DbgpStatus {
    QString status; // starting, break, stopping, stopped
    QString fileUri;
    int line = 0;
    QString exception; // the error or exception class when it stopped on one
    QString message;
};

// The reply to one command: the <response> element, or the engine's error.
struct DbgpReply {
    DbgpNode node;
    int errorCode = 0; // nonzero: the engine refused the command
    QString errorMessage;
    bool ok() const { return errorCode == 0; }
};

// One engine's connection, speaking DBGp: packets are "<length>\0<xml>\0",
// commands are "name -i TID args [-- base64]\0". Everything is asynchronous;
// each reply goes to the callback of its transaction id. Waits are bounded:
// the init packet and every reply that is not a continuation (run, step_*)
// must arrive within `replyTimeout`, or the session ends. Garbage, a packet
// over `maxPacket`, a connection that closes mid-packet or an engine that
// goes silent ends the session with a line in the log and ended(reason).
class DbgpSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DbgpSession)

public:
    struct Options {
        std::chrono::milliseconds replyTimeout{5000};
        qint64 maxPacket = 64 * 1024 * 1024;
    };
    using Callback = std::function<void(const DbgpReply &)>;

    // Takes over `socket`, which the engine just connected.
    DbgpSession(QTcpSocket *socket, Options options, QObject *parent = nullptr);
    ~DbgpSession() override;

    // Sends a command; `data` goes base64-encoded after "--". Returns the
    // transaction id, or 0 when the session has ended.
    int send(const QString &command, const QStringList &arguments = {}, const QByteArray &data = {},
             Callback callback = {});
    bool isOpen() const { return !m_ended; }
    QString initFileUri() const { return m_initFileUri; }
    QString ideKey() const { return m_ideKey; }

    // Continuation commands: run, step_into, step_over, step_out; the reply's
    // status arrives as statusChanged().
    void continueWith(const QString &command);
    // Ends the script (stop) and the session.
    void stop();
    // Closes the connection without a word to the engine.
    void close(const QString &reason = {});

    // Typed helpers over send().
    void stackGet(std::function<void(QList<DbgpStackFrame>)> done);
    void contextGet(int depth, int context, std::function<void(QList<DbgpProperty>)> done);
    void propertyGet(const QString &fullName, int depth, int page,
                     std::function<void(DbgpProperty, QString error)> done);
    void evaluate(const QString &expression, std::function<void(DbgpProperty, QString error)> done);

signals:
    void initialized();
    void statusChanged(const DbgpStatus &status);
    // A breakpoint the engine placed elsewhere than asked (resolved_breakpoints).
    void breakpointResolved(const QString &id, const QString &fileUri, int line);
    void logLine(const QString &line);
    // Once; `reason` is empty when the script simply ended.
    void ended(const QString &reason);

private:
    void onReadyRead();
    void onPacket(const QByteArray &xml);
    void fail(const QString &reason);
    void armTimer();

    QTcpSocket *m_socket;
    Options m_options;
    QTimer *m_timer;
    QByteArray m_buffer;
    int m_nextId = 1;
    struct Pending {
        Callback callback;
        bool bounded = true;
    };
    QHash<int, Pending> m_pending;
    bool m_initSeen = false;
    bool m_ended = false;
    bool m_stopping = false;
    QString m_initFileUri;
    QString m_ideKey;
};

// Listens for engines on a port of this machine. One session is active at a
// time; engines that connect meanwhile wait in line (up to a few) and start
// when the active one ends, the rest are turned away with a log line.
class DbgpListener final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DbgpListener)

public:
    explicit DbgpListener(DbgpSession::Options options = {}, QObject *parent = nullptr);
    ~DbgpListener() override;

    // Listens on 127.0.0.1:`port` (0: a free port); false with `error` set.
    bool listen(int port, QString *error = nullptr);
    void close();
    bool isListening() const;
    int port() const;
    DbgpSession *session() const { return m_session; }
    int waiting() const { return int(m_waiting.size()); }

signals:
    // A new session whose init packet has arrived.
    void sessionStarted(DbgpSession *session);
    void sessionEnded(const QString &reason);
    void logLine(const QString &line);

private:
    void onNewConnection();
    void startNext();

    DbgpSession::Options m_options;
    QTcpServer *m_server;
    DbgpSession *m_session = nullptr;
    QList<QTcpSocket *> m_waiting;
};

// A file's path on this machine and the engine's file URI, through path
// mappings (server folder -> local folder) for a server elsewhere.
struct DbgpPathMap {
    struct Mapping {
        QString remote; // a folder as the server names it
        QString local;  // the same folder here
    };
    QList<Mapping> mappings;

    QString toLocal(const QString &fileUri) const;
    QString toUri(const QString &localPath) const;
};
