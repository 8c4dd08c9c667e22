#pragma once

// A real PHP built-in web server on a free loopback port, serving a folder
// with errors shown as HTML, as a local development server does. It is
// started by the constructor and stopped by the destructor.

#include <QProcess>
#include <QString>
#include <QTemporaryFile>

class PhpServer {
public:
    // Starts `php -S 127.0.0.1:PORT -t root` and waits until the port accepts;
    // throws std::runtime_error when PHP is missing or does not come up.
    explicit PhpServer(const QString &root);
    ~PhpServer();
    PhpServer(const PhpServer &) = delete;
    PhpServer &operator=(const PhpServer &) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT/" + path.
    QString url(const QString &path = QString()) const;
    // What PHP wrote to its console, for failure messages.
    QString output();

private:
    QTemporaryFile m_log;
    QProcess m_process;
    int m_port = 0;
};

// A loopback TCP port that nothing listens on at the moment of the call.
int FreeLoopbackPort();
// True when a TCP connection to 127.0.0.1:port is accepted.
bool LoopbackPortAccepts(int port);
