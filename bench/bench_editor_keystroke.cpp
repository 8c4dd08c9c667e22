// Keystroke to paint in a shown, coloured editor holding a large PHP file,
// with and without line numbers, in the same run.
//
//   bench_editor_keystroke [MB] [KEYS] [plain]   (10 MB, 100 keys, PHP colouring by default)
//
// Each key is a real key event (a letter, then Backspace, so the text stays
// the same size) sent to the editor near the top and in the middle of the
// file; the time runs until the viewport has painted the change. The two
// settings take turns in rounds of 20 keys so that neither gets the warmer
// caches. (QScintilla's accessibility bridge counts the characters from the
// start of the document to every change, so a key costs more the further
// down the file it is typed, with or without line numbers.)
#include "editor/code_editor.h"
#include "php_sample.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Counts the viewport's paints.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

double keyToPaint(CodeEditor &editor, PaintCounter &counter, int key, const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    const int before = counter.paints;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&editor, &release);
    while (counter.paints == before && clock.elapsed() < 2000)
        QApplication::processEvents();
    return clock.nsecsElapsed() / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char **argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int keys = argc > 2 ? std::atoi(argv[2]) : 100;
    const bool plain = argc > 3 && std::strcmp(argv[3], "plain") == 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath("big.php");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        const qint64 size = qint64(megabytes * 1024 * 1024);
        for (int i = 0; file.size() < size; ++i)
            file.write(phpChunk(i));
    }

    CodeEditor editor;
    editor.applyDocumentSettings();
    editor.setColouring(plain ? CodeEditor::Colouring::None : CodeEditor::Colouring::Php);
    editor.resize(1024, 768);
    editor.show();
    editor.loadFromFile(path);
    editor.takeFocus();
    PaintCounter counter;
    editor.viewport()->installEventFilter(&counter);
    std::printf("file %.1f MB, %d lines, colouring %s\n", megabytes, editor.lineCount(),
                editor.lexer() ? "on" : "off");
    const struct {
        const char *name;
        int line;
    } places[] = {{"near the top", 100}, {"in the middle", editor.lineCount() / 2}};
    for (const auto &place : places) {
        editor.setCursorPosition(place.line, 8);
        editor.ensureLineVisible(place.line);
        QApplication::processEvents();
        editor.viewport()->repaint();
        std::vector<double> with, without;
        for (int done = 0; done < keys; done += 20) {
            for (bool numbers : {false, true}) {
                editor.setLineNumbersVisible(numbers);
                QApplication::processEvents();
                editor.viewport()->repaint();
                std::vector<double> &times = numbers ? with : without;
                for (int k = 0; k < 20; k += 2) {
                    times.push_back(keyToPaint(editor, counter, Qt::Key_X, QStringLiteral("x")));
                    times.push_back(keyToPaint(editor, counter, Qt::Key_Backspace, QString()));
                }
            }
        }
        std::printf("%s (line %d), %zu keys each way:\n", place.name, place.line + 1, with.size());
        std::printf(
            "  keystroke to paint without line numbers: median %.2f ms, 90th percentile %.2f ms\n",
            percentile(without, 0.5), percentile(without, 0.9));
        std::printf(
            "  keystroke to paint with line numbers:    median %.2f ms, 90th percentile %.2f ms\n",
            percentile(with, 0.5), percentile(with, 0.9));
        std::printf("  ratio with/without (median): %.2f\n",
                    percentile(with, 0.5) / percentile(without, 0.5));
    }
    return 0;
}
