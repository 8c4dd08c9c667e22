#include "app/document.h"

#include "editor/code_editor.h"

#include <QFileInfo>

Document::Document(int id, std::unique_ptr<EditorDocument> text) : m_id(id), m_text(std::move(text))
{
}

Document::~Document() = default;

bool Document::isModified() const
{
    return m_text->isModified();
}

QString Document::displayName() const
{
    return path.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path).fileName();
}
