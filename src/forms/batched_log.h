#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QLabel;
class QPlainTextEdit;

// A log shown in a text box, with its latest line in a status label, that
// lets the window catch up at a bounded rate. Laying out and painting the
// box once per line made a long publish run spend most of its time drawing;
// here the lines that arrive within a tenth of a second go into the
// box in one step and the window then processes its pending events (input,
// repaints) once for them. A line that comes after a quiet spell shows at
// once; the rest of a burst follows at the next catch-up or from the event
// loop. Every line is written, in order. Each catch-up repaints the whole
// window, composed through OpenGL while the web preview shows, which costs
// milliseconds on software rendering: ten a second keep the log alive.
class BatchedLog final : public QObject {
public:
    static constexpr int CatchUpMs = 100;

    BatchedLog(QPlainTextEdit *box, QLabel *status, QObject *parent = nullptr);
    BatchedLog(const BatchedLog &) = delete;
    BatchedLog &operator=(const BatchedLog &) = delete;

    // Adds a line; with `toStatus` it is also the status label's text.
    void add(const QString &line, bool toStatus);
    // Adds lines in one step, and `status` as the status label's text
    // unless it is empty: lines that come from another thread in batches
    // keep their order even when the catch-up lets another batch in.
    void addLines(const QStringList &lines, const QString &status);
    // Writes the pending lines now, without processing events.
    void flush();
    // Number of lines in the box, pending ones written first.
    int lineCount();
    // Scrolls the box so that the first line at or after `fromLine` that
    // begins with `prefix` is the top one, and puts the caret there; false
    // when there is no such line.
    bool showFirst(int fromLine, const QString &prefix);

private:
    void scheduleCatchUp();
    void catchUp();

    QPlainTextEdit *m_box;
    QLabel *m_status;
    QString m_pending; // lines joined by '\n'
    bool m_hasPending = false;
    QString m_statusText;
    bool m_statusPending = false;
    QElapsedTimer m_sinceCatchUp;
    QTimer m_timer;
};
