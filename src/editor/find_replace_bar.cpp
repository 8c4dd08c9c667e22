#include "editor/find_replace_bar.h"

#include "editor/code_editor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

template <class Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Captions carry no access keys: Alt+letter belongs to the window's menus.
QPushButton *button(const QString &caption, const char *name)
{
    auto *result = named(new QPushButton(caption), name);
    result->setAutoDefault(false);
    result->setFocusPolicy(Qt::TabFocus);
    return result;
}

} // namespace

FindReplaceBar::FindReplaceBar(CodeEditor *editor, QWidget *parent)
    : QFrame(parent), m_editor(editor), m_finder(*editor), m_find(named(new QLineEdit, "findText")),
      m_replace(named(new QLineEdit, "replaceText")),
      m_matchCase(named(new QCheckBox(QStringLiteral("Match case")), "matchCase")),
      m_wholeWord(named(new QCheckBox(QStringLiteral("Whole word")), "wholeWord")),
      m_regularExpression(
          named(new QCheckBox(QStringLiteral("Regular expression")), "regularExpression")),
      m_wrap(named(new QCheckBox(QStringLiteral("Wrap around")), "wrapAround")),
      m_replaceRow(new QWidget), m_result(named(new QLabel, "findResult"))
{
    setObjectName(QStringLiteral("FindReplaceBar"));
    setFrameShape(QFrame::StyledPanel);
    m_wrap->setChecked(true);
    m_find->setClearButtonEnabled(true);
    m_find->installEventFilter(this);

    auto *findLabel = new QLabel(QStringLiteral("Find:"));
    auto *replaceLabel = new QLabel(QStringLiteral("Replace with:"));
    findLabel->setBuddy(m_find);
    replaceLabel->setBuddy(m_replace);
    // Both labels as wide as the wider, so the two fields line up.
    const int labelWidth =
        std::max(findLabel->sizeHint().width(), replaceLabel->sizeHint().width());
    findLabel->setMinimumWidth(labelWidth);
    replaceLabel->setMinimumWidth(labelWidth);

    QPushButton *previous = button(QStringLiteral("Previous"), "findPrevious");
    QPushButton *next = button(QStringLiteral("Next"), "findNext");
    QPushButton *replaceOne = button(QStringLiteral("Replace"), "replaceOne");
    QPushButton *replaceEvery = button(QStringLiteral("Replace All"), "replaceAll");
    auto *close = named(new QToolButton, "closeBar");
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(QStringLiteral("Close (Escape)"));
    close->setAutoRaise(true);

    auto *findRow = new QHBoxLayout;
    findRow->addWidget(findLabel);
    findRow->addWidget(m_find, 1);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    for (QCheckBox *option : {m_matchCase, m_wholeWord, m_regularExpression, m_wrap}) {
        option->setFocusPolicy(Qt::TabFocus);
        findRow->addWidget(option);
    }
    findRow->addWidget(m_result, 1);
    findRow->addWidget(close);

    auto *replaceRow = new QHBoxLayout(m_replaceRow);
    replaceRow->setContentsMargins(0, 0, 0, 0);
    replaceRow->addWidget(replaceLabel);
    replaceRow->addWidget(m_replace, 1);
    replaceRow->addWidget(replaceOne);
    replaceRow->addWidget(replaceEvery);
    replaceRow->addStretch(1);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(2);
    rows->addLayout(findRow);
    rows->addWidget(m_replaceRow);

    connect(previous, &QPushButton::clicked, this, &FindReplaceBar::findPrevious);
    connect(next, &QPushButton::clicked, this, &FindReplaceBar::findNext);
    connect(replaceOne, &QPushButton::clicked, this, &FindReplaceBar::replace);
    connect(replaceEvery, &QPushButton::clicked, this, &FindReplaceBar::replaceAll);
    connect(close, &QToolButton::clicked, this, &FindReplaceBar::closeBar);
    connect(m_replace, &QLineEdit::returnPressed, this, &FindReplaceBar::replace);
    connect(m_find, &QLineEdit::textEdited, this, [this] { report(QString()); });
    // Escape anywhere in the bar; as a shortcut it never reaches the window's own Escape.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &FindReplaceBar::closeBar);

    hide();
}

FindReplaceBar::~FindReplaceBar() = default;

void FindReplaceBar::showFind()
{
    showBar(false);
}

void FindReplaceBar::showReplace()
{
    showBar(true);
}

void FindReplaceBar::showBar(bool replacing)
{
    const QString selected = m_editor->selectedText();
    if (!selected.isEmpty() && !selected.contains(u'\n') && !selected.contains(u'\r'))
        m_find->setText(selected);
    m_replaceRow->setVisible(replacing);
    report(QString());
    show();
    m_find->selectAll();
    m_find->setFocus(Qt::ShortcutFocusReason);
}

void FindReplaceBar::closeBar()
{
    hide();
    m_editor->takeFocus();
    emit closed();
}

FindOptions FindReplaceBar::options() const
{
    FindOptions options;
    options.matchCase = m_matchCase->isChecked();
    options.wholeWord = m_wholeWord->isChecked();
    options.regularExpression = m_regularExpression->isChecked();
    options.wrap = m_wrap->isChecked();
    return options;
}

void FindReplaceBar::setOptions(const FindOptions &options)
{
    m_matchCase->setChecked(options.matchCase);
    m_wholeWord->setChecked(options.wholeWord);
    m_regularExpression->setChecked(options.regularExpression);
    m_wrap->setChecked(options.wrap);
}

QString FindReplaceBar::findText() const
{
    return m_find->text();
}

QString FindReplaceBar::replaceText() const
{
    return m_replace->text();
}

void FindReplaceBar::setReplaceText(const QString &text)
{
    m_replace->setText(text);
}

QString FindReplaceBar::resultText() const
{
    return m_result->text();
}

void FindReplaceBar::report(const QString &text, bool error)
{
    m_result->setText(text);
    m_result->setStyleSheet(error ? QStringLiteral("color: #c00000") : QString());
}

bool FindReplaceBar::preparePattern()
{
    m_finder.setPattern(m_find->text(), options());
    if (!m_finder.patternError().isEmpty()) {
        report(QStringLiteral("Regular expression error: ") + m_finder.patternError(), true);
        return false;
    }
    return m_finder.hasPattern();
}

bool FindReplaceBar::findNext()
{
    if (!preparePattern())
        return false;
    const bool found = m_finder.findNext();
    report(!found               ? QStringLiteral("Not found")
           : m_finder.wrapped() ? QStringLiteral("Wrapped around")
                                : QString());
    return found;
}

bool FindReplaceBar::findPrevious()
{
    if (!preparePattern())
        return false;
    const bool found = m_finder.findPrevious();
    report(!found               ? QStringLiteral("Not found")
           : m_finder.wrapped() ? QStringLiteral("Wrapped around")
                                : QString());
    return found;
}

bool FindReplaceBar::replace()
{
    if (!preparePattern())
        return false;
    const bool replaced = m_finder.replaceCurrent(m_replace->text());
    const bool selected = m_editor->hasSelectedText();
    report(replaced   ? QStringLiteral("1 replaced")
           : selected ? QString()
                      : QStringLiteral("Not found"));
    return replaced;
}

int FindReplaceBar::replaceAll()
{
    if (!preparePattern())
        return 0;
    const int count = m_finder.replaceAll(m_replace->text());
    report(count ? QStringLiteral("%1 replaced").arg(count) : QStringLiteral("Not found"));
    return count;
}

bool FindReplaceBar::eventFilter(QObject *watched, QEvent *event)
{
    // Enter finds the next match, Shift+Enter the previous one.
    if (watched == m_find && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                findPrevious();
            else
                findNext();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}
