#include "forms/compare_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CompareDialog::CompareDialog(const QString &path, const QString &differences_, QWidget *parent)
    : QDialog(parent), differences(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("form_compare"));
    setWindowTitle(QStringLiteral("Compare"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Lines starting with \"-\" are the editor's, lines "
                                            "starting with \"+\" are those of %1 on disk.")
                                 .arg(path),
                             this);
    label->setWordWrap(true);
    layout->addWidget(label);
    differences->setObjectName(QStringLiteral("differences"));
    differences->setReadOnly(true);
    differences->setLineWrapMode(QPlainTextEdit::NoWrap);
    differences->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    differences->setPlainText(differences_.isEmpty() ? QStringLiteral("(no differences)")
                                                     : differences_);
    layout->addWidget(differences);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *reload = buttons->addButton(QStringLiteral("&Reload (discarding your edits)"),
                                             QDialogButtonBox::DestructiveRole);
    reload->setObjectName(QStringLiteral("Reload"));
    QPushButton *keep =
        buttons->addButton(QStringLiteral("&Keep mine"), QDialogButtonBox::RejectRole);
    keep->setObjectName(QStringLiteral("Keep"));
    keep->setDefault(true);
    connect(reload, &QPushButton::clicked, this, [this] { done(Reload); });
    connect(keep, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(800, 560);
}
