#include "app/syntax_check_controller.h"

#include "app/symbol_controller.h"
#include "editor/code_editor.h"
#include "foundation/handler_guard.h"
#include "net/php_lint.h"

#include <QLabel>
#include <QToolTip>

namespace {
// Typing pauses this long before the text is checked.
constexpr int TypingPauseMs = 500;
const QString CheckKey = QStringLiteral("document");
} // namespace

SyntaxCheckController::SyntaxCheckController(CodeEditor *editor, QLabel *status, QObject *parent,
                                             const QString &php)
    : QObject(parent), m_editor(editor), m_status(status), m_lint(new PhpLint(this, php))
{
    m_indicator = m_editor->indicatorDefine(QsciScintilla::SquiggleIndicator);
    m_editor->setIndicatorForegroundColor(QColor(220, 0, 0), m_indicator);
    m_editor->SendScintilla(QsciScintilla::SCI_INDICSETUNDER, m_indicator, 1L);
    m_editor->markerDefine(QsciScintilla::Circle, ErrorMarker);
    m_editor->setMarkerBackgroundColor(QColor(230, 30, 30), ErrorMarker);
    m_editor->setMarkerForegroundColor(QColor(255, 255, 255), ErrorMarker);
    // The markers' margin is shared with the debugger's breakpoints.
    const long mask =
        m_editor->SendScintilla(QsciScintilla::SCI_GETMARGINMASKN, 2UL) | (1L << ErrorMarker);
    m_editor->SendScintilla(QsciScintilla::SCI_SETMARGINMASKN, 2UL, mask);
    if (m_editor->marginWidth(2) < 14)
        m_editor->setMarkerMarginWidth(14);

    m_pause.setSingleShot(true);
    m_pause.setInterval(TypingPauseMs);
    connect(&m_pause, &QTimer::timeout, this, [this] { RunGuarded([this] { startCheck(); }); });
    connect(m_editor, &CodeEditor::documentChanged, this, [this] { m_pause.start(); });
    // A load or Save As names another file: its text is another document.
    connect(m_editor, &CodeEditor::statusChanged, this, [this] {
        RunGuarded([this] {
            if (m_editor->filePath() != m_checkedPath)
                documentSwitched();
            else
                sayOnCaretLine();
        });
    });
    connect(m_lint, &PhpLint::checked, this, [this](const PhpLintResult &result) {
        RunGuarded([this, &result] { applyResult(result); });
    });
    m_editor->SendScintilla(QsciScintilla::SCI_SETMOUSEDWELLTIME, 500);
    connect(m_editor, &QsciScintillaBase::SCN_DWELLSTART, this, [this](int position, int x, int y) {
        RunGuarded([this, position, x, y] { showHover(position, x, y); });
    });
}

SyntaxCheckController::~SyntaxCheckController() = default;

bool SyntaxCheckController::wantsCheck() const
{
    const QString path = m_editor->filePath();
    if (path.isEmpty() ? m_editor->colouring() != CodeEditor::Colouring::Php
                       : !SymbolController::isPhpPath(path))
        return false;
    return m_editor->documentLength() <= MaxCheckedBytes;
}

void SyntaxCheckController::documentSwitched()
{
    mark(std::nullopt);
    m_checkedPath = m_editor->filePath();
    // Switching tabs changes no text: what was found for it still holds.
    const auto known = m_known.constFind(m_checkedPath);
    if (!m_checkedPath.isEmpty() && known != m_known.cend() &&
        known->change == m_editor->changeCount() && wantsCheck()) {
        m_pause.stop();
        m_waiting = false;
        m_checkedChange = known->change;
        mark(known->problem);
        emit checked();
        return;
    }
    startCheck();
}

void SyntaxCheckController::remember(const std::optional<PhpSyntaxProblem> &problem)
{
    if (m_checkedPath.isEmpty())
        return;
    if (m_known.size() >= 64)
        m_known.clear();
    m_known.insert(m_checkedPath, {m_checkedChange, problem});
}

void SyntaxCheckController::startCheck()
{
    m_pause.stop();
    if (m_editor->filePath() != m_checkedPath) {
        mark(std::nullopt);
        m_checkedPath = m_editor->filePath();
    }
    m_checkedChange = m_editor->changeCount();
    if (!wantsCheck()) {
        m_waiting = false;
        mark(std::nullopt);
        return;
    }
    const QByteArray text(m_editor->documentBytes(), int(m_editor->documentLength()));
    // Without an opening tag the whole text is output and PHP has nothing to
    // parse: no process for it, as for the empty document of every start.
    if (!text.contains("<?")) {
        m_waiting = false;
        mark(std::nullopt);
        remember(m_error);
        emit checked();
        return;
    }
    m_waiting = m_lint->checkText(CheckKey, text);
    if (m_waiting)
        return;
    // No php: what the tokens alone are sure of.
    const std::vector<PhpSyntaxProblem> problems =
        FindPhpSyntaxProblems(std::string_view(text.constData(), size_t(text.size())));
    if (problems.empty()) {
        mark(std::nullopt);
    } else {
        PhpSyntaxProblem first = problems.front();
        first.message += " (php was not found to check further)";
        mark(first);
    }
    emit checked();
}

void SyntaxCheckController::applyResult(const PhpLintResult &result)
{
    m_waiting = false;
    // Text typed since: its own check follows the pause.
    if (m_editor->changeCount() != m_checkedChange || m_editor->filePath() != m_checkedPath)
        return;
    if (result.clean) {
        mark(std::nullopt);
    } else {
        const std::string_view text(m_editor->documentBytes(), size_t(m_editor->documentLength()));
        mark(LocatePhpError(text, std::max(result.line, 1), result.message.toStdString()));
    }
    remember(m_error);
    emit checked();
}

void SyntaxCheckController::mark(const std::optional<PhpSyntaxProblem> &problem)
{
    const long length = m_editor->documentLength();
    m_editor->SendScintilla(QsciScintilla::SCI_SETINDICATORCURRENT, m_indicator);
    m_editor->SendScintilla(QsciScintilla::SCI_INDICATORCLEARRANGE, 0UL, length);
    m_editor->markerDeleteAll(ErrorMarker);
    const bool had = m_error.has_value();
    m_error = problem;
    if (!problem) {
        // Only our own words leave the status line.
        if (had && m_status->text() == m_said)
            m_status->clear();
        m_saidLine = 0;
        return;
    }
    const int line = int(problem->line) - 1;
    m_editor->markerAdd(line, ErrorMarker);
    const long start = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
    if (start >= 0 && problem->length > 0)
        m_editor->SendScintilla(QsciScintilla::SCI_INDICATORFILLRANGE,
                                static_cast<unsigned long>(start + problem->column),
                                long(problem->length));
    m_said = QStringLiteral("Line %1: %2")
                 .arg(problem->line)
                 .arg(QString::fromStdString(problem->message));
    m_status->setText(m_said);
    m_saidLine = m_editor->caretLine();
}

void SyntaxCheckController::sayOnCaretLine()
{
    // Coming onto the error's line says it again.
    if (!m_error)
        return;
    const int line = m_editor->caretLine();
    if (line == int(m_error->line) && line != m_saidLine)
        m_status->setText(m_said);
    m_saidLine = line;
}

QString SyntaxCheckController::messageAt(long position, int line) const
{
    if (!m_error)
        return {};
    const QString message = QString::fromStdString(m_error->message);
    if (position < 0)
        return line + 1 == int(m_error->line) ? message : QString();
    const long value = m_editor->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT,
                                               static_cast<unsigned long>(m_indicator), position);
    return value != 0 ? message : QString();
}

void SyntaxCheckController::showHover(long position, int x, int y)
{
    if (!m_error)
        return;
    // In the margins the line under the mouse counts; in the text, the squiggle.
    int line = -1;
    int margins = 0;
    for (int margin = 0; margin < 5; ++margin)
        margins += m_editor->marginWidth(margin);
    if (x < margins) {
        const long near = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMPOINT,
                                                  static_cast<unsigned long>(margins), long(y));
        line = int(m_editor->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, near));
        position = -1;
    } else if (position < 0) {
        return;
    }
    const QString message = messageAt(position, line);
    if (!message.isEmpty())
        QToolTip::showText(m_editor->viewport()->mapToGlobal(QPoint(x, y)), message,
                           m_editor->viewport());
}
