#pragma once

#include <QList>
#include <QListView>
#include <QString>
#include <QStringList>

class CodeEditor;
class CompletionModel;

// The completion entries and their narrowing, apart from any widget: the
// entries in the order given (repeats and empty names kept) and the ones that
// begin with a prefix, letter case ignored, as indexes into the full list.
class CompletionList final {
public:
    void setEntries(const QStringList &entries);
    const QStringList &entries() const { return m_entries; }
    // Keeps the entries that begin with `prefix`, case ignored, in list order.
    const QList<int> &narrow(const QString &prefix);
    const QList<int> &shown() const { return m_shown; }
    // The longest entry, for sizing the list.
    QString longestEntry() const;

private:
    QStringList m_entries;
    QStringList m_folded;
    QList<int> m_shown;
};

// The completion pop-up of an editor: a small list under the caret offering
// the entries that begin with the text typed so far. The editor keeps the
// keyboard focus; while the list is open it claims the keys that drive it
// (arrows and pages move the highlight, Tab and Enter accept, Esc closes) and
// narrows the list anew after every key that changes the typed text. An
// end-of-token character accepts the highlighted entry before it is inserted,
// and a trigger character then opens the list again. A click elsewhere, a
// caret move or the editor losing the focus closes it.
class CompletionPopup final : public QListView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompletionPopup)

public:
    explicit CompletionPopup(CodeEditor *editor);
    ~CompletionPopup() override;

    CodeEditor *editor() const { return m_editor; }

    // Replaces the entry list; an open list closes first.
    void setEntries(const QStringList &entries);
    const QStringList &entries() const { return m_list.entries(); }
    void setEndOfTokenCharacters(const QString &characters) { m_endOfToken = characters; }
    QString endOfTokenCharacters() const { return m_endOfToken; }
    void setTriggerCharacters(const QString &characters) { m_triggers = characters; }

    // Opens at the caret, taking the text back to the nearest blank, control
    // or end-of-token character as typed so far. False, and nothing shown,
    // when no entry begins with it. An open list is closed and opened anew.
    bool openAtCaret();
    bool isOpen() const { return m_open; }
    // The text typed so far, the entries shown (full-list indexes) and the
    // highlighted entry's full-list index (-1 when closed).
    QString typedText() const { return m_typed; }
    const QList<int> &shownEntries() const { return m_list.shown(); }
    int highlighted() const;

    // Replaces the typed text with the highlighted entry and closes.
    void acceptHighlighted();
    // Closes without inserting.
    void cancel();

signals:
    void opened();
    void closed();
    // The highlight moved, by the user or by a narrowing: the entry's index
    // in the full list. Not sent for the highlight the list opens with.
    void highlightChanged(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
    void forwardKey(QKeyEvent *event);
    void followCaret();
    void closeList(bool notify);
    void setRow(int row, bool report);
    void moveRow(int by);
    void place();
    long tokenStart(long caret) const;
    QString textBetween(long from, long to) const;
    long caret() const;
    bool belongsToEditor(const QObject *object) const;

    CodeEditor *m_editor;
    CompletionModel *m_model;
    CompletionList m_list;
    QString m_endOfToken;
    QString m_triggers;
    QString m_typed;
    long m_start = 0;
    bool m_open = false;
    // Set while the list itself changes the highlight or is being shown, so
    // that neither counts as the user's doing.
    bool m_quiet = false;
    bool m_opening = false;
};
