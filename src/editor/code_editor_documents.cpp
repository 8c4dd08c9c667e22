// Several documents in one editor: the control's documents are switched in
// and out of the view, and what the editor keeps beside the control (file,
// encoding, line-end counts, unsaved state, colouring, caret and scroll) is
// parked with each.
#include "editor/character_count.h"
#include "editor/code_editor.h"
#include "foundation/errors.h"

namespace {
using Sci = QsciScintillaBase;
} // namespace

EditorDocument::EditorDocument(CodeEditor *editor, void *pointer, CodeEditor::Parked parked)
    : m_editor(editor), m_pointer(pointer), m_parked(std::move(parked))
{
}

EditorDocument::~EditorDocument()
{
    if (!m_editor)
        return;
    if (m_editor->m_shown == this)
        m_editor->m_shown = nullptr; // the view keeps its own hold on the text
    m_editor->SendScintilla(Sci::SCI_RELEASEDOCUMENT, 0UL, m_pointer);
}

QString EditorDocument::filePath() const
{
    return m_editor && m_editor->m_shown == this ? m_editor->filePath() : m_parked.path;
}

bool EditorDocument::isModified() const
{
    return m_editor && m_editor->m_shown == this ? m_editor->isDocumentModified()
                                                 : m_parked.modified;
}

quint64 EditorDocument::changeCount() const
{
    return m_editor && m_editor->m_shown == this ? m_editor->changeCount() : m_parked.changeCount;
}

std::unique_ptr<EditorDocument> CodeEditor::adoptShownDocument()
{
    if (m_shown)
        throw AppError(QStringLiteral("The editor's document is already held."));
    void *pointer = SendScintillaPtrResult(SCI_GETDOCPOINTER);
    SendScintilla(SCI_ADDREFDOCUMENT, 0UL, pointer);
    std::unique_ptr<EditorDocument> document(new EditorDocument(this, pointer, park()));
    m_shown = document.get();
    return document;
}

std::unique_ptr<EditorDocument> CodeEditor::createDocument()
{
    // A fresh control document holds one reference: the handle's.
    void *pointer = SendScintillaPtrResult(SCI_CREATEDOCUMENT);
    if (!pointer)
        throw AppError(QStringLiteral("No memory for another document."));
    Parked parked;
    parked.colouring = m_colouring;
    parked.fresh = true;
    return std::unique_ptr<EditorDocument>(new EditorDocument(this, pointer, parked));
}

CodeEditor::Parked CodeEditor::park() const
{
    Parked p;
    p.encoding = m_encoding;
    p.questionDeclined = m_questionDeclined;
    p.large = m_large;
    p.changedOutsideUndo = m_changedOutsideUndo;
    p.modified = isDocumentModified();
    p.historyEnd = m_historyEnd;
    p.changeCount = m_changeCount;
    p.crLfCount = m_crLfCount;
    p.lfCount = m_lfCount;
    p.crCount = m_crCount;
    p.path = m_path;
    p.stamp = m_stamp;
    p.colouring = m_colouring;
    p.lexerGeneration = m_lexer && lexer() == m_lexer ? m_lexerGeneration : 0;
    p.anchor = SendScintilla(SCI_GETANCHOR);
    p.caret = SendScintilla(SCI_GETCURRENTPOS);
    p.firstVisibleLine = SendScintilla(SCI_GETFIRSTVISIBLELINE);
    p.xOffset = SendScintilla(SCI_GETXOFFSET);
    return p;
}

void CodeEditor::showDocument(EditorDocument &document)
{
    if (m_shown == &document)
        return;
    if (!m_shown)
        throw AppError(QStringLiteral("The editor's own document has no holder."));
    if (document.m_editor != this)
        throw AppError(QStringLiteral("The document belongs to another editor."));
    emit aboutToSwitchDocument();
    m_shown->m_parked = park();
    const bool fresh = document.m_parked.fresh;
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document.m_pointer);
    m_shown = &document;
    if (fresh) {
        // A new control document knows nothing of UTF-8 or of our line end.
        SendScintilla(SCI_SETCODEPAGE, SC_CP_UTF8);
        SendScintilla(SCI_SETEOLMODE, SC_EOL_LF);
    }
    // Counts made in the document shown before mean nothing here.
    CharactersChangeAt(this, 0);
    unpark(document.m_parked);
}

void CodeEditor::unpark(const Parked &p)
{
    const Colouring shownColouring = m_colouring;
    const bool hadLexer = lexer() != nullptr;
    m_encoding = p.encoding;
    m_questionDeclined = p.questionDeclined;
    m_questionPending = false;
    m_large = p.large;
    m_changedOutsideUndo = p.changedOutsideUndo;
    m_historyEnd = p.historyEnd;
    m_changeCount = p.changeCount;
    m_crLfCount = p.crLfCount;
    m_lfCount = p.lfCount;
    m_crCount = p.crCount;
    m_path = p.path;
    m_stamp = p.stamp;
    m_colouring = p.colouring;

    const bool wanted = m_colouring != Colouring::None && !m_large;
    if (m_colouring != shownColouring) {
        dropLexer();
        applyLexer();
    } else if (wanted && m_lexer && p.lexerGeneration != m_lexerGeneration) {
        // The lexer is the view's, its state the document's: this text has
        // not met the shown lexer yet.
        setLexer(m_lexer);
    } else {
        applyLexer();
    }
    if (m_colouring != shownColouring || hadLexer != (lexer() != nullptr)) {
        if (m_settingsApplied)
            applyAppearance();
        applyColours();
    }
    m_lineNumberDigits = -1;
    updateLineNumberWidth();

    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(p.anchor), p.caret);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(p.firstVisibleLine));
    SendScintilla(SCI_SETXOFFSET, static_cast<unsigned long>(p.xOffset));

    m_lastModified = isDocumentModified();
    emit modifiedChanged(m_lastModified);
    emit statusChanged();
    emit documentSwitched();
}
