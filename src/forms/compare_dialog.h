#pragma once

#include <QDialog>

class QPlainTextEdit;

// The editor's text beside the file's new text on disk, as their line
// differences, with the two ways on: reload the file (the editor's edits go,
// though Undo brings them back) or keep the editor's text. Keep is the
// default and what Escape gives. Object name `form_compare`.
class CompareDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompareDialog)

public:
    // The result when the user chose to reload.
    static constexpr int Reload = 2;

    CompareDialog(const QString &path, const QString &differences, QWidget *parent = nullptr);

    QPlainTextEdit *differences;
};
