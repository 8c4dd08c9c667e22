#include "editor/completion_popup.h"

#include "editor/code_editor.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>

// --- the entries -------------------------------------------------------------

void CompletionList::setEntries(const QStringList &entries)
{
    m_entries = entries;
    m_folded.clear();
    m_folded.reserve(entries.size());
    // Folded once, so narrowing while typing is a plain prefix test.
    for (const QString &entry : entries)
        m_folded.append(entry.toCaseFolded());
    m_shown.clear();
}

const QList<int> &CompletionList::narrow(const QString &prefix)
{
    const QString folded = prefix.toCaseFolded();
    m_shown.clear();
    for (int i = 0; i < m_folded.size(); ++i) {
        if (m_folded.at(i).startsWith(folded))
            m_shown.append(i);
    }
    return m_shown;
}

QString CompletionList::longestEntry() const
{
    QString longest;
    for (const QString &entry : m_entries) {
        if (entry.size() > longest.size())
            longest = entry;
    }
    return longest;
}

// --- the list's model ----------------------------------------------------------

// Shows the narrowed entries without copying them: rows are indexes into the
// full list, so a narrowing is one reset however long the list is.
class CompletionModel final : public QAbstractListModel {
public:
    explicit CompletionModel(const CompletionList &list, QObject *parent)
        : QAbstractListModel(parent), m_list(list)
    {
    }
    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_list.shown().size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_list.shown().size())
            return {};
        return m_list.entries().at(m_list.shown().at(index.row()));
    }
    void refresh()
    {
        beginResetModel();
        endResetModel();
    }

private:
    const CompletionList &m_list;
};

// --- the pop-up ----------------------------------------------------------------

namespace {
constexpr int VisibleRows = 10;

bool hasCommandModifier(const QKeyEvent *event)
{
    return event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}
} // namespace

CompletionPopup::CompletionPopup(CodeEditor *editor)
    : QListView(editor), m_editor(editor), m_model(new CompletionModel(m_list, this))
{
    setObjectName(QStringLiteral("completion"));
    // A window of its own that never takes the focus: the editor keeps it and
    // the user goes on typing.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setModel(m_model);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                // A click on an entry is the user moving the highlight.
                if (!m_quiet && m_open && current.isValid())
                    emit highlightChanged(m_list.shown().at(current.row()));
            });
    connect(this, &QListView::doubleClicked, this, [this] {
        if (m_open)
            acceptHighlighted();
    });
}

CompletionPopup::~CompletionPopup()
{
    // Tearing the view down moves its current index; that is nobody's highlight.
    if (m_open)
        qApp->removeEventFilter(this);
    m_open = false;
    m_quiet = true;
}

void CompletionPopup::setEntries(const QStringList &entries)
{
    if (m_open)
        closeList(true);
    m_list.setEntries(entries);
    m_model->refresh();
}

int CompletionPopup::highlighted() const
{
    if (!m_open || !currentIndex().isValid())
        return -1;
    return m_list.shown().at(currentIndex().row());
}

long CompletionPopup::caret() const
{
    return m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
}

QString CompletionPopup::textBetween(long from, long to) const
{
    if (to <= from)
        return {};
    const auto *bytes = reinterpret_cast<const char *>(m_editor->SendScintilla(
        QsciScintillaBase::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), to - from));
    return QString::fromUtf8(bytes, to - from);
}

long CompletionPopup::tokenStart(long caretPosition) const
{
    const long line = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                              static_cast<unsigned long>(caretPosition));
    const long lineStart = m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                   static_cast<unsigned long>(line));
    long start = caretPosition;
    while (start > lineStart) {
        const auto c = static_cast<unsigned char>(m_editor->SendScintilla(
            QsciScintillaBase::SCI_GETCHARAT, static_cast<unsigned long>(start - 1)));
        // Bytes of multi-byte characters are never blanks or token ends.
        if (c <= 0x20 || c == 0x7f || (c < 0x80 && m_endOfToken.contains(QChar(c))))
            break;
        --start;
    }
    return start;
}

bool CompletionPopup::openAtCaret()
{
    if (m_open)
        closeList(true);
    const long position = caret();
    const long start = tokenStart(position);
    // Kept even when nothing fits: the caller names what was typed.
    m_typed = textBetween(start, position);
    if (m_list.narrow(m_typed).isEmpty())
        return false;

    m_start = start;
    m_model->refresh();
    m_quiet = true;
    setRow(0, false);
    place();
    show();
    m_quiet = false;
    m_open = true;
    qApp->installEventFilter(this);
    // Whatever the listeners show in answer must not count as the editor
    // losing the focus to another window.
    m_opening = true;
    emit opened();
    m_opening = false;
    return true;
}

void CompletionPopup::place()
{
    const long position = caret();
    const int x =
        int(m_editor->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, position));
    const int y =
        int(m_editor->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, position));
    const long line = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                              static_cast<unsigned long>(position));
    const int lineHeight = int(m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT,
                                                       static_cast<unsigned long>(line)));

    const int rowHeight = std::max(sizeHintForRow(0), fontMetrics().height());
    const int rows = std::min<int>(VisibleRows, int(m_list.shown().size()));
    const int frame = 2 * frameWidth();
    const int width = std::clamp(fontMetrics().horizontalAdvance(m_list.longestEntry()) + frame +
                                     verticalScrollBar()->sizeHint().width() + 12,
                                 160, 480);
    const int height = rows * rowHeight + frame;

    QPoint at = m_editor->viewport()->mapToGlobal(QPoint(x, y + lineHeight));
    // Kept on the screen: above the line when there is no room below it.
    if (const QScreen *screen = m_editor->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + height > area.bottom())
            at.setY(at.y() - lineHeight - height);
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width)));
    }
    setGeometry(QRect(at, QSize(width, height)));
}

void CompletionPopup::setRow(int row, bool report)
{
    const bool wasQuiet = m_quiet;
    m_quiet = true;
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
    m_quiet = wasQuiet;
    if (report)
        emit highlightChanged(m_list.shown().at(row));
}

void CompletionPopup::moveRow(int by)
{
    const int count = int(m_list.shown().size());
    const int from = currentIndex().isValid() ? currentIndex().row() : 0;
    const int to = std::clamp(from + by, 0, count - 1);
    if (to != from)
        setRow(to, true);
}

void CompletionPopup::followCaret()
{
    if (!m_open)
        return;
    const long position = caret();
    const long line = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                              static_cast<unsigned long>(position));
    const long startLine = m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                                   static_cast<unsigned long>(m_start));
    if (position < m_start || line != startLine) {
        closeList(true);
        return;
    }
    const QString typed = textBetween(m_start, position);
    if (typed == m_typed)
        return;
    m_typed = typed;
    // A list narrowed to nothing has nothing to accept; it closes.
    if (m_list.narrow(typed).isEmpty()) {
        closeList(true);
        return;
    }
    m_model->refresh();
    place();
    // Every narrowing reports its first entry, highlighted before or not.
    setRow(0, true);
}

void CompletionPopup::acceptHighlighted()
{
    if (!m_open)
        return;
    const int entry = highlighted();
    if (entry >= 0) {
        const QByteArray text = m_list.entries().at(entry).toUtf8();
        m_editor->SendScintilla(QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(m_start),
                                caret());
        m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, 0UL, text.constData());
    }
    closeList(true);
}

void CompletionPopup::cancel()
{
    if (m_open)
        closeList(true);
}

void CompletionPopup::closeList(bool notify)
{
    if (!m_open)
        return;
    m_open = false;
    qApp->removeEventFilter(this);
    hide();
    if (notify)
        emit closed();
}

bool CompletionPopup::belongsToEditor(const QObject *object) const
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    return widget && (widget == m_editor || m_editor->isAncestorOf(widget));
}

void CompletionPopup::forwardKey(QKeyEvent *event)
{
    // Straight to the editor's own handling, past the application's filters,
    // which have seen this key already.
    static_cast<QObject *>(m_editor)->event(event);
}

bool CompletionPopup::handleKey(QKeyEvent *event)
{
    const int key = event->key();
    const bool command = hasCommandModifier(event);
    if (!command) {
        switch (key) {
        case Qt::Key_Up:
            moveRow(-1);
            return true;
        case Qt::Key_Down:
            moveRow(1);
            return true;
        case Qt::Key_PageUp:
            moveRow(-std::max(1, VisibleRows - 1));
            return true;
        case Qt::Key_PageDown:
            moveRow(std::max(1, VisibleRows - 1));
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            acceptHighlighted();
            return true;
        case Qt::Key_Escape:
            cancel();
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            forwardKey(event);
            followCaret();
            return true;
        default:
            break;
        }
        const QString text = event->text();
        if (text.size() == 1 && text.at(0).isPrint()) {
            const QChar typed = text.at(0);
            if (m_endOfToken.contains(typed)) {
                acceptHighlighted();
                forwardKey(event);
                if (m_triggers.contains(typed))
                    openAtCaret();
                return true;
            }
            forwardKey(event);
            followCaret();
            return true;
        }
    }
    // Caret moves, commands and everything else end the completion and go
    // on as usual.
    if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt &&
        key != Qt::Key_Meta && key != Qt::Key_AltGr)
        closeList(true);
    return false;
}

bool CompletionPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_open)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (belongsToEditor(watched))
            return handleKey(static_cast<QKeyEvent *>(event));
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto *widget = qobject_cast<const QWidget *>(watched);
        if (widget && widget != this && !isAncestorOf(widget))
            closeList(true);
        break;
    }
    case QEvent::FocusOut:
        if (watched == m_editor && !m_opening)
            closeList(true);
        break;
    default:
        break;
    }
    return false;
}
