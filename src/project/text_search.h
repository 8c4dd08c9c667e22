#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <functional>
#include <vector>

// Find in files' rule for one search text: a line matches when the text,
// lower-cased with the system's locale rule, occurs in the line lower-cased
// the same way. An empty text, or one holding a line break, matches nothing.
//
// Lowering every line of a project is slow, so the needle also plans which
// lines of a file's raw bytes are worth lowering:
// - an ASCII text is searched for as bytes, ignoring ASCII case; ASCII
//   letters lower the plain way, so such a hit is a match as it stands, and
//   only lines holding a character that lowers into one of the text's
//   letters (the Kelvin sign into "k") are lowered and compared;
// - any other text is looked for through one of its other characters: only
//   lines holding a character that lowers into it are lowered and compared;
// - where the locale lowers ASCII its own way or by context (Turkish,
//   Azerbaijani, Lithuanian), every line is lowered.
// A needle may be copied to each thread that searches; copies share nothing
// mutable.
class LineNeedle final {
public:
    explicit LineNeedle(const QString &text);

    // The rule itself, on one line.
    bool matchesLine(const QString &line) const;
    const QString &lowered() const { return m_lowered; }
    bool matchesNothing() const { return m_nothing; }

    // Lower-case ASCII bytes whose hit, ignoring ASCII case, is a match;
    // empty when the text is not ASCII.
    const QByteArray &anchor() const { return m_anchor; }
    // Byte sequences that make a line worth lowering and comparing; each
    // begins with a byte from 0x80 up (UTF-8, and Latin-1 where it can).
    const std::vector<QByteArray> &markers() const { return m_markers; }
    bool everyLine() const { return m_everyLine; }

private:
    void addMarkers(char32_t code);

    QLocale m_locale;
    QString m_lowered;
    QByteArray m_anchor;
    std::vector<QByteArray> m_markers;
    bool m_nothing = false;
    bool m_everyLine = false;
};

struct LineHit {
    int line;     // 1-based
    QString text; // as in the file, or trimmed (TrimControls) when asked for
    bool operator==(const LineHit &) const = default;
};

enum class LineText { AsInFile, Trimmed };

// Appends every line of a file's bytes that matches, in order, once per line,
// with the line as the editor shows it (UTF-8 when the bytes are valid UTF-8,
// a leading byte-order mark dropped, otherwise Latin-1; lines end at CR LF,
// LF or CR). A NUL is an ordinary character here: leaving out files that look
// binary is the caller's choice. Trimmed texts lose the characters with codes
// up to 32 at both ends, as TrimControls does.
void FindMatchingLines(const char *data, qsizetype size, const LineNeedle &needle,
                       std::vector<LineHit> &hits, LineText text = LineText::AsInFile);
std::vector<LineHit> FindMatchingLines(const QByteArray &bytes, const LineNeedle &needle);

// Every line of a file's bytes as FindMatchingLines reads them, in order:
// `visit(line, text)` with the 1-based line and the line as in the file.
void ForEachLine(const char *data, qsizetype size,
                 const std::function<void(int line, const QString &text)> &visit);
