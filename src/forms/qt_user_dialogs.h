#pragma once

#include "foundation/user_dialogs.h"

// The UserDialogs the running program installs: Qt message boxes, input and
// file dialogs, and modal showing of the program's windows. Boxes are parented
// to the active window (if any) so they stay in front of it, except the
// Yes/No question, which belongs to no window.
class QtUserDialogs final : public UserDialogs {
public:
    QtUserDialogs() = default;
    Q_DISABLE_COPY_MOVE(QtUserDialogs)

    void showMessage(const QString &text) override;
    void showError(const QString &text) override;
    void showErrorWithoutWaiting(const QString &text) override;
    bool askYesNo(const QString &title, const QString &text) override;
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override;
    std::optional<QString> prompt(const QString &title, const QString &label,
                                  const QString &value) override;
    std::optional<QString> promptSecret(const QString &title, const QString &label) override;
    QStringList openFiles(const QString &title, const QString &folder, const QString &filter,
                          bool multiple) override;
    QString chooseFolder(const QString &title, const QString &folder) override;
    QString saveFile(const QString &title, const QString &initialPath, const QString &filter,
                     const QString &defaultSuffix) override;
    // A QDialog runs its own exec(); any other window is shown application-
    // modal until it hides and gives 0, having no result of its own.
    int showModal(QWidget *window) override;
};

// Converts a filter written as "Description|pattern|Description|pattern"
// (patterns separated by ';') into Qt's "Description (pattern);;..." form.
// "*.*" means any file and becomes "*", which also matches names without a dot.
QString QtFileFilter(const QString &pipeFilter);

// Adds "." + suffix to a path whose file name has no suffix of its own.
QString WithDefaultSuffix(const QString &path, const QString &suffix);
