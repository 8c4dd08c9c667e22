#pragma once

#include "project/quick_open_index.h"

#include <QFrame>
#include <QStringList>

class Project;
class QLineEdit;
class QListWidget;

// Quick Open (object name `QuickOpenPopup`): a box over the editor where
// typing parts of a path narrows the project's entries (QuickOpenIndex),
// best first; Enter or a click opens the chosen one, Escape closes.
class QuickOpen final : public QFrame {
    Q_OBJECT

public:
    static constexpr int MaxRows = 200;

    QuickOpen(const Project &project, QWidget *parent);
    Q_DISABLE_COPY_MOVE(QuickOpen)

    // Takes in the project's entries as they are now and shows the box over
    // the top of `over`, the field focused and empty.
    void popUp(QWidget *over);
    QLineEdit *field() const { return m_field; }
    QListWidget *list() const { return m_list; }

signals:
    // The full path of the entry chosen.
    void chosen(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refilter();
    void choose();

    const Project &m_project;
    QLineEdit *m_field;
    QListWidget *m_list;
    QuickOpenIndex m_index;
    QStringList m_paths; // full paths, parallel to the index
};
