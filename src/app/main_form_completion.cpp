// Completion over the local PHP manual, the advice window that follows the
// highlighted entry, and the online manual lookup.
#include "app/main_window.h"

#include "app/window_set.h"
#include "foundation/handler_guard.h"
#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "forms/advice_window.h"
#include "forms/online_manual_window.h"
#include "forms/browser_frame.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"

#include <QLineEdit>
#include <QScreen>

namespace
{
// A trace point whose expression names the editor's caret fields.
void traceCaret(const char *expression, int value, int line)
{
    if (ProgramTrace().sink() && ProgramTrace().sink()->traceVisible())
        TraceLog(trace_detail::pointText(expression, __FILE__, line, QString::number(value)));
}
} // namespace

void MainWindow::setUpCompletion()
{
    m_completion = new CompletionPopup(re);
    m_completion->setEndOfTokenCharacters(QStringLiteral("()[]. "));
    m_completion->setTriggerCharacters(QStringLiteral("."));
    m_completionReceiver = std::make_unique<QObject>();
    QObject *receiver = m_completionReceiver.get();
    connect(m_completion, &CompletionPopup::opened, receiver,
            [this] { RunGuarded([this] { completionShow(m_completion); }); });
    connect(m_completion, &CompletionPopup::highlightChanged, receiver, [this](int index) {
        RunGuarded([this, index] { completionChange(m_completion, index); });
    });
    connect(m_completion, &CompletionPopup::closed, receiver,
            [this] { RunGuarded([this] { completionClose(m_completion); }); });
}

void MainWindow::Adviser1Click(QObject *)
{
    if (!m_completionLoaded) {
        m_completionLoaded = true;
        m_completion->setEntries({});
        AdviceWindow *advise = m_windows->adviceWindow;
        advise->BuildManualIndex();
        m_completion->setEntries(advise->indexNames());
    }
    m_completion->openAtCaret();
    traceCaret("re->DisplayX", re->caretDisplayColumn(), __LINE__);
    traceCaret("re->CaretX", re->caretColumn(), __LINE__);
}

void MainWindow::completionShow(QObject *)
{
    const QScreen *display = screen();
    const QRect area = display ? display->geometry() : QRect(0, 0, 1024, 768);
    m_windows->adviceWindow->showPassively(
        QRect(area.x() + area.width() / 2, area.y(), area.width() / 2, area.height()));
    // The user goes on typing in the editor.
    activateWindow();
    re->takeFocus();
}

void MainWindow::completionChange(QObject *, int index)
{
    if (index < 0 || index >= m_completion->entries().size())
        return;
    // The box reports a change only when its text changes.
    m_windows->adviceWindow->searched->setText(m_completion->entries().at(index));
}

void MainWindow::completionClose(QObject *)
{
    m_windows->adviceWindow->hide();
}

void MainWindow::PHPnethelp1Click(QObject *)
{
    const QString address = OnlineManualWindow::LookupAddress(re->wordAtCaret());
    OnlineManualWindow *help = m_windows->onlineManualWindow;
    // The same word again shows the window as the user left it.
    if (address != m_lastLookup) {
        help->frame_browser1->setUrlText(address);
        help->frame_browser1->navigate(help->frame_browser1->urlText());
        m_lastLookup = address;
    }
    Dialogs().showModal(help);
}

void MainWindow::ShowAdviceModal()
{
    Dialogs().showModal(m_windows->adviceWindow);
}
