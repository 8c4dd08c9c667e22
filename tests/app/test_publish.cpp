// The publish commands, Project Options and the FTP panel, driven through the
// window against a real FTP server on loopback.

#include "app/test_driver.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/project_options_dialog.h"
#include "forms/publish_preview_dialog.h"
#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "foundation/password_store.h"
#include "net/ftp_client.h"
#include "net/keychain_password_store.h"
#include "support/ftp_server.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

namespace {
// The window's FTP client, also telling what the window showed when a run
// connected and how often it did.
class WatchedConnection final : public FtpConnection {
public:
    explicit WatchedConnection(std::function<void()> onConnect) : m_onConnect(std::move(onConnect))
    {
        m_client.setTimeoutMs(10000);
    }
    void setUser(const QString &user) override { m_client.setUser(user); }
    void setHost(const QString &host) override { m_client.setHost(host); }
    void setPassword(const QString &password) override { m_client.setPassword(password); }
    void setWorkHandler(WorkHandler handler) override
    {
        m_client.setWorkHandler(std::move(handler));
    }
    const WorkHandler &workHandler() const override { return m_client.workHandler(); }
    void connect() override
    {
        ++connects;
        m_onConnect();
        m_client.connect();
    }
    void changeDir(const QString &path) override { m_client.changeDir(path); }
    void makeDir(const QString &name) override { m_client.makeDir(name); }
    void store(const QString &localPath, const QString &remotePath) override
    {
        m_client.store(localPath, remotePath);
    }
    void rename(const QString &from, const QString &to) override { m_client.rename(from, to); }
    void removeFile(const QString &path) override { m_client.removeFile(path); }
    QList<RemoteEntry> listFolder(const QString &path) override
    {
        return m_client.listFolder(path);
    }
    void disconnect() override { m_client.disconnect(); }
    bool isConnected() const override { return m_client.isConnected(); }

    int connects = 0;

private:
    FtpClient m_client;
    std::function<void()> m_onConnect;
};

QMap<QString, QByteArray> treeOf(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(QDir(root).relativeFilePath(path), ReadFileBytes(path));
    }
    return tree;
}

void setExclusions(ProjectOptionsDialog &options, const QStringList &patterns)
{
    ProjectOptions chosen = options.options();
    chosen.ftp().Exclude = patterns;
    options.setOptions(chosen);
}

QByteArray binaryBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

// The keyring as a map; `broken` makes every call fail as an absent keyring does.
class MapPasswordStore final : public PasswordStore {
public:
    std::optional<QString> read(const QString &key) override
    {
        fail();
        if (!passwords.contains(key))
            return std::nullopt;
        return passwords.value(key);
    }
    void write(const QString &key, const QString &password) override
    {
        fail();
        passwords.insert(key, password);
    }
    void remove(const QString &key) override
    {
        fail();
        passwords.remove(key);
    }
    void fail() const
    {
        if (broken)
            throw AppError(QStringLiteral("No desktop keyring is running in this session"));
    }

    QMap<QString, QString> passwords;
    bool broken = false;
};

// A project of four files (one locked) in site/, published to /www/site of a
// server whose home is home/.
class Publish : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("site");
        home = dir.filePath("home");
        QDir().mkpath(site + "/sub");
        QDir().mkpath(site + "/img");
        QDir().mkpath(home);
        WriteFileBytes(site + "/index.php", "<?php echo 'home';\n");
        WriteFileBytes(site + "/sub/page.php", "<?php echo 'page';\n");
        WriteFileBytes(site + "/locked.php", "<?php // kept off the host\n");
        WriteFileBytes(site + "/img/logo.bin", binaryBytes(300000));
        server = std::make_unique<FtpTestServer>(home);
        writeProject("secret");
        start();
        form()->show();
        auto connection = std::make_unique<WatchedConnection>(
            [this] { panelShownAtConnect << form()->ui().ftppanel->isVisible(); });
        ftp = connection.get();
        form()->publishing().SetFtpConnection(std::move(connection));
        form()->projectTree().OpenProject(site + "/site.wdx");
    }

    void writeProject(const QString &password)
    {
        WriteFileBytes(
            site + "/site.wdx",
            QStringLiteral(
                "<WENDLOR_Project>\r\n"
                "   <file path=\"index.php\" line=\"0\" publish=\"True\"/>\r\n"
                "   <file path=\"sub\\page.php\" line=\"0\" publish=\"True\"/>\r\n"
                "   <file path=\"locked.php\" line=\"0\" publish=\"False\"/>\r\n"
                "   <file path=\"img\\logo.bin\" line=\"0\" publish=\"True\"/>\r\n"
                "   <ftp host=\"%1\" user=\"tester\" pass=\"%2\" folder=\"/www/site\"/>\r\n"
                "</WENDLOR_Project>\r\n")
                .arg(server->hostAndPort(), password)
                .toUtf8());
    }

    QStringList log() const { return form()->ui().ftplog->toPlainText().split(u'\n'); }
    QMap<QString, QByteArray> published() const { return treeOf(home + "/www/site"); }
    QMap<QString, QByteArray> local(const QStringList &names) const
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : names)
            files.insert(name, ReadFileBytes(site + '/' + name));
        return files;
    }
    QStringList puttingLines() const { return log().filter(" Putting "); }
    // A publish command, and the wait for the run it started in the background.
    void publishBy(const char *command)
    {
        form()->item(command)->trigger();
        form()->publishing().waitForRun();
    }

    QString site;
    QString home;
    std::unique_ptr<FtpTestServer> server;
    WatchedConnection *ftp = nullptr;
    QList<bool> panelShownAtConnect;
};
} // namespace

TEST_F(Publish, TheProjectGoesUpWhileThePanelShowsTheRun)
{
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    publishBy("Publish2");

    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(panelShownAtConnect, QList<bool>{true});
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));

    const QStringList lines = log();
    const QString last = "Done. Published to: " + server->hostAndPort() + "/www/site";
    EXPECT_EQ(lines.first(), "Loaded"); // the project's own line comes first
    EXPECT_EQ(lines.last(), last);
    EXPECT_EQ(form()->ui().StatusPanel1->text(), last);
    EXPECT_EQ(form()->ui().ftpprogress->value(), 75); // before the fourth of four
    EXPECT_EQ(lines.filter("Host specific, no updating, skipped.").size(), 1);

    // The binary file's transfer counts sit between its last Putting (the first
    // one failed for want of its folder) and its Done., growing up to its size.
    const qsizetype putting =
        lines.lastIndexOf(QRegularExpression(".* Putting .*logo\\.bin -> img/logo\\.bin$"));
    ASSERT_GE(putting, 0);
    qsizetype at = putting + 1;
    qint64 previous = -1;
    for (; at < lines.size() && lines.at(at).endsWith(" bytes"); ++at) {
        const qint64 count = lines.at(at).chopped(6).toLongLong();
        EXPECT_GT(count, previous);
        previous = count;
    }
    EXPECT_EQ(previous, 300000);
    EXPECT_EQ(lines.value(at), "Done.");
    // Every stored file reports its bytes; a locked one does not.
    EXPECT_EQ(lines.filter(QRegularExpression("^\\d+ bytes$")).size(), at - putting - 1 + 2);

    // A second run keeps the first one's lines above its own, on the same connection.
    WriteFileBytes(site + "/index.php", "<?php echo 'changed';\n");
    publishBy("Publish2");
    EXPECT_EQ(log().filter(QRegularExpression("^Publishing$")).size(), 2);
    EXPECT_EQ(log().mid(0, lines.size()), lines);
    EXPECT_EQ(ftp->connects, 2);
    EXPECT_EQ(published().value("index.php"), "<?php echo 'changed';\n");
}

TEST_F(Publish, ARunThatLeftFilesOutSaysSoAndShowsTheFirstFailure)
{
    FtpTestServer::Options refusing;
    refusing.fault = "stor553";
    auto failing = std::make_unique<FtpTestServer>(home, refusing);
    form()->project().Ftp.Host = failing->hostAndPort();
    publishBy("Publish2");

    // The folder is new, so the files go up under their own names.
    const QString target = failing->hostAndPort() + "/www/site";
    ASSERT_EQ(dialogs.errors.size(), 1u);
    const QString &box = dialogs.errors.front();
    EXPECT_TRUE(box.startsWith("3 files were not published to " + target)) << qPrintable(box);
    EXPECT_TRUE(box.contains("index.php: STOR index.php: 553 Could not create file."))
        << qPrintable(box);
    EXPECT_EQ(log().last(), "Published with 3 errors to: " + target);
    EXPECT_EQ(form()->ui().StatusPanel1->text(), "Published with 3 errors to: " + target);
    EXPECT_EQ(log().filter(QRegularExpression("^!!!Error putting file: ")).size(), 3);
    // The panel stays, its top line the run's first failure.
    EXPECT_TRUE(form()->ui().ftppanel->isVisible());
    const QString top = form()->ui().ftplog->cursorForPosition(QPoint(2, 2)).block().text();
    EXPECT_TRUE(top.startsWith("!!!Error putting file: STOR index.php: 553")) << qPrintable(top);
    EXPECT_TRUE(published().isEmpty());

    // The next run to a server that takes the files works and hides the panel.
    form()->project().Ftp.Host = server->hostAndPort();
    publishBy("Publish2");
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    EXPECT_EQ(log().last(), "Done. Published to: " + server->hostAndPort() + "/www/site");
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));
}

TEST_F(Publish, AWrongPasswordIsShownTheLogStaysAndTheNextRunConnects)
{
    form()->project().Ftp.Pass = "wrong";
    publishBy("Publish2");
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors.front().contains("530")) << qPrintable(dialogs.errors.front());
    EXPECT_TRUE(form()->ui().ftppanel->isVisible());
    EXPECT_EQ(log().last(), "Connecting");
    EXPECT_TRUE(published().isEmpty());

    const QStringList failedRun = log();
    form()->project().Ftp.Pass = "secret";
    publishBy("Publish2");
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    EXPECT_EQ(log().mid(0, failedRun.size()), failedRun);
    EXPECT_EQ(published().keys(), (QStringList{"img/logo.bin", "index.php", "sub/page.php"}));
}

TEST_F(Publish, PublishFileSavesTheDocumentAndSendsOnlyIt)
{
    form()->documents().OpenFileAtLine(site + "/sub/page.php", true);
    form()->ui().re->setWholeText("<?php echo 'edited';\n");
    publishBy("Publish3");

    EXPECT_TRUE(dialogs.modalWindows.empty());
    EXPECT_EQ(ReadFileBytes(site + "/sub/page.php"), "<?php echo 'edited';\n");
    EXPECT_EQ(published(), local({"sub/page.php"}));
    // Its folder is made at once inside the FTP folder the run made, and it
    // counts as the second of four.
    const QStringList putting = puttingLines();
    EXPECT_EQ(putting.join(u'|'),
              "50% 2 file of 4 Putting " + site + "/sub/page.php -> sub/page.php");
    EXPECT_EQ(form()->ui().ftpprogress->value(), 25);
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
}

TEST_F(Publish, PublishFileDoesNothingForADocumentOutsideTheProject)
{
    const QString outside = dir.filePath("outside.php");
    WriteFileBytes(outside, "<?php\n");
    form()->documents().OpenFileAtLine(outside, true);
    form()->project().Files.Delete(form()->project().IndexOf(outside));
    form()->ui().re->setWholeText("<?php // saved anyway\n");
    const QString before = form()->ui().ftplog->toPlainText();
    publishBy("Publish3");
    EXPECT_EQ(ReadFileBytes(outside), "<?php // saved anyway\n");
    EXPECT_EQ(form()->ui().ftplog->toPlainText(), before);
    EXPECT_EQ(ftp->connects, 0);

    // A document that was never saved is in no entry either.
    form()->handle(QStringLiteral("New2Click"));
    publishBy("Publish3");
    EXPECT_EQ(ftp->connects, 0);
    EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(Publish, PublishFileSendsTheFileSpeltExactlyNotItsNamesake)
{
    // Here Page.php and page.php are two files, each its own entry.
    WriteFileBytes(site + "/sub/Page.php", "<?php echo 'other';\n");
    form()->documents().OpenFileAtLine(site + "/sub/Page.php", true);
    ASSERT_EQ(form()->project().IndexOf(site + "/sub/Page.php"), 4);
    ASSERT_EQ(form()->project().IndexOf(site + "/sub/page.php"), 1);
    publishBy("Publish3");
    EXPECT_EQ(published(), (QMap<QString, QByteArray>{{"sub/Page.php", "<?php echo 'other';\n"}}));
}

TEST_F(Publish, PublishFileAsksForSettingsWhenTheHostIsBlank)
{
    form()->documents().OpenFileAtLine(site + "/index.php", true);
    form()->project().Ftp.Host = "  ";
    form()->ui().re->setWholeText("<?php echo 'not yet';\n");
    dialogs.onModal = [](QWidget *) { return int(QDialog::Rejected); };
    publishBy("Publish3");
    ASSERT_EQ(dialogs.modalWindows.size(), 1u);
    EXPECT_EQ(dialogs.modalWindows.front(), windows().projectOptionsDialog);
    // Cancel stops before the save and the settings stay.
    EXPECT_EQ(form()->project().Ftp.Host, "  ");
    EXPECT_EQ(ReadFileBytes(site + "/index.php"), "<?php echo 'home';\n");
    EXPECT_EQ(ftp->connects, 0);

    dialogs.onModal = [this](QWidget *) {
        ProjectOptions chosen = windows().projectOptionsDialog->options();
        chosen.ftp().Host = server->hostAndPort();
        windows().projectOptionsDialog->setOptions(chosen);
        return int(QDialog::Accepted);
    };
    publishBy("Publish3");
    EXPECT_EQ(form()->project().Ftp.Host, server->hostAndPort());
    EXPECT_EQ(published(), local({"index.php"}));
    EXPECT_EQ(published().value("index.php"), "<?php echo 'not yet';\n");
}

TEST_F(Publish, TheTreePublishesTheSelectedFileOnly)
{
    form()->item("pmitem")->setChecked(true);
    form()->handle(QStringLiteral("pmitemClick"));
    QTreeWidgetItem *root = form()->ui().PrTree->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    form()->ui().PrTree->setCurrentItem(root);
    publishBy("publishnow");
    EXPECT_EQ(ftp->connects, 0);

    const auto page =
        form()->ui().PrTree->findItems("page.php", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(page.size(), 1);
    form()->ui().PrTree->setCurrentItem(page.first());
    form()->ui().re->setWholeText("<?php echo 'unsaved';\n"); // the tree's command saves nothing
    publishBy("publishnow");
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(published(), (QMap<QString, QByteArray>{{"sub/page.php", "<?php echo 'page';\n"}}));
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());

    // A folder node sends its own files, and nothing else.
    const auto img = form()->ui().PrTree->findItems("img", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(img.size(), 1);
    form()->ui().PrTree->setCurrentItem(img.first());
    form()->projectTree().ProjPopupPopup(nullptr);
    EXPECT_TRUE(form()->item("publishnow")->isVisible());
    publishBy("publishnow");
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(published(), local({"sub/page.php", "img/logo.bin"}));
}

TEST_F(Publish, ProjectOptionsEditsTheSettingsOnlyOnOk)
{
    ProjectOptionsDialog *options = windows().projectOptionsDialog;
    form()->project().Ftp.Host = "h";
    form()->project().Ftp.User = "u";
    form()->project().Ftp.Pass = "p";
    form()->project().Ftp.Folder = "/f";
    form()->project().RunAddress = "http://r/";
    form()->project().DatabaseAddress = "http://d/";
    QStringList shown;
    dialogs.onModal = [&](QWidget *) {
        ProjectOptions chosen = options->options();
        shown = {chosen.ftp().Host,   chosen.ftp().User, chosen.ftp().Pass,
                 chosen.ftp().Folder, chosen.runAddress, chosen.databaseAddress};
        chosen.ftp().Host = " host ";
        chosen.ftp().User = "user ";
        chosen.ftp().Pass = " pass";
        chosen.ftp().Folder = "www ";
        chosen.runAddress = "http://127.0.0.1:8080/";
        chosen.databaseAddress = "http://127.0.0.1/db/";
        options->setOptions(chosen);
        return int(QDialog::Rejected);
    };
    form()->item("Publish1")->trigger();
    EXPECT_EQ(shown, (QStringList{"h", "u", "p", "/f", "http://r/", "http://d/"}));
    EXPECT_EQ(form()->project().Ftp.Host, "h");
    EXPECT_EQ(form()->project().Ftp.Folder, "/f");
    EXPECT_EQ(form()->project().RunAddress, "http://r/");

    auto edit = dialogs.onModal;
    dialogs.onModal = [edit](QWidget *w) {
        edit(w);
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    // Refilled from the project.
    EXPECT_EQ(shown, (QStringList{"h", "u", "p", "/f", "http://r/", "http://d/"}));
    EXPECT_EQ(form()->project().Ftp.Host, " host ");
    EXPECT_EQ(form()->project().Ftp.User, "user ");
    EXPECT_EQ(form()->project().Ftp.Pass, " pass");
    EXPECT_EQ(form()->project().Ftp.Folder, "www ");
    // The addresses too; the preview's address box follows the run address.
    EXPECT_EQ(form()->project().RunAddress, "http://127.0.0.1:8080/");
    EXPECT_EQ(form()->project().DatabaseAddress, "http://127.0.0.1/db/");
    EXPECT_EQ(form()->ui().WebPanel->urlText(), "http://127.0.0.1:8080/");
}

TEST_F(Publish, ThePublishSwitchOpensProjectOptionsAtTheFirstActivation)
{
    start({site + "/site.wdx", "publish"});
    dialogs.onModal = [this](QWidget *w) {
        ProjectOptions chosen = windows().projectOptionsDialog->options();
        EXPECT_EQ(chosen.ftp().Host, server->hostAndPort());
        chosen.ftp().Folder = "/elsewhere";
        windows().projectOptionsDialog->setOptions(chosen);
        return w == windows().projectOptionsDialog ? int(QDialog::Accepted)
                                                   : int(QDialog::Rejected);
    };
    form()->show();
    form()->AppEventsActivate();
    EXPECT_EQ(dialogs.modalWindows, std::vector<QWidget *>{windows().projectOptionsDialog});
    EXPECT_EQ(form()->project().Ftp.Folder, "/elsewhere");
}

TEST_F(Publish, AutopublishTakesTheSettingsWithoutShowingAnything)
{
    start({site + "/site.wdx", "publish", "autopublish", "click", "Publish3"});
    auto connection = std::make_unique<WatchedConnection>([] {});
    WatchedConnection *watched = connection.get();
    form()->publishing().SetFtpConnection(std::move(connection));
    ProjectOptions stale;
    stale.ftp().Host = "stale";
    windows().projectOptionsDialog->setOptions(stale);
    form()->show();
    form()->AppEventsActivate();
    EXPECT_TRUE(dialogs.modalWindows.empty());
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(form()->project().Ftp.Host, server->hostAndPort());
    EXPECT_EQ(windows().projectOptionsDialog->options().ftp().Host, server->hostAndPort());
    // The test driver's click published the opened file.
    EXPECT_EQ(watched->connects, 1);
    EXPECT_EQ(published(), local({"index.php"}));

    // Even a blank host does not bring the dialog up: the run itself fails.
    form()->project().Ftp.Host = " ";
    publishBy("Publish3");
    EXPECT_TRUE(dialogs.modalWindows.empty());
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(form()->project().Ftp.Host, " ");
}

TEST_F(Publish, PublishChangesSendsOnlyWhatChangedSinceTheLastPublishOfAnyKind)
{
    publishBy("Publish2");
    ASSERT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));

    // The host's copies of the unchanged files go: if they were sent again,
    // they would come back.
    QFile::remove(home + "/www/site/sub/page.php");
    QFile::remove(home + "/www/site/img/logo.bin");
    WriteFileBytes(site + "/index.php", "<?php echo 'changed';\n");
    const int before = int(log().size());
    publishBy("PublishChanges1");
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(published(), local({"index.php"}));
    const QStringList run = log().mid(before);
    EXPECT_EQ(run.filter("Changed since the last publish, sending.").size(), 1);
    EXPECT_EQ(run.filter("Unchanged since the last publish, skipped.").size(), 2);
    EXPECT_EQ(run.filter(" Putting ").size(), 1);
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    // The record lives beside the settings, not in the project folder.
    EXPECT_FALSE(QDir(PublishController::RecordFolder()).isEmpty());
    EXPECT_FALSE(PublishController::RecordFolder().startsWith(site));
}

TEST_F(Publish, PreviewShowsEveryFileWithItsReasonAndSendsNothingUntilTheUserSaysSo)
{
    form()->project().Ftp.Exclude = QStringList{"img/"};
    PublishPreviewDialog *preview = windows().publishPreviewDialog;
    QStringList rows;
    dialogs.onModal = [&](QWidget *w) {
        EXPECT_EQ(w, preview);
        rows.clear();
        for (int row = 0; row < preview->planView()->rowCount(); ++row)
            rows << preview->planView()->item(row, 0)->text() + ' ' +
                        preview->planView()->item(row, 2)->text() + ' ' +
                        preview->planView()->item(row, 3)->text();
        return int(QDialog::Rejected);
    };
    publishBy("PublishPreview1");
    ASSERT_EQ(rows.size(), 4) << qPrintable(rows.join(" | "));
    EXPECT_TRUE(rows[0].startsWith("Send index.php")) << qPrintable(rows[0]);
    EXPECT_TRUE(rows[1].startsWith("Send sub/page.php")) << qPrintable(rows[1]);
    EXPECT_TRUE(rows[2].startsWith("Skip") && rows[2].contains("locked")) << qPrintable(rows[2]);
    EXPECT_TRUE(rows[3].startsWith("Skip") && rows[3].contains("img/")) << qPrintable(rows[3]);
    EXPECT_TRUE(preview->summary().startsWith("2 files to send")) << qPrintable(preview->summary());
    EXPECT_EQ(ftp->connects, 0);
    EXPECT_TRUE(published().isEmpty());

    // Publish in the preview sends what it listed, and the next preview has
    // nothing left to send.
    dialogs.onModal = [](QWidget *) { return int(QDialog::Accepted); };
    publishBy("PublishPreview1");
    EXPECT_EQ(published(), local({"index.php", "sub/page.php"}));
    dialogs.onModal = [&](QWidget *) { return int(QDialog::Rejected); };
    publishBy("PublishPreview1");
    EXPECT_TRUE(preview->summary().startsWith("0 files to send")) << qPrintable(preview->summary());
    EXPECT_FALSE(preview->publishButton()->isEnabled());
}

TEST_F(Publish, ABadExclusionPatternIsRefusedWhileTheDialogIsStillOpen)
{
    ProjectOptionsDialog *options = windows().projectOptionsDialog;
    int shown = 0;
    dialogs.onModal = [&](QWidget *) {
        if (++shown == 1) {
            setExclusions(*options, {".git/", "[abc"});
            return int(QDialog::Accepted);
        }
        setExclusions(*options, {".git/", "*.bak"});
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("[abc")) << qPrintable(dialogs.errors[0]);
    EXPECT_EQ(form()->project().Ftp.Exclude, (QStringList{".git/", "*.bak"}));
}

TEST_F(Publish, AKeyringPasswordStaysOutOfTheProjectFileAndStillLogsIn)
{
    auto store = std::make_unique<MapPasswordStore>();
    MapPasswordStore *keyring = store.get();
    form()->publishing().SetPasswordStore(std::move(store));
    ProjectOptionsDialog *options = windows().projectOptionsDialog;
    dialogs.onModal = [&](QWidget *) {
        ProjectOptions chosen = options->options();
        chosen.ftp().PasswordInKeyring = true;
        options->setOptions(chosen);
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    const QString key =
        KeychainPasswordStore::PublishPasswordKey("", "tester", server->hostAndPort());
    EXPECT_EQ(keyring->passwords.value(key), "secret");
    form()->project().SaveToFile(site + "/site.wdx");
    EXPECT_TRUE(ReadFileBytes(site + "/site.wdx")
                    .contains("pass=\"\" folder=\"/www/site\" keyring=\"True\""));

    // Opened again, the project has no password of its own: the keyring's
    // logs in.
    form()->projectTree().OpenProject(site + "/site.wdx");
    EXPECT_TRUE(form()->project().Ftp.Pass.isEmpty());
    publishBy("Publish2");
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_TRUE(dialogs.prompts.empty());
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));

    // With nothing in the keyring the password is asked for and kept there;
    // a cancelled question sends nothing.
    keyring->passwords.clear();
    form()->projectTree().OpenProject(site + "/site.wdx");
    publishBy("Publish2");
    EXPECT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(ftp->connects, 1);
    dialogs.promptAnswers.push_back(QStringLiteral("secret"));
    publishBy("Publish2");
    EXPECT_EQ(ftp->connects, 2);
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(keyring->passwords.value(key), "secret");
}

TEST_F(Publish, AKeyringThatFailsLeavesThePasswordInTheProjectFile)
{
    auto store = std::make_unique<MapPasswordStore>();
    store->broken = true;
    form()->publishing().SetPasswordStore(std::move(store));
    ProjectOptionsDialog *options = windows().projectOptionsDialog;
    dialogs.onModal = [&](QWidget *) {
        ProjectOptions chosen = options->options();
        chosen.ftp().PasswordInKeyring = true;
        options->setOptions(chosen);
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("No desktop keyring")) << qPrintable(dialogs.errors[0]);
    EXPECT_TRUE(dialogs.errors[0].contains("stays in the project file"));
    EXPECT_FALSE(form()->project().Ftp.PasswordInKeyring);
    form()->project().SaveToFile(site + "/site.wdx");
    EXPECT_TRUE(ReadFileBytes(site + "/site.wdx").contains("pass=\"secret\""));
}

TEST_F(Publish, AnUntrustedCertificateIsAskedAboutOnceAndRemembered)
{
    const TestCertificate certificate = MakeSelfSignedCertificate(dir.path(), "tls");
    FtpTestServer::Options tlsOptions;
    tlsOptions.tlsCertificate = certificate.certificate;
    tlsOptions.tlsKey = certificate.key;
    tlsOptions.tlsControlRequired = true;
    tlsOptions.tlsDataRequired = true;
    FtpTestServer tlsServer(home, tlsOptions);
    form()->publishing().SetFtpConnection(nullptr); // the window's own client
    form()->project().Ftp.Host = tlsServer.hostAndPort();
    form()->project().Ftp.Tls = "required";

    // Refused: nothing is sent and the error names the host.
    publishBy("Publish2");
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_TRUE(dialogs.choices[0].contains(certificate.fingerprint, Qt::CaseInsensitive))
        << qPrintable(dialogs.choices[0]);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("127.0.0.1")) << qPrintable(dialogs.errors[0]);
    EXPECT_TRUE(published().isEmpty());

    // Trusted once: the files go over TLS, and the next run does not ask.
    dialogs.choiceAnswers = {0};
    publishBy("Publish2");
    EXPECT_EQ(dialogs.choices.size(), 2u);
    EXPECT_EQ(dialogs.errors.size(), 1u) << qPrintable(dialogs.errors.back());
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));
    EXPECT_EQ(log().filter("Encrypted with TLS").size(), 1) << qPrintable(log().join('\n'));
    publishBy("Publish2");
    EXPECT_EQ(dialogs.choices.size(), 2u);
    EXPECT_EQ(dialogs.errors.size(), 1u) << qPrintable(dialogs.errors.back());
}

TEST_F(Publish, ARunGoesOnInTheBackgroundAndRefusesWhatWouldRaceIt)
{
    form()->item("Publish2")->trigger();
    ASSERT_TRUE(form()->publishing().isPublishing());
    // The window is the user's meanwhile: typing lands in the editor.
    form()->ui().re->setFocus();
    QTest::keyClicks(form()->ui().re, "typed");
    EXPECT_TRUE(form()->ui().re->wholeText().contains("typed"));
    // A second run and the settings wait for this one.
    const std::vector<const char *> refused = {"Publish2", "PublishChanges1", "Publish1"};
    for (const char *command : refused)
        form()->item(command)->trigger();
    EXPECT_EQ(dialogs.messages.size(), refused.size());
    for (const QString &message : dialogs.messages)
        EXPECT_TRUE(message.startsWith("Publishing is running.")) << qPrintable(message);
    EXPECT_TRUE(dialogs.modalWindows.empty());

    form()->publishing().waitForRun();
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));
    EXPECT_EQ(ftp->connects, 1);
}

TEST_F(Publish, CancelStopsTheRunSaysWhatWasNotSentAndPublishChangesSendsIt)
{
    auto *cancel = form()->ui().ftppanel->findChild<QPushButton *>("ftpcancel");
    ASSERT_NE(cancel, nullptr);
    form()->item("Publish2")->trigger();
    EXPECT_TRUE(cancel->isVisible());
    cancel->click();
    form()->publishing().waitForRun();

    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_TRUE(form()->ui().ftppanel->isVisible()); // the log stays in view
    const QStringList lines = log();
    EXPECT_TRUE(lines.contains("Cancelled: 0 of 3 files to send were sent; 3 were not sent:"))
        << qPrintable(lines.join('\n'));
    EXPECT_EQ(
        lines.filter(QRegularExpression("^Not sent: ")),
        (QStringList{"Not sent: index.php", "Not sent: sub/page.php", "Not sent: img/logo.bin"}));
    EXPECT_EQ(lines.last(),
              "Cancelled. Published in part to: " + server->hostAndPort() + "/www/site");
    EXPECT_TRUE(published().isEmpty());

    publishBy("PublishChanges1");
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
}

TEST_F(Publish, AFailedScriptedClickIsShownAndTheNextCommandStillRuns)
{
    // The preview's plan refuses a pattern that cannot work.
    form()->project().Ftp.Exclude = QStringList{"[abc"};
    dialogs.onModal = [](QWidget *) { return int(QDialog::Rejected); };
    const ScopedParameters script({"click", "PublishPreview1", "click", "Publish1"});
    RunTestCommands({form()}, [this] { return form()->publishing().isPublishing(); });
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors.front().contains("[abc")) << qPrintable(dialogs.errors.front());
    ASSERT_EQ(dialogs.modalWindows.size(), 1u); // Project Options, from the second click
    EXPECT_EQ(dialogs.modalWindows.front()->objectName(), "form_publish");
}

TEST_F(Publish, TheTargetShownWhenProjectOptionsClosesIsTheOnePublishedTo)
{
    ProjectOptionsDialog *options = windows().projectOptionsDialog;
    dialogs.onModal = [&](QWidget *) {
        ProjectOptions chosen = options->options();
        chosen.ftp().Name = "staging";
        FtpSettings production = chosen.ftp();
        production.Name = "production";
        production.Folder = "/www/live";
        chosen.targets << production;
        chosen.chosenTarget = 1;
        options->setOptions(chosen);
        return int(QDialog::Accepted);
    };
    form()->item("Publish1")->trigger();
    EXPECT_EQ(form()->project().ChosenTarget(), 1);
    publishBy("Publish2");
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(treeOf(home + "/www/live"), local({"index.php", "sub/page.php", "img/logo.bin"}));
    EXPECT_TRUE(published().isEmpty());

    // Saved and opened again, the choice and both targets are still there.
    form()->projectTree().SavePrjClick(nullptr);
    form()->projectTree().OpenProject(site + "/site.wdx");
    ASSERT_EQ(form()->project().PublishTargets().size(), 2);
    EXPECT_EQ(form()->project().Ftp.Name, "production");
    EXPECT_EQ(form()->project().PublishTargets().at(0).Folder, "/www/site");
}

TEST_F(Publish, DeletionsOnTheHostAreListedFirstInThePreviewWithTheirReason)
{
    publishBy("Publish2"); // the record of what went up
    form()->project().Ftp.MirrorDeletions = true;
    form()->project().RemoveFile(form()->project().IndexOf(site + "/sub/page.php"));
    PublishPreviewDialog *preview = windows().publishPreviewDialog;
    dialogs.onModal = [](QWidget *) { return int(QDialog::Rejected); };
    form()->item("PublishPreview1")->trigger();
    ASSERT_GE(preview->planView()->rowCount(), 1);
    EXPECT_EQ(preview->planView()->item(0, 0)->text(), "Delete on host");
    EXPECT_EQ(preview->planView()->item(0, 2)->text(), "sub/page.php");
    EXPECT_EQ(preview->planView()->item(0, 3)->text(), "delete (no longer in the project)");
    EXPECT_TRUE(preview->summary().contains("1 file to delete on the host"))
        << qPrintable(preview->summary());
    EXPECT_TRUE(preview->publishButton()->isEnabled());
    EXPECT_EQ(published(), local({"index.php", "sub/page.php", "img/logo.bin"}));

    // Publishing from the preview deletes it; without mirroring nothing goes.
    dialogs.onModal = [](QWidget *) { return int(QDialog::Accepted); };
    publishBy("PublishPreview1");
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    EXPECT_EQ(published(), local({"index.php", "img/logo.bin"}));
    form()->project().Ftp.MirrorDeletions = false;
    form()->project().RemoveFile(form()->project().IndexOf(site + "/index.php"));
    publishBy("PublishChanges1");
    EXPECT_EQ(published(), local({"index.php", "img/logo.bin"}));
}

TEST_F(Publish, CompareWithHostListsEachFileAndPublishChangesAsksBeforeOverwriting)
{
    publishBy("Publish2");
    WriteFileBytes(home + "/www/site/index.php", "<?php echo 'edited on the host';\n");
    WriteFileBytes(home + "/www/site/theirs.txt", "not ours");
    WriteFileBytes(site + "/sub/page.php", "<?php echo 'page, edited here';\n");
    WriteFileBytes(site + "/index.php", "<?php echo 'home, edited here';\n");

    form()->item("FTPCompare1")->trigger();
    EXPECT_TRUE(dialogs.errors.empty()) << qPrintable(dialogs.errors.front());
    QStringList states;
    for (const QString &line : log().filter(QRegularExpression("^(same|changed|only)")))
        states << line.section(" (", 0, 0);
    EXPECT_EQ(states,
              (QStringList{"same: img/logo.bin", "changed locally and on the host: index.php",
                           "changed locally: sub/page.php", "only on the host: theirs.txt"}));
    EXPECT_TRUE(log().last().startsWith("Compared 4 files with ")) << qPrintable(log().last());

    // Publish Changes names the file edited on the host and stops on No.
    publishBy("PublishChanges1");
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(dialogs.questions.front().contains("index.php: 33 bytes on the host, 19 when"))
        << qPrintable(dialogs.questions.front());
    EXPECT_EQ(published().value("index.php"), "<?php echo 'edited on the host';\n");
    EXPECT_EQ(published().value("sub/page.php"), "<?php echo 'page';\n");
    EXPECT_TRUE(form()->ui().ftppanel->isVisible());

    dialogs.yesNoAnswers.push_back(true);
    publishBy("PublishChanges1");
    EXPECT_EQ(dialogs.questions.size(), 2u);
    QMap<QString, QByteArray> expected = local({"index.php", "sub/page.php", "img/logo.bin"});
    expected.insert("theirs.txt", "not ours");
    EXPECT_EQ(published(), expected);
}

TEST_F(Publish, TheFtpPanelChoosesTheTargetOfThePublish)
{
    FtpSettings live = form()->project().Ftp;
    live.Name = "live";
    live.Folder = "/www/live";
    form()->project().SetPublishTargets({form()->project().Ftp, live}, 0);
    auto *chooser = form()->ui().ftppanel->findChild<QComboBox *>("ftptarget");
    ASSERT_NE(chooser, nullptr);
    form()->publishing().RefreshTargets();
    ASSERT_EQ(chooser->count(), 2);
    EXPECT_EQ(chooser->itemText(1), "live");
    chooser->setCurrentIndex(1);
    emit chooser->activated(1);
    EXPECT_EQ(form()->project().ChosenTarget(), 1);
    publishBy("Publish2");
    EXPECT_EQ(treeOf(home + "/www/live"), local({"index.php", "sub/page.php", "img/logo.bin"}));
    EXPECT_TRUE(published().isEmpty());
}
