// Fonts, colouring, margins and the light and dark colour sets.
#include "editor/code_editor.h"
#include "editor/desktop_fonts.h"

#include <QColor>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <Qsci/qscilexerhtml.h>

#include <algorithm>

namespace {

// PHP 8's reserved words, soft keywords and type names (the control's own list
// stops at PHP 5): namespace, enum, match, fn, readonly, mixed, never ...
// Lower case: the control compares PHP words lower-cased.
constexpr const char *PhpKeywords =
    "__class__ __dir__ __file__ __function__ __halt_compiler __line__ __method__ __namespace__ "
    "__trait__ abstract and array as bool break callable case catch class clone const continue "
    "declare default die do echo else elseif empty enddeclare endfor endforeach endif "
    "endswitch endwhile enum eval exit extends false final finally float fn for foreach "
    "function global goto if implements include include_once instanceof insteadof int "
    "interface isset iterable list match mixed namespace never new null object or parent "
    "print private protected public readonly require require_once return self static "
    "string switch throw trait true try unset use var void while xor yield";

// The HTML lexer with PHP's present keywords (keyword set 5 is PHP's).
class PhpHtmlLexer final : public QsciLexerHTML {
public:
    using QsciLexerHTML::QsciLexerHTML;
    const char *keywords(int set) const override
    {
        return set == 5 ? PhpKeywords : QsciLexerHTML::keywords(set);
    }
};

const QColor DarkPaper(30, 30, 30);
const QColor DarkText(220, 220, 220);
const QColor DarkMargin(37, 37, 38);
const QColor DarkLineNumber(133, 133, 133);
const QColor DarkCaretLine(42, 45, 46);
const QColor LightLineNumber(128, 128, 128);
const QColor LightCaretLine(238, 243, 251);

// A colour made for a light paper, readable on a dark one: the same hue
// with the lightness turned round, kept light enough to read.
// How bright a colour looks: pure blue is far darker to the eye than its
// lightness says.
int brightness(const QColor &c)
{
    return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
}

QColor darkForeground(const QColor &light)
{
    const QColor hsl = light.toHsl();
    int lightness = std::clamp(255 - hsl.lightness(), 150, 225);
    QColor result = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness);
    while (brightness(result) < 150 && lightness < 235) {
        lightness += 5;
        result = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness);
    }
    return result;
}

// A paper made for a light set, dark: tinted papers keep a trace of their hue.
QColor darkPaper(const QColor &light)
{
    const QColor hsl = light.toHsl();
    const int lightness = std::clamp(255 - hsl.lightness(), DarkPaper.lightness(), 60);
    return QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation() / 3, lightness);
}

int digitsOf(int number)
{
    int digits = 1;
    while (number >= 10) {
        number /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

void CodeEditor::applyDocumentSettings()
{
    m_textFont = CodeFont(10);
    m_settingsApplied = true;
    // The lexer carries its own fonts, so rebuild it with the new one.
    dropLexer();
    applyLexer();
    applyAppearance();
    applyColours();
}

void CodeEditor::setColouring(Colouring colouring)
{
    if (colouring == m_colouring)
        return;
    m_colouring = colouring;
    dropLexer();
    applyLexer();
    if (m_settingsApplied)
        applyAppearance();
    applyColours();
}

void CodeEditor::setColourScheme(ColourScheme scheme)
{
    m_scheme = scheme;
    const bool dark = wantsDarkColours();
    if (dark == m_dark)
        return;
    m_dark = dark;
    dropLexer();
    applyLexer();
    if (m_settingsApplied)
        applyAppearance();
    applyColours();
}

bool CodeEditor::wantsDarkColours() const
{
    switch (m_scheme) {
    case ColourScheme::Light:
        return false;
    case ColourScheme::Dark:
        return true;
    case ColourScheme::Automatic:
        break;
    }
    // The application's palette, not the widget's, which the control adjusts itself.
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

void CodeEditor::changeEvent(QEvent *event)
{
    QsciScintilla::changeEvent(event);
    if ((event->type() == QEvent::ApplicationPaletteChange ||
         event->type() == QEvent::PaletteChange) &&
        m_scheme == ColourScheme::Automatic && wantsDarkColours() != m_dark)
        setColourScheme(ColourScheme::Automatic);
}

void CodeEditor::setLineNumbersVisible(bool visible)
{
    m_lineNumbers = visible;
    m_lineNumberDigits = -1;
    updateLineNumberWidth();
}

void CodeEditor::updateLineNumberWidth()
{
    if (!m_lineNumbers) {
        if (m_lineNumberDigits != 0)
            setMarginWidth(0, 0);
        m_lineNumberDigits = 0;
        return;
    }
    // Resized only when the count gains or loses a digit; one digit's room to spare.
    const int digits = std::max(2, digitsOf(lineCount()));
    if (digits == m_lineNumberDigits)
        return;
    m_lineNumberDigits = digits;
    setMarginLineNumbers(0, true);
    setMarginWidth(0, QString(digits + 1, u'9'));
}

void CodeEditor::dropLexer()
{
    if (lexer())
        setLexer(nullptr);
    delete m_lexer;
    m_lexer = nullptr;
}

void CodeEditor::applyLexer()
{
    const bool wanted = m_colouring != Colouring::None && !m_large;
    if (!wanted) {
        if (m_lexer)
            dropLexer();
        return;
    }
    if (m_lexer && lexer() == m_lexer)
        return;

    auto *html = new PhpHtmlLexer(this);
    if (m_settingsApplied) {
        // Keep each style's weight and slant but in the document font.
        for (int style = 0; style < 128; ++style) {
            if (html->description(style).isEmpty())
                continue;
            QFont font = m_textFont;
            const QFont own = html->defaultFont(style);
            font.setBold(own.bold());
            font.setItalic(own.italic());
            html->setFont(font, style);
        }
        html->setDefaultFont(m_textFont);
    }
    if (m_colouring == Colouring::Php) {
        for (int style = QsciLexerHTML::PHPDefault; style <= QsciLexerHTML::PHPOperator; ++style)
            html->setPaper(Qt::white, style);
        const QColor teal(0, 128, 128);
        html->setColor(teal, QsciLexerHTML::PHPComment);
        html->setColor(teal, QsciLexerHTML::PHPCommentLine);
        html->setColor(Qt::black, QsciLexerHTML::PHPDefault); // identifiers
        html->setColor(Qt::black, QsciLexerHTML::PHPKeyword);
        QFont keyword = html->font(QsciLexerHTML::PHPKeyword);
        keyword.setBold(false);
        html->setFont(keyword, QsciLexerHTML::PHPKeyword);
        for (int style : {int(QsciLexerHTML::PHPDoubleQuotedString),
                          int(QsciLexerHTML::PHPSingleQuotedString)}) {
            html->setColor(Qt::black, style);
            QFont font = html->font(style);
            font.setBold(true);
            html->setFont(font, style);
        }
        html->setColor(Qt::black, QsciLexerHTML::PHPVariable);
        html->setColor(Qt::black, QsciLexerHTML::PHPDoubleQuotedVariable);
    }
    if (m_dark) {
        // Every style keeps its hue, turned round for a dark paper.
        for (int style = 0; style < 128; ++style) {
            if (html->description(style).isEmpty())
                continue;
            html->setColor(darkForeground(html->color(style)), style);
            html->setPaper(darkPaper(html->paper(style)), style);
        }
        html->setDefaultColor(DarkText);
        html->setDefaultPaper(DarkPaper);
    }
    setLexer(html);
    m_lexer = html;
    ++m_lexerGeneration;
}

void CodeEditor::applyAppearance()
{
    setFrameStyle(QFrame::NoFrame);
    if (!lexer())
        setFont(m_textFont);
    // A narrow plain gutter beside the line numbers; no fold margin, and the
    // markers' margin only when someone places markers there.
    setMarginWidth(2, m_markerMarginWidth);
    setMarginWidth(1, 4);
    SendScintilla(SCI_SETMARGINTYPEN, 1UL, long(SC_MARGIN_COLOUR));
    QFont gutterFont = m_textFont;
    gutterFont.setPointSize(8);
    setMarginsFont(gutterFont);
    m_lineNumberDigits = -1; // the numbers' font changed
    updateLineNumberWidth();

    setEdgeMode(EdgeLine);
    setEdgeColumn(1000);
    setEdgeColor(Qt::gray);
    SendScintilla(SCI_SETHSCROLLBAR, 0UL);
    SendScintilla(SCI_SETVSCROLLBAR, 1UL);
    setSelectionBackgroundColor(QColor(10, 36, 106));
    setSelectionForegroundColor(Qt::white);
    setWrapMode(WrapNone);
}

void CodeEditor::setMarkerMarginWidth(int width)
{
    m_markerMarginWidth = width;
    setMarginWidth(2, width);
}

void CodeEditor::applyColours()
{
    const QColor paper = m_dark ? DarkPaper : QColor(Qt::white);
    if (!lexer()) {
        setColor(m_dark ? DarkText : QColor(Qt::black));
        setPaper(paper);
    } else if (m_dark) {
        // Styles the lexer leaves undescribed keep the control's light default.
        for (int style = 0; style < 128; ++style) {
            if (!lexer()->description(style).isEmpty())
                continue;
            SendScintilla(SCI_STYLESETFORE, static_cast<unsigned long>(style), DarkText);
            SendScintilla(SCI_STYLESETBACK, static_cast<unsigned long>(style), DarkPaper);
        }
    }
    const QColor margin = m_dark ? DarkMargin : QColor(Qt::white);
    SendScintilla(SCI_SETMARGINBACKN, 1UL, margin);
    setMarginsBackgroundColor(margin);
    setMarginsForegroundColor(m_dark ? DarkLineNumber : LightLineNumber);
    setCaretForegroundColor(m_dark ? DarkText : QColor(Qt::black));
    setCaretLineVisible(true);
    setCaretLineBackgroundColor(m_dark ? DarkCaretLine : LightCaretLine);
}
