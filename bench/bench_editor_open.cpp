// Time from nothing to an editable, painted editor window holding a file.
//
//   QT_QPA_PLATFORM=offscreen bench_editor_open [MB] [php|binary|oneline]
//
// php     repeated real-looking PHP (default, 10 MB)
// binary  random bytes (opened as Latin-1)
// oneline the same PHP with every line break removed: one very long line
//
// The file is written to a temporary folder before the clock starts; the
// figures cover the application object, the window, loading and the first
// paint, then a jump to the end of the document with its paint.
#include "editor/code_editor.h"
#include "php_sample.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

// Written a block at a time so that the figures do not include the content.
bool writeContent(QFile &file, qint64 bytes, const char *kind)
{
    const bool binary = std::strcmp(kind, "binary") == 0;
    const bool oneLine = std::strcmp(kind, "oneline") == 0;
    QRandomGenerator generator(42);
    QByteArray block;
    qint64 written = 0;
    for (int i = 0; written < bytes; ++i) {
        if (binary) {
            block.resize(1 << 20);
            generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        } else {
            block = phpChunk(i);
            if (oneLine)
                block.replace('\n', ' ');
        }
        const qint64 take = std::min<qint64>(block.size(), bytes - written);
        if (file.write(block.constData(), take) != take)
            return false;
        written += take;
    }
    return true;
}

long currentRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

long peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const char *kind = argc > 2 ? argv[2] : "php";
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.php");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            !writeContent(file, qint64(megabytes * 1024 * 1024), kind)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const long rssBefore = peakRssMb();

    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    CodeEditor editor;
    editor.applyDocumentSettings();
    editor.setColouring(CodeEditor::Colouring::Php);
    const qint64 created = clock.nsecsElapsed();
    editor.loadFromFile(path);
    const qint64 loaded = clock.nsecsElapsed();
    const long rssLoaded = currentRssMb();
    const long peakLoaded = peakRssMb();
    editor.resize(1024, 768);
    editor.show();
    QApplication::processEvents();
    editor.viewport()->repaint(); // paint now, as a user would see it
    editor.takeFocus();
    const qint64 shown = clock.nsecsElapsed();

    editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    QApplication::processEvents();
    editor.viewport()->repaint();
    const qint64 atEnd = clock.nsecsElapsed() - shown;

    std::printf("file %.1f MB (%s), %d lines, colouring %s\n", megabytes, kind, editor.lineCount(),
                editor.lexer() ? "on" : "off (large document)");
    std::printf("application + window   %8.1f ms\n", created / 1e6);
    std::printf("load                   %8.1f ms\n", (loaded - created) / 1e6);
    std::printf("editable window shown  %8.1f ms  (total from nothing)\n", shown / 1e6);
    std::printf("jump to end + paint    %8.1f ms\n", atEnd / 1e6);
    std::printf("RSS after load         %8ld MB  (peak so far %ld MB)\n", rssLoaded, peakLoaded);
    std::printf("peak RSS               %8ld MB  (%ld MB before the application)\n", peakRssMb(),
                rssBefore);
    return 0;
}
