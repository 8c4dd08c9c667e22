// The Project Options dialog: its pages, texts and places, the keyboard order,
// the keys that close it, and the settings of the second page going in and
// coming back out unchanged.

#include "forms/project_options_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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

TEST(ProjectOptionsDialog, FirstPageKeepsFourRowsTheNoteAndTheButtons)
{
    ProjectOptionsDialog form;
    form.show();
    // As designed, and wider where the desktop's font needs it for the tabs.
    EXPECT_EQ(form.height(), 308);
    EXPECT_GE(form.width(), 356);
    EXPECT_LE(form.PageControl1->tabBar()->sizeHint().width(), form.PageControl1->width());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.PageControl1->geometry(), QRect(8, 8, form.width() - 16, 256));
    ASSERT_EQ(form.PageControl1->count(), 4); // FTP, security, addresses, debugging
    EXPECT_EQ(form.PageControl1->tabText(0), "FTP settings");
    EXPECT_EQ(form.PageControl1->widget(0), form.TabSheet1);
    EXPECT_EQ(form.PageControl1->currentIndex(), 0);

    // Rows of both pages with edits: labels in one column, edits in another,
    // each label on its edit's middle, and nothing outside its page.
    struct Row {
        QLabel *label;
        QString text;
        QLineEdit *edit;
    };
    const Row rows[] = {
        {form.Label1, "&Host:", form.hostedit},
        {form.Label2, "&User:", form.useredit},
        {form.Label3, "&Password:", form.passedit},
        {form.Label4, "&Folder:", form.folderedit},
        {form.runlabel, "&Run address:", form.runedit},
        {form.databaselabel, "&Database address:", form.databaseedit},
    };
    form.PageControl1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    form.PageControl1->setCurrentIndex(0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        const Row &first = row.edit->parentWidget() == form.TabSheet1 ? rows[0] : rows[4];
        EXPECT_EQ(row.label->text(), row.text);
        EXPECT_EQ(row.label->buddy(), row.edit);
        EXPECT_EQ(row.label->x(), first.label->x());
        EXPECT_EQ(row.edit->x(), first.edit->x());
        EXPECT_EQ(row.edit->width(), first.edit->width());
        EXPECT_LE(std::abs(row.label->geometry().center().y() - row.edit->geometry().center().y()),
                  1);
        EXPECT_TRUE(row.edit->parentWidget()->rect().contains(row.edit->geometry()));
    }
    EXPECT_EQ(form.Label5->text(), "FTP credentials for project publishing.");
    EXPECT_GT(form.Label5->y(), form.folderedit->geometry().bottom());
    EXPECT_EQ(form.passedit->echoMode(), QLineEdit::Normal);

    EXPECT_EQ(form.Button1->text(), "OK");
    EXPECT_EQ(form.Button1->geometry(), QRect(form.width() - 164, 270, 75, 25));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(form.Button2->text(), "Cancel");
    EXPECT_EQ(form.Button2->geometry(), QRect(form.width() - 83, 270, 75, 25));
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
    EXPECT_EQ(order.join(u' ').toStdString(),
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

namespace {
QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

void showSecondPage(ProjectOptionsDialog &form)
{
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    showActive(form);
}
} // namespace

TEST(ProjectOptionsDialog, SecondPageHoldsEveryNewControlInsideItself)
{
    ProjectOptionsDialog form;
    showSecondPage(form);
    EXPECT_EQ(form.PageControl1->tabText(1), "Security and exclusions");
    EXPECT_EQ(form.protocolbox->objectName(), "protocolbox");
    EXPECT_EQ(form.tlsbox->objectName(), "tlsbox");
    EXPECT_EQ(form.keyringbox->objectName(), "keyringbox");
    EXPECT_EQ(form.excludeedit->objectName(), "excludeedit");
    EXPECT_EQ(itemTexts(form.protocolbox), (QStringList{"FTP", "SFTP"}));
    EXPECT_EQ(itemTexts(form.tlsbox), (QStringList{"off", "when offered", "required"}));
    EXPECT_EQ(form.keyringbox->text(), "Keep the password in the desktop keyring");
    EXPECT_TRUE(form.excludehint->text().contains(".git/"));
    EXPECT_EQ(form.height(), 308); // the second page needs no bigger dialog

    // Every control is whole on the page and none covers another.
    const QList<QWidget *> controls{form.protocollabel, form.protocolbox, form.tlslabel,
                                    form.tlsbox,        form.keyringbox,  form.excludelabel,
                                    form.excludeedit,   form.excludehint};
    const QRect page = form.TabSheet2->rect();
    for (qsizetype i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(controls[i]->objectName().toStdString());
        EXPECT_EQ(controls[i]->parentWidget(), form.TabSheet2);
        EXPECT_TRUE(controls[i]->isVisible());
        EXPECT_TRUE(page.contains(controls[i]->geometry()))
            << controls[i]->geometry().right() << "," << controls[i]->geometry().bottom()
            << " outside " << page.width() << "x" << page.height();
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << "overlaps " << controls[j]->objectName().toStdString();
    }
}

TEST(ProjectOptionsDialog, TlsChoiceIsOfferedForFtpOnly)
{
    ProjectOptionsDialog form;
    showSecondPage(form);
    EXPECT_TRUE(form.tlsbox->isEnabled()); // an empty protocol is FTP

    // The user picks SFTP with the keyboard, then FTP again.
    form.protocolbox->setFocus();
    QTest::keyClick(form.protocolbox, Qt::Key_Down);
    EXPECT_EQ(form.protocolbox->currentText(), "SFTP");
    EXPECT_FALSE(form.tlsbox->isEnabled());
    EXPECT_FALSE(form.tlslabel->isEnabled());
    QTest::keyClick(form.protocolbox, Qt::Key_Up);
    EXPECT_TRUE(form.tlsbox->isEnabled());

    // Filling from a project follows the stored protocol, in any letter case.
    for (const auto &[protocol, enabled] : {std::pair{"sftp", false}, std::pair{"SFTP", false},
                                            std::pair{"ftp", true}, std::pair{"", true}}) {
        SCOPED_TRACE(protocol);
        form.setProtocol(protocol);
        EXPECT_EQ(form.tlsbox->isEnabled(), enabled);
    }
}

TEST(ProjectOptionsDialog, SettingsComeBackAsTheyWereFilled)
{
    ProjectOptionsDialog form;
    // Unchanged choices give back the very texts: an old project stays as it was.
    for (const char *protocol : {"", "ftp", "sftp", "SFTP", "ftps"}) {
        form.setProtocol(protocol);
        EXPECT_EQ(form.protocol(), protocol);
    }
    for (const char *tls : {"", "off", "when offered", "required", "Required", "strict"}) {
        form.setTls(tls);
        EXPECT_EQ(form.tls(), tls);
    }
    for (bool inKeyring : {true, false}) {
        form.setPasswordInKeyring(inKeyring);
        EXPECT_EQ(form.passwordInKeyring(), inKeyring);
    }
    const QStringList patterns{".git/", "node_modules/", "*.wdx",
                               " .env", "trailing ",     QString::fromUtf8("Entwürfe/**")};
    form.setExcludePatterns(patterns);
    EXPECT_EQ(form.excludePatterns(), patterns);
    form.setExcludePatterns({});
    EXPECT_EQ(form.excludePatterns(), QStringList{});

    // A value the box does not know is shown as it is, and dropped at the
    // next filling so boxes do not collect old values.
    form.setTls("strict");
    EXPECT_EQ(form.tlsbox->currentText(), "strict");
    form.setTls("required");
    EXPECT_EQ(itemTexts(form.tlsbox), (QStringList{"off", "when offered", "required"}));
    EXPECT_EQ(form.tlsbox->currentText(), "required");

    // A choice the user changed gives the box's own value.
    form.setProtocol("");
    form.protocolbox->setCurrentIndex(1);
    EXPECT_EQ(form.protocol(), "sftp");
    form.protocolbox->setCurrentIndex(0);
    EXPECT_EQ(form.protocol(), ""); // back to the filled choice
    form.setProtocol("sftp");
    form.protocolbox->setCurrentIndex(0);
    EXPECT_EQ(form.protocol(), "ftp");
    form.setTls("");
    form.tlsbox->setCurrentIndex(2);
    EXPECT_EQ(form.tls(), "required");
    form.setTls("strict");
    form.tlsbox->setCurrentIndex(1);
    EXPECT_EQ(form.tls(), "when offered");
}

TEST(ProjectOptionsDialog, PatternsTypedLineByLineDropBlankLinesAndEnterDoesNotClose)
{
    ProjectOptionsDialog form;
    showSecondPage(form);
    form.excludeedit->setFocus();
    QTest::keyClicks(form.excludeedit, ".git/");
    QTest::keyClick(form.excludeedit, Qt::Key_Return);
    QTest::keyClick(form.excludeedit, Qt::Key_Return);
    QTest::keyClicks(form.excludeedit, "   ");
    QTest::keyClick(form.excludeedit, Qt::Key_Return);
    QTest::keyClicks(form.excludeedit, "*.log ");
    QTest::keyClick(form.excludeedit, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible()); // Return makes a new line, it does not press OK
    EXPECT_EQ(form.excludePatterns(), (QStringList{".git/", "*.log "}));

    // Space on the focused check box ticks it.
    form.keyringbox->setFocus();
    QTest::keyClick(form.keyringbox, Qt::Key_Space);
    EXPECT_TRUE(form.passwordInKeyring());
}

TEST(ProjectOptionsDialog, TabReachesEveryControlOfTheSecondPage)
{
    ProjectOptionsDialog form;
    form.setExcludePatterns({"keep"});
    showSecondPage(form);
    auto cycle = [&form] {
        form.Button1->setFocus();
        QStringList order{focusName()};
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << focusName();
            if (order.last() == "Button1")
                break;
        }
        return order.join(u' ').toStdString();
    };
    EXPECT_EQ(cycle(), "Button1 Button2 PageControl1 protocolbox tlsbox keyringbox excludeedit "
                       "Button1");
    // Tab left the pattern edit without typing into it.
    EXPECT_EQ(form.excludePatterns(), QStringList{"keep"});

    // With SFTP the TLS box is out of the way.
    form.setProtocol("sftp");
    EXPECT_EQ(cycle(), "Button1 Button2 PageControl1 protocolbox keyringbox excludeedit Button1");
}

TEST(ProjectOptionsDialog, PathMappingsComeBackAsPairsAndBrokenLinesAreNamed)
{
    ProjectOptionsDialog form;
    EXPECT_EQ(form.PageControl1->tabText(3), "Debug");
    form.setPathMappings({{"/var/www/html", "/home/me/site"}}, "/srv => /home/me");
    EXPECT_EQ(form.pathmapedit->toPlainText(), "/var/www/html => /home/me/site");
    EXPECT_EQ(form.pathmapedit->placeholderText(), "/srv => /home/me");
    // Without mappings the suggestion is there to keep or edit.
    form.setPathMappings({}, "/srv => /home/me");
    EXPECT_EQ(form.pathMappings(), (QList<QPair<QString, QString>>{{"/srv", "/home/me"}}));
    form.pathmapedit->setPlainText(
        " /srv/a =>  /home/a \n\n/srv/b\n=> /home/c\n/srv/d => \n/srv/e=>/home/e");
    QStringList problems;
    const auto mappings = form.pathMappings(&problems);
    EXPECT_EQ(mappings,
              (QList<QPair<QString, QString>>{{"/srv/a", "/home/a"}, {"/srv/e", "/home/e"}}));
    ASSERT_EQ(problems.size(), 3);
    EXPECT_TRUE(problems.at(0).contains("/srv/b"));
}
