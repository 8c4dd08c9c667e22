#pragma once

#include <QFrame>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

// A box over the editor: typing in the field narrows the list below it, the
// arrow and page keys move in the list while the field keeps the focus, Enter
// or a click chooses, Escape closes. Subclasses fill the list and act on the
// chosen row.
class PickerPopup : public QFrame {
    Q_OBJECT

public:
    QLineEdit *field() const { return m_field; }
    QListWidget *list() const { return m_list; }

protected:
    // The three names are the object names tests and scripts find them by.
    PickerPopup(QWidget *parent, const QString &name, const QString &fieldName,
                const QString &listName, const QString &placeholder);

    // Shown over the top of `over` (at least `minWidth` × `minHeight`), the
    // field focused and empty.
    void showOver(QWidget *over, int minWidth, int minHeight);
    // Fills the list for the field's text.
    virtual void refilter() = 0;
    // The popup is already hidden when this runs.
    virtual void chooseItem(const QListWidgetItem &item) = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void choose();

    QLineEdit *m_field;
    QListWidget *m_list;
};
