// Publishes a folder through the real publish engine and SFTP client and
// prints the time taken, files per second and MB per second. The log handler
// lets pending events run after every line, as the window does.
//
//   bench_net_sftp_publish HOST:PORT USER KEY_FOLDER KNOWN_HOSTS LOCAL_FOLDER REMOTE_FOLDER
//                          [BLOCK_BYTES]
//
// KEY_FOLDER holds the client key (id_ed25519 ...), KNOWN_HOSTS the server's
// key. Every file below LOCAL_FOLDER, in sorted order, is one project entry;
// the project file is taken to sit in LOCAL_FOLDER. BLOCK_BYTES sets the
// write request size (the client's default otherwise).
// bench/publish-sftp-vs-lftp.sh runs it against lftp on the same sshd.

#include "foundation/errors.h"
#include "net/sftp_client.h"
#include "project/project.h"
#include "project/publish_engine.h"
#include "publish_site.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7 && args.size() != 8) {
        std::fprintf(stderr,
                     "usage: %s HOST:PORT USER KEY_FOLDER KNOWN_HOSTS LOCAL_FOLDER REMOTE_FOLDER "
                     "[BLOCK_BYTES]\n",
                     argv[0]);
        return 2;
    }
    const QString folder = QFileInfo(args[5]).absoluteFilePath();

    Project project;
    const qint64 bytes = FillProjectWithSite(project, folder);
    QStringList files;
    project.ListFileNames(files);
    project.Ftp.Host = args[1];
    project.Ftp.User = args[2];
    project.Ftp.Folder = args[6];

    PublishLogCount log;
    log.attach(project);

    SftpClient client;
    client.setSshFolder(args[3]);
    client.setKnownHostsFile(args[4]);
    if (args.size() == 8)
        client.setBlockSize(args[7].toInt());
    QElapsedTimer timer;
    timer.start();
    try {
        PublishFiles(project, client, -1);
    } catch (const AppError &error) {
        std::fprintf(stderr, "publish failed: %s\n", qPrintable(error.message()));
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("files %d  bytes %lld  log lines %d  errors %d  seconds %.3f  files/s %.1f  "
                "MB/s %.1f\n",
                static_cast<int>(files.size()), static_cast<long long>(bytes), log.lines,
                log.failures, seconds, files.size() / seconds, bytes / 1e6 / seconds);
    return log.failures == 0 ? 0 : 1;
}
