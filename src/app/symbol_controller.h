#pragma once

#include "foundation/file_stamp.h"
#include "project/php_resolve.h"
#include "project/symbol_index.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <thread>
#include <vector>

class CodeEditor;
class QLabel;
#include "app/goto_symbol_popup.h"
#include "app/messages_controller.h"

#include <QMenu>

// What the editor knows of the project's PHP: the symbol index, built on
// worker threads when the project's files change and kept up to date with
// the document being typed and the files saved; Go to Definition (with a
// list when there are several), the places visited (back and forward) and
// Go to Symbol. It works on the editor and the status line only and asks
// the window to open files through openFileRequested.
class SymbolController final : public QObject {
    Q_OBJECT

public:
    SymbolController(CodeEditor *editor, QLabel *status, QObject *parent = nullptr);
    ~SymbolController() override;

    // The project's files (any kind; the PHP ones are indexed). The build
    // starts from the event loop, so the window shows first.
    void setProjectFiles(const QStringList &files);
    // A file written by the program or changed on disk: read again.
    void fileSaved(const QString &path);
    // Looks on worker threads for indexed files that other programs changed
    // or removed since they were read, and reads those again (the document's
    // own text stays). Runs when the program becomes active again; a look
    // already running, or one less than a few seconds ago, is enough.
    void checkFilesOnDisk();
    // While held (a publish runs) no build of the whole index starts and one
    // running stops: it would take the processor from the run. Released, a
    // build that was due starts a moment later, so that a command right
    // after the run (Exit) does not pay for it.
    void holdBuilds(bool hold);

    void GotoDefinition();
    void NavigateBack();
    void NavigateForward();
    void GotoSymbol();
    // The uses of the declaration the name at the caret stands for, as rows
    // of the messages panel (a heading, then file by file); empty when there
    // is no such declaration, the status line says why.
    QList<MessagesController::MessageRow> FindReferences();
    // A path whose file is read as PHP (by its suffix).
    static bool isPhpPath(const QString &path);

    // The index as it stands (the document's last text included; a large
    // document's text is read on a worker, so its newest declarations may
    // still be on their way).
    const SymbolIndex &index();
    // The index without reading the document's latest text first.
    const SymbolIndex &indexAsItStands() const { return *m_index; }
    bool isReadingDocument() const { return static_cast<bool>(m_parse); }
    bool isBuilding() const { return static_cast<bool>(m_job); }
    // Waits for a running build and a look at the disk (tests and the
    // program's own calls).
    void waitForIndex();
    // The choices the last Go to Definition offered, when it found several.
    QMenu *definitionChoices() const { return m_choices; }
    GotoSymbolPopup *gotoSymbolPopup() const { return m_symbolPopup; }

    // What completion offers at the caret from the project: entries begin
    // with the text typed since `tokenEnds` (the popup's word start), so the
    // popup's own narrowing and insertion apply. `known` is false where the
    // place asks for members of a class that is not known; `message` says so.
    struct Offer {
        bool members = false;   // after -> or ::
        bool qualified = false; // a name with a namespace part: only the project's names fit
        bool classes = false;   // after new: only classes fit
        bool known = true;
        QStringList entries;
        QStringList details; // signature per entry
        QString message;
        // Where a name follows a lone "\\" the manual's functions fit too:
        // the text they follow in the entries; empty elsewhere.
        QString manualLead;
    };
    Offer completionAtCaret(const QString &tokenEnds);

    struct Place {
        QString path;
        int line = 1;   // 1-based
        int column = 0; // 0-based byte offset in the line
    };
    // Opens the file when it is not the document and puts the caret at the
    // place (at `name` when the line holds it near the column). False when
    // the document did not change to that file (the user cancelled).
    bool showPlace(const Place &place, const QString &name = QString());

signals:
    // A large document's declarations, read on a worker, are now in the index.
    void documentIndexed(const QString &path);
    // Make `path` the editor's document; connected directly, so the editor
    // holds it (or the user's refusal) when the call returns.
    void openFileRequested(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void syncIndex();
    void readFile(const QString &file);
    void startBuild(const QStringList &paths);
    void pollBuild();
    void pollDiskScan();
    void updateDocument();
    // A large document's declarations are read on a worker from a copy of
    // its text; what arrives for text that changed since is dropped.
    void startDocumentParse(const QString &file);
    void pollDocumentParse();
    Place currentPlace() const;
    void jumpTo(const PhpTarget &target);
    void remember();
    void say(const QString &text);

    CodeEditor *m_editor;
    QLabel *m_status;
    std::unique_ptr<SymbolIndex> m_index;
    QStringList m_files; // the indexed PHP files
    struct Job;
    std::shared_ptr<Job> m_job;
    std::thread m_thread;
    QTimer m_poll;
    bool m_held = false;
    bool m_buildDue = false; // held back, or stopped, by holdBuilds
    QTimer m_release;
    // What each indexed file was on the disk when it was read.
    QHash<QString, FileStamp> m_stamps;
    struct DiskScan;
    std::shared_ptr<DiskScan> m_scan;
    std::thread m_scanThread;
    QTimer m_scanPoll;
    QElapsedTimer m_lastScan;
    QTimer m_typing;
    bool m_documentDirty = false;
    QString m_documentPath; // the path the index holds the document's text for
    struct DocumentParse;
    std::shared_ptr<DocumentParse> m_parse;
    std::thread m_parseThread;
    QTimer m_parsePoll;
    std::vector<Place> m_back;
    std::vector<Place> m_forward;
    QPointer<QMenu> m_choices;
    QPointer<GotoSymbolPopup> m_symbolPopup;
};
