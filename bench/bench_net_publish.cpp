// Publishes a folder through the real publish engine and FTP client and prints
// the time taken, files per second and MB per second. The log handler lets
// pending events run after every line (the window does so at most twenty
// times a second), so this is the engine's figure at its most cautious.
//
//   bench_net_publish HOST:PORT USER PASSWORD LOCAL_FOLDER FTP_FOLDER [store-only] [tls]
//
// With "tls" the session is encrypted (TLS required) and the server's
// certificate is accepted whatever it is, as a user who trusts it would;
// bench/publish-ftps-vs-lftp.sh runs it that way against lftp.
// With "store-only" the files go up through the FTP client alone, without
// the engine's skip test, to separate the transfer from reading each file
// for its publish markers.
// Every file below LOCAL_FOLDER, in sorted order, is one project entry; the
// project file is taken to sit in LOCAL_FOLDER. bench/publish-vs-lftp.sh runs
// it against lftp on the same server.

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish_engine.h"
#include "publish_site.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

// The user who accepts the certificate shown (a test server's own).
class AcceptingTrust : public HostTrust {
public:
    bool trustCertificate(const QString &, const QString &, const QString &) override
    {
        return true;
    }
    bool trustHostKey(const QString &, const QString &, const QString &) override { return true; }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QStringList flags = args.mid(6);
    const bool storeOnly = flags.contains(QStringLiteral("store-only"));
    const bool tls = flags.contains(QStringLiteral("tls"));
    if (args.size() < 6 || flags.size() != int(storeOnly) + int(tls)) {
        std::fprintf(
            stderr,
            "usage: %s HOST:PORT USER PASSWORD LOCAL_FOLDER FTP_FOLDER [store-only] [tls]\n",
            argv[0]);
        return 2;
    }
    const QString folder = QFileInfo(args[4]).absoluteFilePath();

    Project project;
    const qint64 bytes = FillProjectWithSite(project, folder);
    QStringList files;
    project.ListFileNames(files);
    project.Ftp.Host = args[1];
    project.Ftp.User = args[2];
    project.Ftp.Pass = args[3];
    project.Ftp.Folder = args[5];

    PublishLogCount log;
    log.attach(project);

    FtpClient client;
    AcceptingTrust trust;
    if (tls) {
        client.setTls(FtpTls::Required);
        client.setHostTrust(&trust);
    }
    QElapsedTimer timer;
    timer.start();
    try {
        if (storeOnly) {
            client.setHost(args[1]);
            client.setUser(args[2]);
            client.setPassword(args[3]);
            client.connect();
            client.makeDir(args[5]);
            client.changeDir(args[5]);
            for (const QString &file : files)
                client.store(file, QFileInfo(file).fileName());
            client.disconnect();
        } else {
            PublishFiles(project, client, -1);
        }
    } catch (const AppError &error) {
        std::fprintf(stderr, "publish failed: %s\n", qPrintable(error.message()));
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("files %d  bytes %lld  log lines %d  errors %d  seconds %.3f  files/s %.1f  "
                "MB/s %.1f\n",
                static_cast<int>(files.size()), static_cast<long long>(bytes), log.lines,
                log.failures, seconds, files.size() / seconds, bytes / 1e6 / seconds);
    if (tls)
        std::printf("session: %s\n", qPrintable(client.connectionNote()));
    return log.failures == 0 ? 0 : 1;
}
