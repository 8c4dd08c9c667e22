#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {
// Each test gets its own store file and the program's title.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("quillstone/settings.ini");
        SetUserSettings(std::make_unique<IniSettingsStore>(path));
        SetApplicationTitle("Quillstone");
    }
    void TearDown() override
    {
        SetUserSettings(nullptr);
        SetApplicationTitle(QString());
    }
    QTemporaryDir dir;
    QString path;
};
} // namespace

TEST_F(Settings, FirstReadGivesTheDefaultAndLeavesTheKey)
{
    BoolSetting activate("ActivateOnReturn", "1");
    EXPECT_TRUE(activate.ReadBool());
    EXPECT_TRUE(UserSettings().hasKey("Software\\Quillstone\\ActivateOnReturn"));
    EXPECT_EQ(UserSettings().readValue("Software\\Quillstone\\ActivateOnReturn", "String"), "");
}

TEST_F(Settings, BooleansAreWrittenAsMinusOneAndZero)
{
    BoolSetting activate("ActivateOnReturn", "1");
    activate.WriteBool(false);
    EXPECT_EQ(RegReadString("Software\\Quillstone\\ActivateOnReturn", "x"), "0");
    EXPECT_FALSE(activate.ReadBool());
    activate.WriteBool(true);
    EXPECT_EQ(RegReadString("Software\\Quillstone\\ActivateOnReturn", "x"), "-1");
    EXPECT_TRUE(activate.ReadBool());
    // Nothing is cached: a second object sees the stored text.
    EXPECT_TRUE(BoolSetting("ActivateOnReturn", "0").ReadBool());
}

TEST_F(Settings, StoredTextsReadAsBooleans)
{
    const BoolSetting s("Flag", "1");
    const auto readWith = [&](const QString &stored) {
        WriteSetting("Flag", stored);
        return s.ReadBool();
    };
    EXPECT_TRUE(readWith("TRUE"));
    EXPECT_TRUE(readWith("true"));
    EXPECT_TRUE(readWith("2"));
    EXPECT_FALSE(readWith("False"));
    EXPECT_FALSE(readWith("0"));
    EXPECT_FALSE(readWith("no")); // not the default
    EXPECT_TRUE(readWith(""));    // empty reads as the default
}

TEST_F(Settings, ValuesSurviveAndKeyPathsIgnoreCase)
{
    RegWriteString("quillstone\\RecentFiles\\Item0", "C:\\web\\a b=c.wdx\nsecond line");
    RegWriteString("Software\\Quillstone\\Other", "x");
    EXPECT_EQ(RegReadString("QUILLSTONE\\recentfiles\\item0", ""),
              "C:\\web\\a b=c.wdx\nsecond line");
    // A fresh store object over the same file reads the same values.
    IniSettingsStore again(path);
    EXPECT_EQ(again.readValue("Software\\Quillstone\\Other", "String"), "x");
}

TEST_F(Settings, EmptyTitleUsesTheExecutableName)
{
    SetApplicationTitle(QString());
    EXPECT_EQ(SettingKeyPath("ActivateOnReturn"), "Software\\test_foundation\\ActivateOnReturn");
}

TEST_F(Settings, UnwritableStoreRaisesAClearError)
{
    // A file where the settings folder belongs: no user, root included, can
    // write below it.
    WriteFileBytes(dir.filePath("locked"), "x");
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("locked/settings.ini")));
    try {
        WriteSetting("ActivateOnReturn", "0");
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith("Cannot write the settings file"))
            << qPrintable(e.message());
    }
    // A read still answers with the default.
    EXPECT_EQ(ReadSetting("ActivateOnReturn", "1"), "1");
}

TEST_F(Settings, StoreInTheWayOfAFolderRaisesAClearError)
{
    // Works as root too: a file where the folder should be cannot be written through.
    WriteFileBytes(dir.filePath("blocker"), "x");
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("blocker/settings.ini")));
    EXPECT_THROW(WriteSetting("ActivateOnReturn", "0"), AppError);
}

TEST_F(Settings, ManyKeysAtOnceMatchOneByOne)
{
    QList<QPair<QString, QString>> values;
    for (int i = 0; i < 50; ++i)
        values.append({QStringLiteral("quillstone\\RecentFiles\\File%1").arg(i),
                       QStringLiteral("/p/%1").arg(i)});
    UserSettings().writeValues(values, "String");
    EXPECT_EQ(RegReadString("QUILLSTONE\\RecentFiles\\File7", ""), "/p/7");
    const QStringList read =
        UserSettings().readValues({"quillstone\\RecentFiles\\File49",
                                   "quillstone\\RecentFiles\\File0", "quillstone\\Missing"},
                                  "String");
    EXPECT_EQ(read, (QStringList{"/p/49", "/p/0", ""}));
    // The batch read created the missing key, as a single read does.
    EXPECT_TRUE(UserSettings().hasKey("quillstone\\Missing"));
    // Writing again replaces instead of adding.
    UserSettings().writeValues({{"quillstone\\RecentFiles\\File0", "/again"}}, "String");
    EXPECT_EQ(RegReadString("quillstone\\RecentFiles\\File0", ""), "/again");
    EXPECT_EQ(ReadFileBytes(path).count("File0]"), 1);
}
