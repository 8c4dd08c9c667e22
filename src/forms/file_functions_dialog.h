#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

// The declaration lines of the current document, in document order, to jump
// to one of them. It lives for the whole run and is refilled on every showing.
// Object name `form_function_list`.
class FileFunctionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileFunctionsDialog)

public:
    FileFunctionsDialog();

    // Replaces the list's items; none is selected afterwards.
    void setLines(const QStringList &lines);
    QStringList lines() const;
    // The selected item and its text (empty without a selection).
    bool hasSelection() const;
    QString selectedText() const;
    void selectRow(int row);

    void ListBox1DblClick(QObject *Sender);

    QListWidget *ListBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
