#include "forms/about_dialog.h"
#include "forms/advice_window.h"
#include "forms/database_admin_window.h"
#include "forms/environment_options_dialog.h"
#include "forms/file_functions_dialog.h"
#include "forms/help_window.h"
#include "forms/online_manual_window.h"
#include "forms/project_files_dialog.h"
#include "forms/project_functions_dialog.h"
#include "forms/project_options_dialog.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/version.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <functional>
#include <memory>

namespace {
struct WindowCase {
    std::function<std::unique_ptr<QWidget>()> make;
    const char *objectName;
    const char *caption;
    bool maximised;
};

template <typename T>
std::unique_ptr<QWidget> make()
{
    return std::make_unique<T>();
}

QString help(const QString &folder)
{
    HelpWindow form;
    form.loadHelpIfNeeded(folder);
    return form.RichEdit1->toPlainText();
}
} // namespace

TEST(SecondaryWindows, CaptionsNamesAndTopLevel)
{
    const WindowCase cases[] = {
        {make<RunWindow>, "form_run", "Run", true},
        {make<ProjectFilesDialog>, "form_files", "Project Files", false},
        {make<FileFunctionsDialog>, "form_function_list", "Function List", false},
        {make<ProjectFunctionsDialog>, "form_all_functions", "Project Functions", false},
        {make<OnlineManualWindow>, "form_help", "php.net", true},
        {make<RunTextWindow>, "form_run_text", "Run in Text Mode", false},
        {make<ProjectOptionsDialog>, "form_publish", "Project Options", false},
        {make<AdviceWindow>, "form_advise", "PHP Manual", false},
        {make<EnvironmentOptionsDialog>, "OptionsForm", "Environment Options", false},
        {make<AboutDialog>, "AboutForm", "About", false},
        {make<HelpWindow>, "AppHelpForm", "Help", false},
        {make<DatabaseAdminWindow>, "form_run2", "PHPMyAdmin", true},
    };
    for (const WindowCase &c : cases) {
        SCOPED_TRACE(c.objectName);
        const std::unique_ptr<QWidget> window = c.make();
        EXPECT_EQ(window->objectName(), c.objectName);
        EXPECT_EQ(window->windowTitle(), c.caption);
        EXPECT_EQ(window->parentWidget(), nullptr);
        EXPECT_TRUE(window->isWindow());
        EXPECT_FALSE(window->isVisible());
        window->show();
        EXPECT_EQ(bool(window->windowState() & Qt::WindowMaximized), c.maximised);
    }
}

TEST(SecondaryWindows, FixedDialogsAndTheAdviceWindow)
{
    const std::pair<std::function<std::unique_ptr<QWidget>()>, QSize> fixed[] = {
        {make<EnvironmentOptionsDialog>, {384, 179}},
        {make<AboutDialog>, {364, 191}},
        {make<HelpWindow>, {584, 447}}};
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto &[factory, size] : fixed) {
        const std::unique_ptr<QWidget> window = factory();
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        EXPECT_EQ(window->size(), size);
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
        EXPECT_LE(std::abs(window->frameGeometry().center().x() - screen.center().x()), 2);
        EXPECT_LE(std::abs(window->frameGeometry().center().y() - screen.center().y()), 2);
    }

    AdviceWindow advise;
    EXPECT_TRUE(advise.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(advise.windowFlags() & Qt::WindowStaysOnTopHint);
    advise.show();
    EXPECT_EQ(advise.geometry(),
              QRect(QGuiApplication::primaryScreen()->geometry().topLeft(), QSize(751, 580)));
}

TEST(EnvironmentOptionsDialog, CheckboxRoundTripAndButtons)
{
    EnvironmentOptionsDialog form;
    EXPECT_EQ(form.ActivateOnReturnBox->text(),
              "set focus on text editor on <ENTER> in project manager");
    form.setActivateOnReturn(true);
    EXPECT_TRUE(form.activateOnReturn());
    form.setActivateOnReturn(false);
    EXPECT_FALSE(form.activateOnReturn());
    // What the user ticks is what the caller reads back.
    form.ActivateOnReturnBox->click();
    EXPECT_TRUE(form.activateOnReturn());

    // Enter presses the default OK button; Escape and Cancel reject.
    form.open();
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    form.open();
    form.CancelButton->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
    form.open();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_TRUE(form.activateOnReturn());
}

TEST(AboutDialog, ShowsTitleVersionAndDescription)
{
    const QString previous = ApplicationTitle();
    SetApplicationTitle("Quillstone");
    AboutDialog form;
    SetApplicationTitle(previous);
    EXPECT_EQ(form.TitleLabel->text(), "Quillstone");
    // The desktop's own font, in points: a large title over normal-sized text.
    EXPECT_EQ(form.TitleLabel->font().family(), QApplication::font().family());
    EXPECT_GT(form.TitleLabel->font().pointSizeF(), 1.5 * QApplication::font().pointSizeF());
    EXPECT_EQ(form.VersionLabel->font(), QApplication::font());
    EXPECT_EQ(form.VersionLabel->text(), QUILLSTONE_VERSION " beta");
    EXPECT_EQ(form.DescriptionLabel->text(), "php web design environment");
    EXPECT_TRUE(form.OkButton->isDefault());
    form.open();
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(HelpWindow, LoadsHelpOnceAndKeepsIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("help.rtf");
    WriteFileBytes(path, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b Quillstone help}\\par "
                         "Caf\\'e9 <script>\\par}");
    HelpWindow form;
    EXPECT_EQ(form.RichEdit1->toPlainText(), "RichEdit1");
    EXPECT_TRUE(form.RichEdit1->isReadOnly());
    form.loadHelpIfNeeded(dir.path());
    EXPECT_EQ(form.RichEdit1->toPlainText(), QString::fromUtf8("Quillstone help\nCafé <script>"));
    QTextCursor cursor(form.RichEdit1->document());
    cursor.setPosition(3);
    EXPECT_GE(cursor.charFormat().fontWeight(), QFont::Bold);

    // Later showings keep the loaded text, even when the file changes or goes.
    WriteFileBytes(path, "{\\rtf1 other}");
    form.loadHelpIfNeeded(dir.path());
    QFile::remove(path);
    form.loadHelpIfNeeded(dir.path());
    EXPECT_TRUE(form.RichEdit1->toPlainText().startsWith("Quillstone help"));
}

TEST(HelpWindow, MissingOrForeignFileRaisesAndKeepsTheBox)
{
    QTemporaryDir dir;
    HelpWindow form;
    try {
        form.loadHelpIfNeeded(dir.path());
        ADD_FAILURE() << "a missing help file was accepted";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(dir.filePath("help.rtf"))));
        EXPECT_TRUE(e.message().contains("not found"));
    }
    EXPECT_EQ(form.RichEdit1->toPlainText(), "RichEdit1");

    WriteFileBytes(dir.filePath("help.rtf"), "<html>not rich text</html>");
    EXPECT_THROW(form.loadHelpIfNeeded(dir.path()), AppError);
    EXPECT_EQ(form.RichEdit1->toPlainText(), "RichEdit1");

    // A folder named help.rtf is not a file either.
    QTemporaryDir other;
    QDir(other.path()).mkdir("help.rtf");
    EXPECT_THROW(form.loadHelpIfNeeded(other.path()), AppError);
}

TEST(HelpWindow, UnreadableFileRaises)
{
    // A regular file that no user, root included, can read from its start:
    // the process's own memory, where nothing is mapped at address 0.
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link("/proc/self/mem", dir.filePath("help.rtf")));
    HelpWindow form;
    try {
        form.loadHelpIfNeeded(dir.path());
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().contains("cannot be read")) << qPrintable(e.message());
    }
    EXPECT_EQ(form.RichEdit1->toPlainText(), "RichEdit1");
}

TEST(HelpWindow, ShippedHelpReadsAsCleanText)
{
    const QString text = help(QStringLiteral(QS_SOURCE_DIR "/data"));
    EXPECT_GT(text.count(u'\n'), 50);
    // No RTF syntax leaks into the text the user reads.
    EXPECT_FALSE(text.contains(QRegularExpression(R"(\\[a-z]+|[{}])"))) << text.toStdString();
    for (const char *needle :
         {"Quillstone", ".wdx", "Ctrl+Shift+F", "F3", "Ctrl+G", "F2", "F4", "Ctrl+Space",
          "phpmanual", "Alt+R", "Alt+Enter", "Alt+Shift+R", "Ctrl+L", "Alt+D", "noclearlog",
          "traceheight", "autopublish", "timer"})
        EXPECT_TRUE(text.contains(QLatin1String(needle))) << needle;
}
