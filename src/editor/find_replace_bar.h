#pragma once

#include "editor/text_finder.h"

#include <QFrame>

class CodeEditor;
class QCheckBox;
class QLabel;
class QLineEdit;

// The Find and Replace bar that sits under the editor: the text to find and
// its replacement, match case, whole word, regular expression and wrap,
// Previous, Next, Replace and Replace All, and a short line saying what
// happened. Escape or its close button hides it and gives the keyboard back
// to the editor. Its object name is "FindReplaceBar"; its parts are named
// too ("findText", "replaceText", "replaceAll", ...), for the tests and the
// UI test driver.
class FindReplaceBar final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindReplaceBar)

public:
    explicit FindReplaceBar(CodeEditor *editor, QWidget *parent = nullptr);
    ~FindReplaceBar() override;

    // Shows the bar with the find text selected; a selection on one line in
    // the editor becomes the find text. showReplace adds the replace row.
    void showFind();
    void showReplace();

    FindOptions options() const;
    void setOptions(const FindOptions &options);
    QString findText() const;
    QString replaceText() const;
    void setReplaceText(const QString &text);
    // What the last action did: "Not found", "3 replaced", an error ...
    QString resultText() const;

public slots:
    bool findNext();
    bool findPrevious();
    bool replace();
    int replaceAll();
    void closeBar();

signals:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool preparePattern();
    void report(const QString &text, bool error = false);
    void showBar(bool replacing);

    CodeEditor *m_editor;
    TextFinder m_finder;
    QLineEdit *m_find;
    QLineEdit *m_replace;
    QCheckBox *m_matchCase;
    QCheckBox *m_wholeWord;
    QCheckBox *m_regularExpression;
    QCheckBox *m_wrap;
    QWidget *m_replaceRow;
    QLabel *m_result;
};
