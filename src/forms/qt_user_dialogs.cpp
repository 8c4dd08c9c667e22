#include "forms/qt_user_dialogs.h"

#include "foundation/errors.h"
#include "foundation/settings.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {
QWidget *boxParent()
{
    return QApplication::activeWindow();
}

QString boxTitle()
{
    const QString title = ApplicationTitle();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

// Ends a local event loop when the watched window hides.
class HideWatcher final : public QObject {
public:
    HideWatcher(QWidget *window, QEventLoop &loop) : m_loop(loop)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_loop.quit();
        return false;
    }

private:
    QEventLoop &m_loop;
};
} // namespace

void QtUserDialogs::showMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, boxTitle(), text, QMessageBox::Ok, boxParent());
    box.exec();
}

void QtUserDialogs::showError(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, boxTitle(), text, QMessageBox::Ok, boxParent());
    box.exec();
}

void QtUserDialogs::showErrorWithoutWaiting(const QString &text)
{
    auto *box =
        new QMessageBox(QMessageBox::Critical, boxTitle(), text, QMessageBox::Ok, boxParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool QtUserDialogs::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

int QtUserDialogs::askChoice(const QString &title, const QString &text, const QStringList &answers)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, boxParent());
    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < answers.size(); ++i) {
        const bool last = i == answers.size() - 1;
        const QMessageBox::ButtonRole role = i == 0 ? QMessageBox::AcceptRole
                                             : last ? QMessageBox::RejectRole
                                                    : QMessageBox::DestructiveRole;
        buttons.append(box.addButton(answers.at(i), role));
    }
    if (buttons.isEmpty())
        return -1;
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.constLast()));
    box.setEscapeButton(buttons.constLast());
    box.exec();
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    return int(chosen < 0 ? buttons.size() - 1 : chosen);
}

std::optional<QString> QtUserDialogs::prompt(const QString &title, const QString &label,
                                             const QString &value)
{
    QInputDialog dialog(boxParent());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(value);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtUserDialogs::promptSecret(const QString &title, const QString &label)
{
    QInputDialog dialog(boxParent());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QStringList QtUserDialogs::openFiles(const QString &title, const QString &folder,
                                     const QString &filter, bool multiple)
{
    QFileDialog dialog(boxParent(), title, folder, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString QtUserDialogs::chooseFolder(const QString &title, const QString &folder)
{
    QFileDialog dialog(boxParent(), title, folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtUserDialogs::saveFile(const QString &title, const QString &initialPath,
                                const QString &filter, const QString &defaultSuffix)
{
    QFileDialog dialog(boxParent(), title, QString(), QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!initialPath.isEmpty()) {
        const QFileInfo initial(initialPath);
        if (initial.isDir()) {
            dialog.setDirectory(initialPath);
        } else {
            dialog.setDirectory(initial.absolutePath());
            dialog.selectFile(initial.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    // Native dialogs may not add the suffix themselves.
    return WithDefaultSuffix(dialog.selectedFiles().constFirst(), defaultSuffix);
}

int QtUserDialogs::showModal(QWidget *window)
{
    if (!window)
        throw AppError(QStringLiteral("There is no window to show."));
    if (auto *dialog = qobject_cast<QDialog *>(window))
        return dialog->exec();

    QPointer<QWidget> guard(window);
    const Qt::WindowModality previous = window->windowModality();
    // Modality only takes effect on a hidden window.
    window->hide();
    window->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    HideWatcher watcher(window, loop);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    if (window->isVisible())
        loop.exec(QEventLoop::DialogExec);
    if (guard) {
        guard->removeEventFilter(&watcher);
        guard->hide();
        guard->setWindowModality(previous);
    }
    return 0;
}

QString QtFileFilter(const QString &pipeFilter)
{
    const QStringList parts = pipeFilter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patternText = i + 1 < parts.size() ? parts[i + 1] : QString();
        if (description.isEmpty() && patternText.trimmed().isEmpty())
            continue; // an empty filter or a trailing '|'
        QStringList patterns;
        for (const QString &p : patternText.split(u';', Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (!pattern.isEmpty())
                patterns << (pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        const QString joined = patterns.join(u' ');
        entries << QStringLiteral("%1 (%2)").arg(description.isEmpty() ? joined : description,
                                                 joined);
    }
    return entries.join(QStringLiteral(";;"));
}

QString WithDefaultSuffix(const QString &path, const QString &suffix)
{
    const QString clean = suffix.startsWith(u'.') ? suffix.mid(1) : suffix;
    if (path.isEmpty() || clean.isEmpty() || QFileInfo(path).fileName().contains(u'.'))
        return path;
    return path + u'.' + clean;
}
