#pragma once

#include "project/find_in_files.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// Search > Find in Files...: the text and how it matches (letter case, whole
// words, a regular expression) and which files are searched (a file mask).
// The caller fills it, shows it and reads it back on OK. Object name
// `form_find_in_files`.
class FindInFilesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindInFilesDialog)

public:
    explicit FindInFilesDialog(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    void setOptions(const FileSearchOptions &options);
    FileSearchOptions options() const;

    QLineEdit *findedit;
    QCheckBox *casebox;
    QCheckBox *wordbox;
    QCheckBox *regexbox;
    QLineEdit *maskedit;
    QPushButton *OkButton;
    QPushButton *CancelButton;
};
