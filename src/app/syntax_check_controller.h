#pragma once

#include "project/php_syntax.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class CodeEditor;
class PhpLint;
class QLabel;
struct PhpLintResult;

// Syntax errors of the document being typed: after a pause in typing, its
// unsaved text goes through `php -l` on standard input in the background and
// the error PHP reports is marked in the editor (a squiggle under the place
// the tokens find on PHP's line, a marker in the markers' margin), said in
// the status line and shown in full when the mouse rests on it. Without a
// php, the brackets and unterminated texts the tokens alone can tell are
// marked instead. A result for text that has changed since is dropped; a
// new document (another file loaded) starts with no marks.
class SyntaxCheckController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SyntaxCheckController)

public:
    SyntaxCheckController(CodeEditor *editor, QLabel *status, QObject *parent = nullptr,
                          const QString &php = QStringLiteral("php"));
    ~SyntaxCheckController() override;

    // The marker number in the editor's markers' margin.
    static constexpr int ErrorMarker = 24;
    // Documents beyond this are checked only on save.
    static constexpr long MaxCheckedBytes = 8 * 1024 * 1024;

    // Forgets the marks and checks the editor's document now (another
    // document is shown, or the program wants an answer at once).
    void documentSwitched();
    // The error marked now, if any.
    const std::optional<PhpSyntaxProblem> &error() const { return m_error; }
    // A check is waiting for the typing pause or for PHP.
    bool isPending() const { return m_pause.isActive() || m_waiting; }
    // The squiggles' indicator number.
    int indicator() const { return m_indicator; }
    // The full message for a place under the mouse (text position, or a
    // line when the mouse is in the margins); empty when nothing is marked there.
    QString messageAt(long position, int line) const;

signals:
    // A check's result was applied (marks set or cleared).
    void checked();

private:
    bool wantsCheck() const;
    void startCheck();
    void applyResult(const PhpLintResult &result);
    void mark(const std::optional<PhpSyntaxProblem> &problem);
    void showHover(long position, int x, int y);
    void sayOnCaretLine();

    CodeEditor *m_editor;
    QLabel *m_status;
    PhpLint *m_lint;
    QTimer m_pause;
    int m_indicator = -1;
    bool m_waiting = false;
    quint64 m_checkedChange = 0; // the editor's change count of the text sent
    QString m_checkedPath;
    QString m_said; // the status text this controller wrote last
    int m_saidLine = 0;
    std::optional<PhpSyntaxProblem> m_error;
    // The last result per file with the text's change count it was for: a
    // tab shown again with the same text is not sent to php again.
    struct Known {
        quint64 change = 0;
        std::optional<PhpSyntaxProblem> problem;
    };
    QHash<QString, Known> m_known;
    void remember(const std::optional<PhpSyntaxProblem> &problem);
};
