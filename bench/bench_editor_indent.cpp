// Indent Code on a real file in a shown, coloured editor: the whole command
// (read the lines, indent them, put them back, paint) done in one change,
// against the way it used to be done, each changed line replaced on its own.
//
//   bench_editor_indent FILE [COPIES] [--no-line-by-line]
//
// COPIES repeats the file's text that many times (1 by default) to show how
// the time grows. The line-by-line way is timed once (it can take long) and
// both results are compared byte for byte.
#include "editor/code_editor.h"
#include "project/code_indent.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Parts {
    double read = 0, indent = 0, replace = 0, paint = 0;
    double total() const { return read + indent + replace + paint; }
};

double msSince(QElapsedTimer &clock)
{
    const double ms = clock.nsecsElapsed() / 1e6;
    clock.restart();
    return ms;
}

void paintNow(CodeEditor &editor)
{
    QApplication::processEvents();
    editor.viewport()->repaint();
}

Parts indentInOneChange(CodeEditor &editor)
{
    Parts parts;
    QElapsedTimer clock;
    clock.start();
    const QStringList lines = editor.lineTexts();
    parts.read = msSince(clock);
    const QStringList indented = IndentLines(lines);
    parts.indent = msSince(clock);
    editor.replaceLineTexts(indented);
    parts.replace = msSince(clock);
    paintNow(editor);
    parts.paint = msSince(clock);
    return parts;
}

// The former command, line for line.
double indentLineByLine(CodeEditor &editor)
{
    QElapsedTimer clock;
    clock.start();
    const int count = editor.lineCount();
    QStringList lines;
    lines.reserve(count);
    for (int line = 0; line < count; ++line)
        lines.append(editor.lineText(line));
    const QStringList indented = IndentLines(lines);
    int caretLine = 0;
    int caretIndex = 0;
    editor.getCursorPosition(&caretLine, &caretIndex);
    for (int line = 0; line < count; ++line) {
        if (indented.at(line) != lines.at(line))
            editor.replaceLine(line, indented.at(line));
    }
    editor.setCursorPosition(caretLine, qMin(caretIndex, int(editor.lineText(caretLine).size())));
    paintNow(editor);
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [COPIES] [--no-line-by-line]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int copies =
        argc > 2 && std::isdigit(static_cast<unsigned char>(argv[2][0])) ? std::atoi(argv[2]) : 1;
    bool lineByLine = true;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-line-by-line") == 0)
            lineByLine = false;

    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray text = source.readAll().repeated(std::max(1, copies));
    QTemporaryDir dir;
    const QString path = dir.filePath("indent.php");
    QFile copy(path);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(text) != text.size())
        return 1;
    copy.close();

    CodeEditor editor;
    editor.applyDocumentSettings();
    editor.setLineNumbersVisible(true);
    editor.setColouring(CodeEditor::Colouring::Php);
    editor.resize(1024, 768);
    editor.show();
    auto load = [&] {
        editor.loadFromFile(path);
        editor.setCursorPosition(editor.lineCount() / 2, 4);
        paintNow(editor);
    };

    load();
    const int lines = editor.lineCount();
    std::vector<double> read, indent, replace, paint, total;
    for (int run = 0; run < 7; ++run) {
        load();
        const Parts parts = indentInOneChange(editor);
        read.push_back(parts.read);
        indent.push_back(parts.indent);
        replace.push_back(parts.replace);
        paint.push_back(parts.paint);
        total.push_back(parts.total());
    }
    const QString oneChange = editor.wholeText();
    std::printf("file %s x%d: %d lines, %.1f KB\n", argv[1], std::max(1, copies), lines,
                text.size() / 1024.0);
    std::printf("Indent Code, one change: median %.1f ms of 7 (read lines %.1f, indent %.1f, "
                "replace %.1f, paint %.1f)\n",
                median(total), median(read), median(indent), median(replace), median(paint));

    if (lineByLine) {
        load();
        const double ms = indentLineByLine(editor);
        const bool same = editor.wholeText() == oneChange;
        std::printf("Indent Code, line by line (former): %.1f ms, one run\n", ms);
        std::printf("same text both ways: %s\n", same ? "yes" : "NO");
        return same ? 0 : 1;
    }
    return 0;
}
