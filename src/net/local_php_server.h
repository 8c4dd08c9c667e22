#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QProcess;

// Where an http address on this machine's loopback points: 127.0.0.1,
// localhost or [::1] (host without brackets), with the port (80 when none is
// written). Not valid for other hosts, for https (PHP's server speaks no TLS)
// and for other schemes.
struct LoopbackAddress {
    QString host;
    int port = 0;
    bool valid = false;

    // "host:port" as `php -S` takes it, with brackets around an IPv6 host.
    QString hostAndPort() const;
};
LoopbackAddress LoopbackHttpAddress(const QString &address);

// What answers on a loopback port.
enum class PortState {
    Free,      // nothing accepts connections
    WebServer, // an HTTP server (or one too busy to answer the probe in time)
    Other,     // a program that accepts but answers something else than HTTP
};

// Connects to the port and, when it accepts and `askHttp` is set, asks for a
// page that cannot exist (a dot name, so PHP's server runs no script for it)
// to see whether the answer is HTTP; without `askHttp` a port that accepts
// counts as a web server. Waits at most `timeout` for each step.
PortState ProbeLoopbackPort(const LoopbackAddress &address, std::chrono::milliseconds timeout,
                            bool askHttp = true);

// The project's own PHP server: `php -S HOST:PORT -t FOLDER` with PHP's errors
// shown in the pages as HTML, started when a run or the preview needs a
// loopback address that nothing answers on. One runs at a time; it is stopped
// when this object goes, when another folder or port is wanted, or by stop().
// Its console output (requests and PHP's error lines) goes straight to a log
// file, so nothing has to read a pipe on the window's thread.
class LocalPhpServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPhpServer)

public:
    struct Options {
        QString program = QStringLiteral("php"); // looked up on PATH at each start
        QString logPath;                         // empty: DefaultLogPath()
        std::chrono::milliseconds startTimeout{5000};
        std::chrono::milliseconds probeTimeout{2000};
    };

    // What prepare() found.
    struct Outcome {
        bool served = false;     // go on: something serves the address, or it is not ours to judge
        bool startedNow = false; // our own server was started for it by this call
        QString problem; // when not served: why, when there is more to say than "nothing answers"
    };

    explicit LocalPhpServer(QObject *parent = nullptr);
    explicit LocalPhpServer(Options options, QObject *parent = nullptr);
    ~LocalPhpServer() override;

    // Makes sure something serves `address` before it is shown or fetched.
    // Addresses that are not http on the loopback are left alone (served).
    // When the port is free and `mayStart` is set, starts PHP's server for
    // `folder` and waits, bounded, until it accepts. Never throws: every
    // failure (no php, a port taken by another kind of program, a php that
    // stops at once, no folder) comes back as the outcome's problem.
    Outcome prepare(const QString &address, const QString &folder, bool mayStart);
    // As prepare, but a server it starts is left starting: the next prepare
    // for the same address waits for what is left of its start. Lets the
    // caller do slow work of its own while PHP comes up.
    Outcome prepareWithoutWaiting(const QString &address, const QString &folder, bool mayStart);

    // Further options for PHP (Xdebug's, for a debug run); a server running
    // with others is restarted at the next prepare().
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }
    QStringList extraArguments() const { return m_extraArguments; }

    // Stops our server, if one runs; the log stays.
    void stop();
    bool isRunning() const;
    // The running server's process id, 0 when none runs.
    qint64 processId() const;
    int port() const { return m_port; }
    QString folder() const { return m_folder; }
    // True while our server runs for `folder` (in any of its spellings).
    bool servesFolder(const QString &folder) const;
    QString logPath() const;

    // $XDG_STATE_HOME/quillstone/php-server.log (~/.local/state/... by default).
    static QString DefaultLogPath();

private:
    Outcome prepare(const QString &address, const QString &folder, bool mayStart, bool wait);
    Outcome start(const LoopbackAddress &address, const QString &folder, bool wait);
    // Waits, bounded by the start's time-out, until the started server accepts.
    Outcome awaitAccepting();
    // The log written since our last start, for a message: its last lines.
    QString logTail() const;

    Options m_options;
    std::unique_ptr<QProcess> m_process;
    QString m_host;
    int m_port = 0;
    QString m_folder;
    qint64 m_logStart = 0;      // size of the log when our last start began
    bool m_logFresh = false;    // the log was emptied at this object's first start
    QSet<QString> m_webServers; // "host:port" found to answer as web servers
    QStringList m_extraArguments;
    QStringList m_runningArguments; // the extra arguments of the running server
    bool m_starting = false;        // started, not yet seen to accept
    QDeadlineTimer m_startDeadline;
};
