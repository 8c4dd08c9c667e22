#pragma once

#include <QFrame>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

// Go to Symbol: a box over the editor where typing narrows the project's
// symbols by abbreviation (FuzzyScore); Enter or a click chooses, Escape
// closes. The best 200 rows are shown, best first.
class GotoSymbolPopup final : public QFrame {
    Q_OBJECT

public:
    struct Entry {
        std::string text;   // what is matched and shown: "Class::method", "function"
        std::string detail; // shown beside it: kind and place
        int payload = -1;
    };

    explicit GotoSymbolPopup(QWidget *parent);

    void setEntries(std::vector<Entry> entries);
    // Shown over the top of `over`, the field focused and empty.
    void popUp(QWidget *over);
    QLineEdit *field() const { return m_field; }
    QListWidget *list() const { return m_list; }
    int shownCount() const;

signals:
    void chosen(int payload);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refilter();
    void choose();

    QLineEdit *m_field;
    QListWidget *m_list;
    std::vector<Entry> m_entries;
};
