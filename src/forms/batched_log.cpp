#include "forms/batched_log.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

BatchedLog::BatchedLog(QPlainTextEdit *box, QLabel *status, QObject *parent)
    : QObject(parent), m_box(box), m_status(status)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &BatchedLog::flush);
    // Nobody undoes a log line; the undo history would keep a copy of every
    // line appended, and cost time with each.
    m_box->document()->setUndoRedoEnabled(false);
}

void BatchedLog::add(const QString &line, bool toStatus)
{
    if (m_hasPending)
        m_pending += u'\n';
    m_pending += line;
    m_hasPending = true;
    if (toStatus) {
        m_statusText = line;
        m_statusPending = true;
    }
    scheduleCatchUp();
}

void BatchedLog::addLines(const QStringList &lines, const QString &status)
{
    if (lines.isEmpty())
        return;
    if (m_hasPending)
        m_pending += u'\n';
    m_pending += lines.join(u'\n');
    m_hasPending = true;
    if (!status.isEmpty()) {
        m_statusText = status;
        m_statusPending = true;
    }
    scheduleCatchUp();
}

void BatchedLog::scheduleCatchUp()
{
    if (!m_sinceCatchUp.isValid()) {
        // The first line comes while the program starts, before its window
        // was ever painted: processing events here would paint a window that
        // is about to change all over (and wait on the display for it). It
        // goes in at once; a long operation catches up at its next line.
        flush();
        m_sinceCatchUp.start();
    } else if (m_sinceCatchUp.elapsed() >= CatchUpMs)
        catchUp();
    else if (!m_timer.isActive())
        m_timer.start(static_cast<int>(CatchUpMs - m_sinceCatchUp.elapsed()));
}

void BatchedLog::catchUp()
{
    flush();
    // Long operations log as they go; let the window keep up with them.
    QCoreApplication::processEvents();
    m_sinceCatchUp.start();
}

void BatchedLog::flush()
{
    m_timer.stop();
    if (m_hasPending) {
        // One paragraph per line, as if each had been appended alone.
        m_box->appendPlainText(m_pending);
        m_pending.clear();
        m_hasPending = false;
    }
    if (m_statusPending) {
        m_status->setText(m_statusText);
        m_statusPending = false;
    }
}

int BatchedLog::lineCount()
{
    flush();
    return m_box->document()->isEmpty() ? 0 : m_box->document()->blockCount();
}

bool BatchedLog::showFirst(int fromLine, const QString &prefix)
{
    flush();
    for (QTextBlock block = m_box->document()->findBlockByNumber(fromLine); block.isValid();
         block = block.next()) {
        if (!block.text().startsWith(prefix))
            continue;
        m_box->setTextCursor(QTextCursor(block));
        m_box->verticalScrollBar()->setValue(block.firstLineNumber());
        return true;
    }
    return false;
}
