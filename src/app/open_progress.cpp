#include "app/open_progress.h"

#include <QProgressDialog>
#include <QWidget>

namespace {
constexpr int Steps = 1000;
} // namespace

OpenProgress::OpenProgress(QWidget *window) : QObject(window), m_window(window)
{
}

OpenProgress::~OpenProgress()
{
    delete m_dialog;
}

CodeEditor::LoadProgress OpenProgress::callback()
{
    QPointer<OpenProgress> self(this);
    return [self](qint64 done, qint64 total) { return !self || self->update(done, total); };
}

bool OpenProgress::update(qint64 done, qint64 total)
{
    if (total <= 0) {
        // The open is over: the next one starts its own second.
        m_clock.invalidate();
        delete m_dialog;
        return true;
    }
    if (!m_clock.isValid())
        m_clock.start();
    if (!m_dialog && m_clock.elapsed() >= m_showAfterMs) {
        m_dialog = new QProgressDialog(QStringLiteral("Opening the file\u2026"),
                                       QStringLiteral("Cancel"), 0, Steps, m_window);
        m_dialog->setObjectName(QStringLiteral("openProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Opening"));
        // Only the bar takes input meanwhile: the window's text is half there.
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->show();
    }
    if (!m_dialog)
        return true;
    // A modal bar takes its events (the Cancel click) as its value moves.
    m_dialog->setValue(int(done * Steps / total));
    return !m_dialog->wasCanceled();
}
