// Publish Changes against a full publish, through the real engine and FTP
// client: a full publish that fills the publish record, then rounds of
// "change three files, publish only the changes", each timed with the dry run
// (reading and hashing every file) on its own beside it, and the plan of a
// full publish alone. The log handler lets pending events run after every
// line, as the window's does.
//
//   bench_net_publish_changes HOST:PORT USER PASSWORD LOCAL_FOLDER FTP_FOLDER [ROUNDS]
//
// Every file below LOCAL_FOLDER, in sorted order, is one project entry; the
// project file is taken to sit in LOCAL_FOLDER. Three files are changed in
// each round by appending a comment, so LOCAL_FOLDER should be a copy.
// bench/publish-changes.sh runs it on WordPress.

#include "foundation/errors.h"
#include "net/ftp_client.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_record.h"
#include "publish_site.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6 && args.size() != 7) {
        std::fprintf(stderr, "usage: %s HOST:PORT USER PASSWORD LOCAL_FOLDER FTP_FOLDER [ROUNDS]\n",
                     argv[0]);
        return 2;
    }
    const int rounds = args.size() == 7 ? std::max(1, args[6].toInt()) : 3;
    const QString folder = QFileInfo(args[4]).absoluteFilePath();

    Project project;
    const qint64 bytes = FillProjectWithSite(project, folder);
    QStringList files;
    project.ListFileNames(files);
    project.Ftp.Host = args[1];
    project.Ftp.User = args[2];
    project.Ftp.Pass = args[3];
    project.Ftp.Folder = args[5];

    int puts = 0;
    int failures = 0;
    project.OnWorkspaceLog.bind([&](QObject *) {
        if (project.LogText.contains(QStringLiteral(" Putting ")))
            ++puts;
        if (project.LogText.startsWith(QStringLiteral("!!!")))
            ++failures;
        QCoreApplication::processEvents();
    });

    QTemporaryDir config;
    const QString key = PublishRecord::keyOf(project);
    PublishRecord record(key, PublishRecord::fileNameFor(config.path(), key));
    FtpClient client;
    const auto timed = [&](const std::function<void()> &work) {
        QElapsedTimer timer;
        timer.start();
        work();
        return timer.nsecsElapsed() / 1e6;
    };
    try {
        const double full = timed([&] {
            PublishFiles(project, client, -1, PublishOptions{false, &record});
        });
        std::printf("files %lld  MB %.1f  full publish with record: %.0f ms  (%d puts)\n",
                    static_cast<long long>(files.size()), bytes / 1e6, full, puts);
        // Every file read for its marker and hashed for the record, as the
        // preview of a full publish does; the best of three, warm.
        double plan = 0;
        for (int i = 0; i < 3; ++i) {
            const double once = timed([&] {
                PlanPublish(project, -1, {false, &record, false, {}});
            });
            plan = i == 0 ? once : std::min(plan, once);
        }
        std::printf("full plan alone (every file read and hashed): %.1f ms\n", plan);
        // Spread over the tree: the first, the middle and the last PHP files.
        QStringList php = files.filter(QStringLiteral(".php"));
        if (php.size() < 3) {
            std::fprintf(stderr, "fewer than three PHP files below %s\n", qPrintable(folder));
            return 2;
        }
        const QStringList changed{php.first(), php.at(php.size() / 2), php.last()};
        for (int round = 1; round <= rounds; ++round) {
            for (const QString &file : changed) {
                QFile f(file);
                if (!f.open(QIODevice::Append))
                    throw AppError(QStringLiteral("cannot change %1").arg(file));
                f.write(QStringLiteral("\n<?php // change %1 ?>\n").arg(round).toUtf8());
            }
            // Load the record from its file, as the window does before a run.
            double dryRun = 0;
            PublishRecord loaded(key, record.filePath());
            const double changes = timed([&] {
                loaded.load();
                puts = 0;
                PublishFiles(project, client, -1, PublishOptions{true, &loaded});
            });
            dryRun = timed([&] { PlanPublish(project, -1, PublishOptions{true, &loaded}); });
            std::printf("round %d  publish changes: %.0f ms  (%d puts)  dry run alone: %.0f ms\n",
                        round, changes, puts, dryRun);
            if (puts != 3) {
                std::fprintf(stderr, "expected 3 uploads, the log shows %d\n", puts);
                return 1;
            }
        }
    } catch (const AppError &error) {
        std::fprintf(stderr, "publish failed: %s\n", qPrintable(error.message()));
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
