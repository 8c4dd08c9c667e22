#include "forms/qt_user_dialogs.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {
// Waits, from the event loop the dialog runs, for the modal window to appear
// and hands it to `act`, which must close it.
void whenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
        if (modal->isVisible()) // the test's own check failed: do not hang
            modal->close();
    });
    timer->start();
}

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
};

void answerBox(SeenBox &seen, QMessageBox::StandardButton answer)
{
    whenModal([&seen, answer](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->parentWidget()};
        ASSERT_NE(box->button(answer), nullptr);
        box->button(answer)->click();
    });
}
} // namespace

TEST(QtFileFilter, ConvertsPipeFiltersToQtFilters)
{
    EXPECT_EQ(QtFileFilter("Any file|*.*"), "Any file (*)");
    EXPECT_EQ(QtFileFilter("Wendlor Project file |*.wdx|Any file|*.*"),
              "Wendlor Project file (*.wdx);;Any file (*)");
    EXPECT_EQ(QtFileFilter("PHP files|*.php|Any file|*.*"), "PHP files (*.php);;Any file (*)");
    EXPECT_EQ(QtFileFilter("Web pages|*.php; *.html;*.htm"), "Web pages (*.php *.html *.htm)");
    EXPECT_EQ(QtFileFilter("Text|*.txt|"), "Text (*.txt)");
    EXPECT_EQ(QtFileFilter("Lonely description"), "Lonely description (*)");
    EXPECT_EQ(QtFileFilter("|*.wdx"), "*.wdx (*.wdx)");
    EXPECT_EQ(QtFileFilter(""), "");
}

TEST(QtFileFilter, DefaultSuffixOnlyForBareNames)
{
    EXPECT_EQ(WithDefaultSuffix("/w/site/index", "php"), "/w/site/index.php");
    EXPECT_EQ(WithDefaultSuffix("/w/site/index", ".php"), "/w/site/index.php");
    EXPECT_EQ(WithDefaultSuffix("/w/site/index.html", "php"), "/w/site/index.html");
    EXPECT_EQ(WithDefaultSuffix("/w/site.v2/shop", "wdx"), "/w/site.v2/shop.wdx");
    EXPECT_EQ(WithDefaultSuffix("/w/.htaccess", "php"), "/w/.htaccess");
    EXPECT_EQ(WithDefaultSuffix("/w/shop", ""), "/w/shop");
    EXPECT_EQ(WithDefaultSuffix("", "php"), "");
}

TEST(QtUserDialogs, MessageAndErrorBoxes)
{
    const QString previous = ApplicationTitle();
    SetApplicationTitle("Quillstone");
    QtUserDialogs dialogs;
    SeenBox seen;
    answerBox(seen, QMessageBox::Ok);
    dialogs.showMessage("Text not found");
    EXPECT_EQ(seen.title, "Quillstone");
    EXPECT_EQ(seen.text, "Text not found");

    answerBox(seen, QMessageBox::Ok);
    dialogs.showError("Cannot open C:\\x.php");
    EXPECT_EQ(seen.title, "Quillstone");
    EXPECT_EQ(seen.text, "Cannot open C:\\x.php");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    SetApplicationTitle(previous);
}

TEST(QtUserDialogs, YesNoBelongsToNoWindowAndReportsTheAnswer)
{
    QWidget mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    QtUserDialogs dialogs;
    SeenBox seen;
    answerBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askYesNo("Warning", "File a.php was modified externally. Reload?"));
    EXPECT_EQ(seen.title, "Warning");
    EXPECT_EQ(seen.text, "File a.php was modified externally. Reload?");
    EXPECT_EQ(seen.parent, nullptr);

    answerBox(seen, QMessageBox::No);
    EXPECT_FALSE(dialogs.askYesNo("Warning", "again?"));
}

TEST(QtUserDialogs, ChoiceGivesTheChosenAnswerAndTheLastOneForEnterOrEscape)
{
    QtUserDialogs dialogs;
    const QStringList answers{"&Save", "&Discard", "Cancel"};
    QStringList shown;
    whenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *button : box->buttons())
            shown << button->text();
        for (QAbstractButton *button : box->buttons())
            if (button->text() == "&Discard")
                button->click();
    });
    EXPECT_EQ(dialogs.askChoice("Unsaved changes", "Save changes to a.php?", answers), 1);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"&Discard", "&Save", "Cancel"}));

    // Enter and Escape both give the harmless last answer.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        whenModal([key](QWidget *w) { QTest::keyClick(w, key); });
        EXPECT_EQ(dialogs.askChoice("Unsaved changes", "Save changes to a.php?", answers), 2);
    }
}

TEST(QtUserDialogs, PromptGivesTheTextOrNothingOnCancel)
{
    QtUserDialogs dialogs;
    QString label, initial;
    whenModal([&](QWidget *w) {
        auto *input = qobject_cast<QInputDialog *>(w);
        ASSERT_NE(input, nullptr);
        label = input->labelText();
        initial = input->textValue();
        input->setTextValue("42");
        input->accept();
    });
    EXPECT_EQ(dialogs.prompt("Goto Line", "Line number:", "7"), std::optional<QString>("42"));
    EXPECT_EQ(label, "Line number:");
    EXPECT_EQ(initial, "7");

    whenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_EQ(dialogs.prompt("Goto Line", "Line number:", "7"), std::nullopt);
}

TEST(QtUserDialogs, OpenAndSaveDialogs)
{
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("a.php"), "<?php");
    QtUserDialogs dialogs;

    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    whenModal([&](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        filters = fd->nameFilters();
        mode = fd->fileMode();
        fd->selectFile("a.php");
        static_cast<QDialog *>(fd)->accept(); // QFileDialog::accept checks the choice
    });
    const QStringList opened = dialogs.openFiles("Open", dir.path(), "Any file|*.*", true);
    EXPECT_EQ(filters, QStringList({"Any file (*)"}));
    EXPECT_EQ(mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(opened, QStringList({QDir(dir.path()).filePath("a.php")}));

    whenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_TRUE(dialogs.openFiles("Open", dir.path(), "Any file|*.*", false).isEmpty());

    whenModal([&](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        filters = fd->nameFilters();
        // Typed over the proposed name, as a user does.
        auto *nameEdit = fd->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(nameEdit, nullptr);
        nameEdit->setText("page");
        static_cast<QDialog *>(fd)->accept(); // QFileDialog::accept checks the choice
    });
    const QString saved =
        dialogs.saveFile("Save as", dir.filePath("old.php"), "PHP files|*.php|Any file|*.*", "php");
    EXPECT_EQ(filters, QStringList({"PHP files (*.php)", "Any file (*)"}));
    EXPECT_EQ(saved, QDir(dir.path()).filePath("page.php"));
}

TEST(QtUserDialogs, ShowModalRunsDialogsAndPlainWindows)
{
    QtUserDialogs dialogs;
    QDialog dialog;
    whenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->accept(); });
    EXPECT_EQ(dialogs.showModal(&dialog), QDialog::Accepted);
    whenModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_EQ(dialogs.showModal(&dialog), QDialog::Rejected);

    // A plain window is modal while shown and returns once it hides.
    QWidget window;
    bool wasModal = false;
    whenModal([&](QWidget *w) {
        wasModal = w == &window && w->isVisible();
        w->hide();
    });
    EXPECT_EQ(dialogs.showModal(&window), 0);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowModality(), Qt::NonModal);

    EXPECT_THROW(dialogs.showModal(nullptr), AppError);
}
