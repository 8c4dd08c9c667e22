// The Edit menu's line commands on a real editor: which lines they touch and
// that each is one undo step.
#include "editor/code_editor.h"

#include <gtest/gtest.h>

namespace {

struct EditCase {
    const char *name;
    const char *before;
    int fromLine, fromIndex, toLine, toIndex; // the selection; equal ends for a caret
    CodeEditor::EditCommand command;
    const char *after;
};

class EditCommands : public ::testing::TestWithParam<EditCase> {};

TEST_P(EditCommands, ChangeTheSelectedLinesInOneUndoStep)
{
    const EditCase &c = GetParam();
    CodeEditor editor;
    editor.setWholeText(QString::fromUtf8(c.before));
    editor.SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    if (c.fromLine == c.toLine && c.fromIndex == c.toIndex)
        editor.setCursorPosition(c.fromLine, c.fromIndex);
    else
        editor.setSelection(c.fromLine, c.fromIndex, c.toLine, c.toIndex);
    editor.runEditCommand(c.command);
    EXPECT_EQ(editor.wholeText().toStdString(), c.after);
    editor.undo();
    EXPECT_EQ(editor.wholeText().toStdString(), c.before);
}

using Cmd = CodeEditor::EditCommand;
INSTANTIATE_TEST_SUITE_P(
    Lines, EditCommands,
    ::testing::Values(
        EditCase{"CommentsTheCaretLine", "a();\nb();\n", 1, 2, 1, 2, Cmd::ToggleComment,
                 "a();\n// b();\n"},
        // At the smallest indentation, blank lines left alone; a selection
        // ending at a line's start leaves that line out.
        EditCase{"CommentsSelectedLinesAtTheirIndentation", "if (x) {\n    a();\n\n  b();\nc();\n",
                 1, 0, 4, 0, Cmd::ToggleComment, "if (x) {\n  //   a();\n\n  // b();\nc();\n"},
        EditCase{"UncommentsWhenEveryLineIsCommented", "  // a();\n//b();\n", 0, 0, 1, 3,
                 Cmd::ToggleComment, "  a();\nb();\n"},
        EditCase{"CommentsAllWhenOnlySomeAre", "// a();\nb();\n", 0, 0, 1, 1, Cmd::ToggleComment,
                 "// // a();\n// b();\n"},
        EditCase{"DuplicatesTheCaretLine", "a\nb\n", 0, 1, 0, 1, Cmd::DuplicateLine, "a\na\nb\n"},
        EditCase{"MovesSelectedLinesDown", "a\nb\nc\n", 0, 0, 1, 1, Cmd::MoveLinesDown,
                 "c\na\nb\n"},
        EditCase{"MovesTheCaretLineUp", "a\nb\nc", 2, 0, 2, 0, Cmd::MoveLinesUp, "a\nc\nb"},
        EditCase{"UpperCasesTheSelection", "abc x", 0, 0, 0, 3, Cmd::UpperCase, "ABC x"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
