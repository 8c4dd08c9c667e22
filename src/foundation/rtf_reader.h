#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A small RTF reader for the help text. Qt reads no RTF, so the help window
// gets the document as HTML. It understands groups, paragraphs, line breaks,
// tabs, bold, italic, underline, font sizes, 8-bit characters in the
// document's code page and Unicode characters with their fallback, and skips
// the destinations that hold no body text (font and colour tables, style
// sheets, document info, pictures, every "\*" group). Anything else is
// ignored. Malformed input never fails: the reader returns what it read.

// A stretch of text with one character format.
struct RtfRun {
    QString text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 0; // font size in half points; 0 when the document gave none

    bool sameFormat(const RtfRun &other) const
    {
        return bold == other.bold && italic == other.italic && underline == other.underline &&
               halfPoints == other.halfPoints;
    }
};

// One paragraph; a line break inside it is a '\n' in a run's text and a tab
// is a '\t'.
struct RtfParagraph {
    std::vector<RtfRun> runs;
    QString plainText() const;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;
    QString plainText() const; // paragraphs joined with '\n'
};

RtfDocument ReadRtf(const QByteArray &rtf);

// The document as an HTML page for a rich-text box; the text is escaped.
QString RtfToHtml(const RtfDocument &document);
QString RtfToHtml(const QByteArray &rtf);

// True when the bytes start like an RTF document ("{\rtf").
bool LooksLikeRtf(const QByteArray &bytes);
