#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class CodeEditor;

// Crash recovery: the unsaved text of the open document is copied every few
// seconds (and when the program loses the focus) into a file of its own under
// $XDG_STATE_HOME/quillstone/recovery/, readable by the user only. The copy
// goes as soon as the text is saved or discarded, so only a program that
// ended without either (a crash, a kill, a power cut) leaves one behind; the
// next start offers it back.
class DocumentRecovery final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentRecovery)

public:
    // A copy left by a program that is no longer running.
    struct Left {
        QString file; // the recovery file
        QString path; // the document's file; empty for an unnamed one
        QDateTime written;
        QByteArray text; // UTF-8
    };

    // `pathOf` names the document the editor shows (empty when unnamed).
    DocumentRecovery(CodeEditor &editor, std::function<QString()> pathOf,
                     QObject *parent = nullptr);
    ~DocumentRecovery() override;

    static QString folder();
    static constexpr int IntervalMs = 3000;

    // Writes the copy now when the text changed since the last one, removes
    // it when the text has nothing unsaved.
    void update();
    // The user discarded the text: the copy goes, and none is made again
    // until the text changes.
    void discard();
    // Copies left behind by programs no longer running, newest first.
    static QList<Left> leftBehind();
    // Reads one recovery file; nothing when it is not one of ours.
    static std::optional<Left> read(const QString &file);

private:
    void remove();

    CodeEditor &m_editor;
    std::function<QString()> m_pathOf;
    QTimer m_timer;
    QString m_file;              // our copy, once written
    quint64 m_writtenChange = 0; // the editor's change count at the last copy
    std::optional<quint64> m_discardedChange;
};
