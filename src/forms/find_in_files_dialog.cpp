#include "forms/find_in_files_dialog.h"

#include "forms/ok_cancel_row.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

FindInFilesDialog::FindInFilesDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("form_find_in_files"));
    // The menu's own words.
    setWindowTitle(QStringLiteral("Find in Files"));

    findedit = new QLineEdit(this);
    findedit->setObjectName(QStringLiteral("findedit"));
    findedit->setMaxLength(std::numeric_limits<int>::max());
    maskedit = new QLineEdit(this);
    maskedit->setObjectName(QStringLiteral("maskedit"));
    maskedit->setPlaceholderText(QStringLiteral("every file; or for example *.php, *.inc"));
    casebox = new QCheckBox(QStringLiteral("Match &case"), this);
    casebox->setObjectName(QStringLiteral("casebox"));
    wordbox = new QCheckBox(QStringLiteral("&Whole word"), this);
    wordbox->setObjectName(QStringLiteral("wordbox"));
    regexbox = new QCheckBox(QStringLiteral("Regular e&xpression"), this);
    regexbox->setObjectName(QStringLiteral("regexbox"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Search for:"), findedit);
    form->addRow(QStringLiteral("File &mask:"), maskedit);
    auto *boxes = new QHBoxLayout;
    boxes->addWidget(casebox);
    boxes->addWidget(wordbox);
    boxes->addWidget(regexbox);
    boxes->addStretch();
    form->addRow(QString(), boxes);

    const OkCancelRow row =
        MakeOkCancelRow(this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"));
    OkButton = row.ok;
    CancelButton = row.cancel;
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(row.layout);
    resize(480, sizeHint().height());
    findedit->setFocus();
}

void FindInFilesDialog::setText(const QString &text)
{
    findedit->setText(text);
    findedit->selectAll();
    findedit->setFocus();
}

QString FindInFilesDialog::text() const
{
    return findedit->text();
}

void FindInFilesDialog::setOptions(const FileSearchOptions &options)
{
    casebox->setChecked(options.matchCase);
    wordbox->setChecked(options.wholeWord);
    regexbox->setChecked(options.regularExpression);
    maskedit->setText(options.fileMask);
}

FileSearchOptions FindInFilesDialog::options() const
{
    FileSearchOptions options;
    options.matchCase = casebox->isChecked();
    options.wholeWord = wordbox->isChecked();
    options.regularExpression = regexbox->isChecked();
    options.fileMask = maskedit->text().trimmed();
    return options;
}
