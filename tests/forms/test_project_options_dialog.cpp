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
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <stdexcept>

namespace {
// A control of the dialog, found by its object name as the test driver finds it.
template <class T>
T *part(const QWidget &form, const char *name)
{
    T *found = form.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return found;
}

// Fills the dialog with FTP settings made by `change`, the rest left default.
void setFtp(ProjectOptionsDialog &form, const std::function<void(FtpSettings &)> &change)
{
    ProjectOptions options;
    change(options.ftp());
    form.setOptions(options);
}

FtpSettings ftpOf(const ProjectOptionsDialog &form)
{
    return form.options().ftp();
}

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
    EXPECT_LE(part<QTabWidget>(form, "PageControl1")->tabBar()->sizeHint().width(),
              part<QTabWidget>(form, "PageControl1")->width());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->geometry(),
              QRect(8, 8, form.width() - 16, 256));
    ASSERT_EQ(part<QTabWidget>(form, "PageControl1")->count(),
              5); // FTP, security, addresses, debugging, publishing
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->tabText(0), "FTP settings");
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->widget(0), part<QWidget>(form, "TabSheet1"));
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->currentIndex(), 0);

    // Rows of both pages with edits: labels in one column, edits in another,
    // each label on its edit's middle, and nothing outside its page.
    struct Row {
        QLabel *label;
        QString text;
        QLineEdit *edit;
    };
    const Row rows[] = {
        {part<QLabel>(form, "Label1"), "&Host:", part<QLineEdit>(form, "hostedit")},
        {part<QLabel>(form, "Label2"), "&User:", part<QLineEdit>(form, "useredit")},
        {part<QLabel>(form, "Label3"), "&Password:", part<QLineEdit>(form, "passedit")},
        {part<QLabel>(form, "Label4"), "&Folder:", part<QLineEdit>(form, "folderedit")},
        {part<QLabel>(form, "runlabel"), "&Run address:", part<QLineEdit>(form, "runedit")},
        {part<QLabel>(form, "databaselabel"),
         "&Database address:", part<QLineEdit>(form, "databaseedit")},
    };
    part<QTabWidget>(form, "PageControl1")->setCurrentIndex(2);
    QCoreApplication::processEvents();
    part<QTabWidget>(form, "PageControl1")->setCurrentIndex(0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        const Row &first =
            row.edit->parentWidget() == part<QWidget>(form, "TabSheet1") ? rows[0] : rows[4];
        EXPECT_EQ(row.label->text(), row.text);
        EXPECT_EQ(row.label->buddy(), row.edit);
        EXPECT_EQ(row.label->x(), first.label->x());
        EXPECT_EQ(row.edit->x(), first.edit->x());
        EXPECT_EQ(row.edit->width(), first.edit->width());
        EXPECT_LE(std::abs(row.label->geometry().center().y() - row.edit->geometry().center().y()),
                  1);
        EXPECT_TRUE(row.edit->parentWidget()->rect().contains(row.edit->geometry()));
    }
    EXPECT_EQ(part<QLabel>(form, "Label5")->text(), "FTP credentials for project publishing.");
    EXPECT_GT(part<QLabel>(form, "Label5")->y(),
              part<QLineEdit>(form, "folderedit")->geometry().bottom());
    EXPECT_EQ(part<QLineEdit>(form, "passedit")->echoMode(), QLineEdit::Normal);

    EXPECT_EQ(part<QPushButton>(form, "Button1")->text(), "OK");
    EXPECT_EQ(part<QPushButton>(form, "Button1")->geometry(),
              QRect(form.width() - 164, 270, 75, 25));
    EXPECT_TRUE(part<QPushButton>(form, "Button1")->isDefault());
    EXPECT_EQ(part<QPushButton>(form, "Button2")->text(), "Cancel");
    EXPECT_EQ(part<QPushButton>(form, "Button2")->geometry(),
              QRect(form.width() - 83, 270, 75, 25));
}

TEST(ProjectOptionsDialog, TabRunsFromTheButtonsThroughUserPassHostFolder)
{
    ProjectOptionsDialog form;
    showActive(form);
    QStringList order{focusName()};
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focusName();
    }
    EXPECT_EQ(order.join(u' ').toStdString(),
              "Button1 Button2 PageControl1 useredit passedit hostedit folderedit targetbox "
              "targetnewbutton Button1");
}

TEST(ProjectOptionsDialog, EnterAcceptsEscapeAndCancelReject)
{
    ProjectOptionsDialog form;
    showActive(form);
    part<QLineEdit>(form, "hostedit")->setFocus();
    QTest::keyClicks(part<QLineEdit>(form, "hostedit"), " ftp.example ");
    QTest::keyClick(part<QLineEdit>(form, "hostedit"), Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(part<QLineEdit>(form, "hostedit")->text(),
              " ftp.example "); // the dialog trims nothing

    showActive(form);
    part<QLineEdit>(form, "passedit")->setFocus();
    QTest::keyClick(part<QLineEdit>(form, "passedit"), Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());

    showActive(form);
    form.setResult(QDialog::Accepted);
    QTest::mouseClick(part<QPushButton>(form, "Button2"), Qt::LeftButton);
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
    part<QTabWidget>(form, "PageControl1")->setCurrentWidget(part<QWidget>(form, "TabSheet2"));
    showActive(form);
}
} // namespace

TEST(ProjectOptionsDialog, SecondPageHoldsEveryNewControlInsideItself)
{
    ProjectOptionsDialog form;
    showSecondPage(form);
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->tabText(1), "Security and exclusions");
    EXPECT_EQ(part<QComboBox>(form, "protocolbox")->objectName(), "protocolbox");
    EXPECT_EQ(part<QComboBox>(form, "tlsbox")->objectName(), "tlsbox");
    EXPECT_EQ(part<QCheckBox>(form, "keyringbox")->objectName(), "keyringbox");
    EXPECT_EQ(part<QPlainTextEdit>(form, "excludeedit")->objectName(), "excludeedit");
    EXPECT_EQ(itemTexts(part<QComboBox>(form, "protocolbox")), (QStringList{"FTP", "SFTP"}));
    EXPECT_EQ(itemTexts(part<QComboBox>(form, "tlsbox")),
              (QStringList{"off", "when offered", "required"}));
    EXPECT_EQ(part<QCheckBox>(form, "keyringbox")->text(),
              "Keep the password in the desktop keyring");
    EXPECT_TRUE(part<QLabel>(form, "excludehint")->text().contains(".git/"));
    EXPECT_EQ(form.height(), 308); // the second page needs no bigger dialog

    // Every control is whole on the page and none covers another.
    const QList<QWidget *> controls{part<QLabel>(form, "protocollabel"),
                                    part<QComboBox>(form, "protocolbox"),
                                    part<QLabel>(form, "tlslabel"),
                                    part<QComboBox>(form, "tlsbox"),
                                    part<QCheckBox>(form, "keyringbox"),
                                    part<QLabel>(form, "excludelabel"),
                                    part<QPlainTextEdit>(form, "excludeedit"),
                                    part<QLabel>(form, "excludehint")};
    const QRect page = part<QWidget>(form, "TabSheet2")->rect();
    for (qsizetype i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(controls[i]->objectName().toStdString());
        EXPECT_EQ(controls[i]->parentWidget(), part<QWidget>(form, "TabSheet2"));
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
    EXPECT_TRUE(part<QComboBox>(form, "tlsbox")->isEnabled()); // an empty protocol is FTP

    // The user picks SFTP with the keyboard, then FTP again.
    part<QComboBox>(form, "protocolbox")->setFocus();
    QTest::keyClick(part<QComboBox>(form, "protocolbox"), Qt::Key_Down);
    EXPECT_EQ(part<QComboBox>(form, "protocolbox")->currentText(), "SFTP");
    EXPECT_FALSE(part<QComboBox>(form, "tlsbox")->isEnabled());
    EXPECT_FALSE(part<QLabel>(form, "tlslabel")->isEnabled());
    QTest::keyClick(part<QComboBox>(form, "protocolbox"), Qt::Key_Up);
    EXPECT_TRUE(part<QComboBox>(form, "tlsbox")->isEnabled());

    // Filling from a project follows the stored protocol, in any letter case.
    for (const auto &[protocol, enabled] : {std::pair{"sftp", false}, std::pair{"SFTP", false},
                                            std::pair{"ftp", true}, std::pair{"", true}}) {
        SCOPED_TRACE(protocol);
        setFtp(form, [&](FtpSettings &f) { f.Protocol = protocol; });
        EXPECT_EQ(part<QComboBox>(form, "tlsbox")->isEnabled(), enabled);
    }
}

TEST(ProjectOptionsDialog, SettingsComeBackAsTheyWereFilled)
{
    ProjectOptionsDialog form;
    // Every value comes back as it went in, blanks and all; what no control
    // shows is kept as it was.
    ProjectOptions filled;
    filled.ftp().Host = " ftp.example:2121 ";
    filled.ftp().User = "me ";
    filled.ftp().Pass = " secret";
    filled.ftp().Folder = "/www/";
    filled.ftp().KeyringHoldsPassword = true;
    filled.runAddress = "http://127.0.0.1:8080/";
    filled.databaseAddress = " http://127.0.0.1/db/";
    filled.debugPort = 9100;
    filled.pathMappings = {{"/srv", "/home/me"}};
    form.setOptions(filled);
    const ProjectOptions back = form.options();
    EXPECT_EQ((QStringList{back.ftp().Host, back.ftp().User, back.ftp().Pass, back.ftp().Folder,
                           back.runAddress, back.databaseAddress}),
              (QStringList{filled.ftp().Host, filled.ftp().User, filled.ftp().Pass,
                           filled.ftp().Folder, filled.runAddress, filled.databaseAddress}));
    EXPECT_TRUE(back.ftp().KeyringHoldsPassword);
    EXPECT_EQ(back.debugPort, 9100);
    EXPECT_EQ(back.pathMappings, filled.pathMappings);

    // Unchanged choices give back the very texts: an old project stays as it was.
    for (const char *protocol : {"", "ftp", "sftp", "SFTP", "ftps"}) {
        setFtp(form, [&](FtpSettings &f) { f.Protocol = protocol; });
        EXPECT_EQ(ftpOf(form).Protocol, protocol);
    }
    for (const char *tls : {"", "off", "when offered", "required", "Required", "strict"}) {
        setFtp(form, [&](FtpSettings &f) { f.Tls = tls; });
        EXPECT_EQ(ftpOf(form).Tls, tls);
    }
    for (bool inKeyring : {true, false}) {
        setFtp(form, [&](FtpSettings &f) { f.PasswordInKeyring = inKeyring; });
        EXPECT_EQ(ftpOf(form).PasswordInKeyring, inKeyring);
    }
    const QStringList patterns{".git/", "node_modules/", "*.wdx",
                               " .env", "trailing ",     QString::fromUtf8("Entwürfe/**")};
    setFtp(form, [&](FtpSettings &f) { f.Exclude = patterns; });
    EXPECT_EQ(ftpOf(form).Exclude, patterns);
    setFtp(form, [&](FtpSettings &f) { f.Exclude = QStringList{}; });
    EXPECT_EQ(ftpOf(form).Exclude, QStringList{});

    // A value the box does not know is shown as it is, and dropped at the
    // next filling so boxes do not collect old values.
    setFtp(form, [&](FtpSettings &f) { f.Tls = "strict"; });
    EXPECT_EQ(part<QComboBox>(form, "tlsbox")->currentText(), "strict");
    setFtp(form, [&](FtpSettings &f) { f.Tls = "required"; });
    EXPECT_EQ(itemTexts(part<QComboBox>(form, "tlsbox")),
              (QStringList{"off", "when offered", "required"}));
    EXPECT_EQ(part<QComboBox>(form, "tlsbox")->currentText(), "required");

    // A choice the user changed gives the box's own value.
    setFtp(form, [&](FtpSettings &f) { f.Protocol = ""; });
    part<QComboBox>(form, "protocolbox")->setCurrentIndex(1);
    EXPECT_EQ(ftpOf(form).Protocol, "sftp");
    part<QComboBox>(form, "protocolbox")->setCurrentIndex(0);
    EXPECT_EQ(ftpOf(form).Protocol, ""); // back to the filled choice
    setFtp(form, [&](FtpSettings &f) { f.Protocol = "sftp"; });
    part<QComboBox>(form, "protocolbox")->setCurrentIndex(0);
    EXPECT_EQ(ftpOf(form).Protocol, "ftp");
    setFtp(form, [&](FtpSettings &f) { f.Tls = ""; });
    part<QComboBox>(form, "tlsbox")->setCurrentIndex(2);
    EXPECT_EQ(ftpOf(form).Tls, "required");
    setFtp(form, [&](FtpSettings &f) { f.Tls = "strict"; });
    part<QComboBox>(form, "tlsbox")->setCurrentIndex(1);
    EXPECT_EQ(ftpOf(form).Tls, "when offered");
}

TEST(ProjectOptionsDialog, PatternsTypedLineByLineDropBlankLinesAndEnterDoesNotClose)
{
    ProjectOptionsDialog form;
    showSecondPage(form);
    part<QPlainTextEdit>(form, "excludeedit")->setFocus();
    QTest::keyClicks(part<QPlainTextEdit>(form, "excludeedit"), ".git/");
    QTest::keyClick(part<QPlainTextEdit>(form, "excludeedit"), Qt::Key_Return);
    QTest::keyClick(part<QPlainTextEdit>(form, "excludeedit"), Qt::Key_Return);
    QTest::keyClicks(part<QPlainTextEdit>(form, "excludeedit"), "   ");
    QTest::keyClick(part<QPlainTextEdit>(form, "excludeedit"), Qt::Key_Return);
    QTest::keyClicks(part<QPlainTextEdit>(form, "excludeedit"), "*.log ");
    QTest::keyClick(part<QPlainTextEdit>(form, "excludeedit"), Qt::Key_Return);
    EXPECT_TRUE(form.isVisible()); // Return makes a new line, it does not press OK
    EXPECT_EQ(ftpOf(form).Exclude, (QStringList{".git/", "*.log "}));

    // Space on the focused check box ticks it.
    part<QCheckBox>(form, "keyringbox")->setFocus();
    QTest::keyClick(part<QCheckBox>(form, "keyringbox"), Qt::Key_Space);
    EXPECT_TRUE(ftpOf(form).PasswordInKeyring);
}

TEST(ProjectOptionsDialog, TabReachesEveryControlOfTheSecondPage)
{
    ProjectOptionsDialog form;
    setFtp(form, [&](FtpSettings &f) { f.Exclude = QStringList{"keep"}; });
    showSecondPage(form);
    auto cycle = [&form] {
        part<QPushButton>(form, "Button1")->setFocus();
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
    EXPECT_EQ(ftpOf(form).Exclude, QStringList{"keep"});

    // With SFTP the TLS box is out of the way.
    setFtp(form, [&](FtpSettings &f) { f.Protocol = "sftp"; });
    EXPECT_EQ(cycle(), "Button1 Button2 PageControl1 protocolbox keyringbox excludeedit Button1");
}

TEST(ProjectOptionsDialog, PathMappingsComeBackAsPairsAndBrokenLinesAreNamed)
{
    ProjectOptionsDialog form;
    EXPECT_EQ(part<QTabWidget>(form, "PageControl1")->tabText(3), "Debug");
    ProjectOptions filled;
    filled.pathMappings = {{"/var/www/html", "/home/me/site"}};
    form.setOptions(filled, "/srv => /home/me");
    EXPECT_EQ(part<QPlainTextEdit>(form, "pathmapedit")->toPlainText(),
              "/var/www/html => /home/me/site");
    EXPECT_EQ(part<QPlainTextEdit>(form, "pathmapedit")->placeholderText(), "/srv => /home/me");
    // Without mappings the suggestion is there to keep or edit.
    form.setOptions({}, "/srv => /home/me");
    EXPECT_EQ(form.options().pathMappings, (QList<DebugSettings::Mapping>{{"/srv", "/home/me"}}));
    part<QPlainTextEdit>(form, "pathmapedit")
        ->setPlainText(" /srv/a =>  /home/a \n\n/srv/b\n=> /home/c\n/srv/d => \n/srv/e=>/home/e");
    QStringList problems;
    const auto mappings = form.options(&problems).pathMappings;
    EXPECT_EQ(mappings,
              (QList<DebugSettings::Mapping>{{"/srv/a", "/home/a"}, {"/srv/e", "/home/e"}}));
    ASSERT_EQ(problems.size(), 3);
    EXPECT_TRUE(problems.at(0).contains("/srv/b"));
}

TEST(ProjectOptionsDialog, EachTargetKeepsItsSettingsAndTheShownOneIsChosen)
{
    ProjectOptionsDialog form;
    showActive(form);
    ProjectOptions filled;
    filled.targets[0].Name = "staging";
    filled.targets[0].Host = "staging.example";
    filled.targets[0].Pass = "kept";
    filled.targets[0].KeyringHoldsPassword = true;
    filled.targets[0].Exclude = QStringList{"drafts/"};
    FtpSettings production;
    production.Name = "production";
    production.Host = "www.example";
    production.Protocol = "sftp";
    production.Pass = "old";
    production.KeyringHoldsPassword = true;
    filled.targets << production;
    filled.chosenTarget = 1;
    form.setOptions(filled);

    auto *box = part<QComboBox>(form, "targetbox");
    auto *host = part<QLineEdit>(form, "hostedit");
    EXPECT_EQ(itemTexts(box), (QStringList{"staging", "production"}));
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_EQ(host->text(), "www.example");
    EXPECT_FALSE(part<QComboBox>(form, "tlsbox")->isEnabled());

    // Edits stay with their target while the other is shown.
    part<QLineEdit>(form, "folderedit")->setText("/prod");
    part<QLineEdit>(form, "passedit")->setText("new");
    box->setCurrentIndex(0);
    EXPECT_EQ(host->text(), "staging.example");
    EXPECT_TRUE(part<QComboBox>(form, "tlsbox")->isEnabled());
    // The name is typed into the box.
    box->lineEdit()->setFocus();
    box->lineEdit()->end(false);
    QTest::keyClicks(box->lineEdit(), "-eu");
    part<QLineEdit>(form, "useredit")->setFocus();
    EXPECT_EQ(box->itemText(0), "staging-eu");

    // New starts with the shown target's protocol and exclusions; Remove
    // drops the shown one and is there only while another is left.
    QTest::mouseClick(part<QPushButton>(form, "targetnewbutton"), Qt::LeftButton);
    EXPECT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentIndex(), 2);
    EXPECT_TRUE(host->text().isEmpty());
    EXPECT_EQ(form.options().ftp().Exclude, QStringList{"drafts/"});
    QTest::mouseClick(part<QPushButton>(form, "targetremovebutton"), Qt::LeftButton);
    EXPECT_EQ(box->count(), 2);
    box->setCurrentIndex(1);

    const ProjectOptions back = form.options();
    ASSERT_EQ(back.targets.size(), 2);
    EXPECT_EQ(back.chosenTarget, 1);
    EXPECT_EQ(back.targets[0].Name, "staging-eu");
    EXPECT_TRUE(back.targets[0].KeyringHoldsPassword); // its password was not touched
    EXPECT_EQ(back.targets[1].Folder, "/prod");
    EXPECT_EQ(back.targets[1].Pass, "new");
    EXPECT_FALSE(back.targets[1].KeyringHoldsPassword); // the keyring holds the old one

    form.setOptions(ProjectOptions());
    EXPECT_FALSE(part<QPushButton>(form, "targetremovebutton")->isEnabled());
}
