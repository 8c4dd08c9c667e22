#pragma once

#include <QString>

#include <memory>

class EditorDocument;

// One open document: the file it belongs to and the editor's document that
// holds its text, undo history, markers, encoding, line ends, stamp, caret
// and unsaved state. The documents controller keeps one per tab and shows
// the active one in the editor; nothing else holds on to a Document.
class Document final {
public:
    Document(int id, std::unique_ptr<EditorDocument> text);
    ~Document();
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    // Tells this document from the other open ones for as long as it is open.
    int id() const { return m_id; }
    EditorDocument &text() const { return *m_text; }
    bool isModified() const;
    // The file's name, or "Untitled".
    QString displayName() const;

    // The file, as it was given; empty for an unnamed document. It may name
    // a file that does not exist yet (a missing file opened, or one deleted).
    QString path;

private:
    int m_id;
    std::unique_ptr<EditorDocument> m_text;
};
