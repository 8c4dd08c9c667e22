#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every question the program asks the user goes through here: message boxes,
// Yes/No, a single-line prompt, the open and save dialogs, the standard error
// box and the modal showing of a window. The application installs the Qt
// implementation; tests install a scripted one and read back what was shown.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // An informational modal message box.
    virtual void showMessage(const QString &text) = 0;
    // The application's standard error box.
    virtual void showError(const QString &text) = 0;
    // The same box left open while the program goes on, for errors of
    // scripted commands that must not stop the script.
    virtual void showErrorWithoutWaiting(const QString &text) { showError(text); }
    // A Yes/No box with its own title; true for Yes.
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // A question with its own answers, e.g. {"&Save", "&Discard", "Cancel"}:
    // returns the index of the chosen one. The last one must be the harmless
    // answer: it is the default, and Escape or closing the box gives it.
    virtual int askChoice(const QString &title, const QString &text,
                          const QStringList &answers) = 0;
    // A single-line input box; nullopt when cancelled.
    virtual std::optional<QString> prompt(const QString &title, const QString &label,
                                          const QString &value) = 0;
    // The same box with its text masked, for a password; nullopt when cancelled.
    virtual std::optional<QString> promptSecret(const QString &title, const QString &label)
    {
        return prompt(title, label, QString());
    }
    // Open dialog; empty when cancelled. With `multiple` several files may be chosen.
    virtual QStringList openFiles(const QString &title, const QString &folder,
                                  const QString &filter, bool multiple) = 0;
    // Folder picker starting at `folder`; empty when cancelled.
    virtual QString chooseFolder(const QString &title, const QString &folder)
    {
        (void)title;
        (void)folder;
        return {};
    }
    // Save dialog; empty when cancelled. `defaultSuffix` is added to a bare name.
    virtual QString saveFile(const QString &title, const QString &initialPath,
                             const QString &filter, const QString &defaultSuffix) = 0;
    // Shows a window modally and returns its result code (QDialog::Accepted...).
    virtual int showModal(QWidget *window) = 0;
};

// The installed implementation. Before any is installed, a fallback prints
// messages on standard error and answers every question with No or Cancel.
UserDialogs &Dialogs();
// Installs `dialogs` (not owned); nullptr restores the fallback.
void SetDialogs(UserDialogs *dialogs);
