// The Project Options dialog: its page, texts and places, the keyboard order
// and the keys that close it.

#include "forms/project_options_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace {
QString focusName()
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("<none>");
    // The page control takes the focus on its tab bar, one of Qt's own parts.
    for (QWidget *w = focus; w; w = w->parentWidget()) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QStringLiteral("qt_")))
            return w->objectName();
    }
    return QStringLiteral("<unnamed>");
}

void showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}
} // namespace

TEST(ProjectOptionsDialog, OnePageWithFourRowsTheNoteAndTheButtons)
{
    ProjectOptionsDialog form;
    form.show();
    EXPECT_EQ(form.size(), QSize(356, 308));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.PageControl1->geometry(), QRect(8, 8, 340, 256));
    ASSERT_EQ(form.PageControl1->count(), 1);
    EXPECT_EQ(form.PageControl1->tabText(0), "FTP settings");

    struct Row {
        QLabel *label;
        QString text;
        QPoint labelAt;
        QLineEdit *edit;
        QRect editAt;
    };
    const Row rows[] = {
        {form.Label1, "Host:", {17, 40}, form.hostedit, {93, 40, 188, 21}},
        {form.Label2, "User:", {17, 70}, form.useredit, {93, 67, 188, 21}},
        {form.Label3, "Pass:", {16, 97}, form.passedit, {93, 94, 188, 21}},
        {form.Label4, "Folder:", {16, 124}, form.folderedit, {92, 121, 189, 21}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(row.label->text(), row.text);
        EXPECT_EQ(row.label->pos(), row.labelAt);
        EXPECT_EQ(row.edit->geometry(), row.editAt);
        EXPECT_EQ(row.edit->parentWidget(), form.TabSheet1);
    }
    EXPECT_EQ(form.Label5->text(), "FTP credentials for project  publishing.");
    EXPECT_EQ(form.Label5->pos(), QPoint(17, 181));
    EXPECT_EQ(form.passedit->echoMode(), QLineEdit::Normal);

    EXPECT_EQ(form.Button1->text(), "OK");
    EXPECT_EQ(form.Button1->geometry(), QRect(192, 270, 75, 25));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(form.Button2->text(), "Cancel");
    EXPECT_EQ(form.Button2->geometry(), QRect(273, 270, 75, 25));
}

TEST(ProjectOptionsDialog, TabRunsFromTheButtonsThroughUserPassHostFolder)
{
    ProjectOptionsDialog form;
    showActive(form);
    QStringList order{focusName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focusName();
    }
    EXPECT_EQ(order.join(u' '),
              "Button1 Button2 PageControl1 useredit passedit hostedit folderedit Button1");
}

TEST(ProjectOptionsDialog, EnterAcceptsEscapeAndCancelReject)
{
    ProjectOptionsDialog form;
    showActive(form);
    form.hostedit->setFocus();
    QTest::keyClicks(form.hostedit, " ftp.example ");
    QTest::keyClick(form.hostedit, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.hostedit->text(), " ftp.example "); // the dialog trims nothing

    showActive(form);
    form.passedit->setFocus();
    QTest::keyClick(form.passedit, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());

    showActive(form);
    form.setResult(QDialog::Accepted);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
}
