#include "app/editor_view_controller.h"

#include "editor/code_editor.h"
#include "foundation/settings.h"

#include <QAction>
#include <QLabel>

namespace {
const BoolSetting LineNumbers(QStringLiteral("LineNumbers"), QStringLiteral("-1"));
// "Automatic", "Light" or "Dark"; anything else counts as Automatic.
const QString ColoursSetting = QStringLiteral("Colours");

struct SchemeItem {
    const char *item;
    const char *stored;
    CodeEditor::ColourScheme scheme;
};
constexpr SchemeItem SchemeItems[] = {
    {"ColoursAutomatic1", "Automatic", CodeEditor::ColourScheme::Automatic},
    {"ColoursLight1", "Light", CodeEditor::ColourScheme::Light},
    {"ColoursDark1", "Dark", CodeEditor::ColourScheme::Dark},
};

struct EditItem {
    const char *item;
    CodeEditor::EditCommand command;
};
constexpr EditItem EditItems[] = {
    {"Undo1", CodeEditor::EditCommand::Undo},
    {"Redo1", CodeEditor::EditCommand::Redo},
    {"Cut1", CodeEditor::EditCommand::Cut},
    {"Copy1", CodeEditor::EditCommand::Copy},
    {"Paste1", CodeEditor::EditCommand::Paste},
    {"Delete1", CodeEditor::EditCommand::Delete},
    {"SelectAll1", CodeEditor::EditCommand::SelectAll},
    {"ToggleComment1", CodeEditor::EditCommand::ToggleComment},
    {"DuplicateLine1", CodeEditor::EditCommand::DuplicateLine},
    {"MoveLineUp1", CodeEditor::EditCommand::MoveLinesUp},
    {"MoveLineDown1", CodeEditor::EditCommand::MoveLinesDown},
    {"UpperCase1", CodeEditor::EditCommand::UpperCase},
    {"LowerCase1", CodeEditor::EditCommand::LowerCase},
};
} // namespace

EditorViewController::EditorViewController(MenuItems items, CodeEditor *editor, StatusPanels status)
    : m_items(items), m_editor(editor), m_status(status)
{
    const bool numbers = LineNumbers.ReadBool();
    m_items.item(QStringLiteral("LineNumbers1"))->setChecked(numbers);
    m_editor->setLineNumbersVisible(numbers);
    Colours1Click(nullptr);
    UpdateEditorStatus();
}

void EditorViewController::LineNumbers1Click(QObject *)
{
    const bool numbers = m_items.item(QStringLiteral("LineNumbers1"))->isChecked();
    m_editor->setLineNumbersVisible(numbers);
    LineNumbers.WriteBool(numbers);
}

void EditorViewController::Colours1Click(QObject *Sender)
{
    const SchemeItem *chosen = &SchemeItems[0];
    if (Sender) {
        for (const SchemeItem &entry : SchemeItems) {
            if (Sender->objectName() == QLatin1String(entry.item))
                chosen = &entry;
        }
        WriteSetting(ColoursSetting, QString::fromLatin1(chosen->stored));
    } else {
        const QString stored = ReadSetting(ColoursSetting, QStringLiteral("Automatic"));
        for (const SchemeItem &entry : SchemeItems) {
            if (stored.compare(QLatin1String(entry.stored), Qt::CaseInsensitive) == 0)
                chosen = &entry;
        }
    }
    // The three items behave as one choice.
    for (const SchemeItem &entry : SchemeItems)
        m_items.item(QString::fromLatin1(entry.item))->setChecked(&entry == chosen);
    m_editor->setColourScheme(chosen->scheme);
}

void EditorViewController::EditCommandClick(QObject *Sender)
{
    if (!Sender)
        return;
    for (const EditItem &entry : EditItems) {
        if (Sender->objectName() == QLatin1String(entry.item)) {
            m_editor->runEditCommand(entry.command);
            m_editor->takeFocus();
            return;
        }
    }
}

void EditorViewController::UpdateEditorStatus()
{
    const CodeEditor *re = m_editor;
    m_status.column->setText(QStringLiteral("col ") + QString::number(re->caretColumn()));
    m_status.encoding->setText(re->encodingName());
    m_status.lineEnds->setText(re->lineEndsName());
    m_status.overwrite->setText(re->isOverwriting() ? QStringLiteral("OVR")
                                                    : QStringLiteral("INS"));
}
