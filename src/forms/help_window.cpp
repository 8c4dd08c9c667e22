#include "forms/help_window.h"

#include "forms/ok_cancel_row.h"
#include "forms/window_placement.h"
#include "foundation/errors.h"
#include "foundation/rtf_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

HelpWindow::HelpWindow() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("AppHelpForm"));
    setWindowTitle(QStringLiteral("Help"));

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setFixedSize(568, 400);
    RichEdit1->setPlainText(QStringLiteral("RichEdit1"));

    const OkCancelRow row =
        MakeOkCancelRow(this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"));
    OkButton = row.ok;
    CancelButton = row.cancel;
    QHBoxLayout *buttons = row.layout;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(RichEdit1);
    layout->addLayout(buttons);

    setFixedSize(584, 447);
    CentreOnScreen(this);
}

void HelpWindow::loadHelpIfNeeded(const QString &folder)
{
    if (RichEdit1->document()->blockCount() > 1)
        return;
    const QString path = QDir(folder).filePath(QStringLiteral("help.rtf"));
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("The help file %1 was not found.").arg(shown));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(
            QStringLiteral("The help file %1 cannot be read: %2").arg(shown, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("The help file %1 cannot be read: %2").arg(shown, file.errorString()));
    if (!LooksLikeRtf(bytes))
        throw AppError(
            QStringLiteral("The help file %1 is not a rich-text (RTF) file.").arg(shown));
    RichEdit1->setHtml(RtfToHtml(bytes));
    RichEdit1->moveCursor(QTextCursor::Start);
}
