#include "editor/code_editor.h"

#include <gtest/gtest.h>

#include <Qsci/qscilexerhtml.h>

namespace {
// The style the PHP colouring gives each word of a line of code: the words of
// PHP 8 are keywords, names and variables are not.
TEST(PhpColouring, KnowsThePresentKeywordsAndTypes)
{
    CodeEditor editor;
    editor.setColouring(CodeEditor::Colouring::Php);
    const QString code = QStringLiteral(
        "<?php namespace App; use Foo; enum E {} readonly class K { public function f(int $a, "
        "string $b): never { return match ($a) { default => fn() => null }; } private static "
        "mixed $m; protected ?float $x; } function g(): void {} array bool self parent "
        "true false myName\n");
    editor.setWholeText(code);
    editor.SendScintilla(QsciScintilla::SCI_COLOURISE, 0L, -1L);
    const auto styleOf = [&](const QString &word) {
        const long at = long(code.toUtf8().indexOf(word.toUtf8()));
        return int(editor.SendScintilla(QsciScintilla::SCI_GETSTYLEAT, at));
    };
    for (const char *word :
         {"namespace", "use",    "enum",      "readonly", "public", "function", "int",
          "string",    "never",  "match",     "default",  "fn",     "null",     "private",
          "static",    "mixed",  "protected", "float",    "void",   "array",    "bool",
          "self",      "parent", "true",      "false"})
        EXPECT_EQ(styleOf(QString::fromLatin1(word)), int(QsciLexerHTML::PHPKeyword)) << word;
    EXPECT_EQ(styleOf(QStringLiteral("myName")), int(QsciLexerHTML::PHPDefault));
    EXPECT_EQ(styleOf(QStringLiteral("$a")), int(QsciLexerHTML::PHPVariable));
}
} // namespace
