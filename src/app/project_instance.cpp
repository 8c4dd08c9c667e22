#include "app/project_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

constexpr int AnswerMs = 1000;

// Per user and per file, however the path was written.
QString socketName(const QString &projectPath)
{
    QString canonical = QFileInfo(projectPath).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QFileInfo(projectPath).absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(20);
    return QStringLiteral("quillstone-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

} // namespace

ProjectInstance::ProjectInstance(QObject *parent) : QObject(parent)
{
}

ProjectInstance::~ProjectInstance() = default;

bool ProjectInstance::heldElsewhere(const QString &projectPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketName(projectPath));
    const bool answered = socket.waitForConnected(AnswerMs);
    socket.abort();
    return answered;
}

bool ProjectInstance::raiseOther(const QString &projectPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketName(projectPath));
    if (!socket.waitForConnected(AnswerMs))
        return false;
    socket.write("raise\n");
    const bool sent = socket.waitForBytesWritten(AnswerMs);
    socket.disconnectFromServer();
    return sent;
}

void ProjectInstance::hold(const QString &projectPath)
{
    if (!m_held.isEmpty() && projectPath == m_held)
        return;
    delete m_server;
    m_server = nullptr;
    m_held.clear();
    if (projectPath.isEmpty())
        return;
    const QString name = socketName(projectPath);
    // Held elsewhere (the user chose to open it here too): that one stays the one asked.
    if (heldElsewhere(projectPath))
        return;
    // A socket left behind by a copy that was killed answers nobody.
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        delete m_server;
        m_server = nullptr;
        return;
    }
    m_held = projectPath;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains("raise"))
                    emit raiseRequested();
            });
        }
    });
}
