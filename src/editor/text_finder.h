#pragma once

#include <QRegularExpression>
#include <QString>

class CodeEditor;

struct FindOptions {
    bool matchCase = false;
    bool wholeWord = false;
    bool regularExpression = false;
    bool wrap = true;
};

// Find and Replace over one editor's document. Plain text and regular
// expressions go through one engine (PCRE), with CR, LF and CR LF all taken
// as line ends, so `.` never eats half of a CR LF and `$` sits before it.
// Replacing edits the control's UTF-8 text only where matches are, so line
// ends and the file's encoding stay as they were; Replace All is one change
// and one undo step.
class TextFinder {
public:
    explicit TextFinder(CodeEditor &editor);

    // The text to find and how; an invalid regular expression makes
    // patternError() non-empty and every search find nothing.
    void setPattern(const QString &text, const FindOptions &options);
    QString patternError() const { return m_error; }
    bool hasPattern() const { return m_valid; }

    // Select the next match after the selection (the previous one before
    // it), wrapping round the document when the options say so.
    bool findNext();
    bool findPrevious();
    // When the selection is a match, replaces it and selects the next one;
    // otherwise only finds the next. True when something was replaced.
    bool replaceCurrent(const QString &replacement);
    // Replaces every match in one undo step; returns how many.
    int replaceAll(const QString &replacement);
    // True when the last find had to wrap round to succeed.
    bool wrapped() const { return m_wrapped; }

private:
    const QString &subject();
    long bytePosition(qsizetype index);
    qsizetype textIndex(long position);
    QByteArray expand(const QRegularExpressionMatch &match, const QString &replacement) const;
    void select(qsizetype start, qsizetype end);

    CodeEditor &m_editor;
    QRegularExpression m_expression;
    FindOptions m_options;
    bool m_valid = false;
    bool m_wrapped = false;
    QString m_error;
    // The document as UTF-16 for the matcher, kept while the text is unchanged.
    QString m_subject;
    quint64 m_subjectChange = ~quint64(0);
    // A known pair of matching positions, so that conversions walk only
    // the stretch between it and the position asked for.
    qsizetype m_anchorIndex = 0;
    long m_anchorPosition = 0;
};
