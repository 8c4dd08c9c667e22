#include "project/project_paths.h"

#include <gtest/gtest.h>

TEST(ProjectPaths, EncodeRelativeToTheProjectFolder)
{
    const ProjectPathEncoder encoder(QStringLiteral("/web/shop/"));
    EXPECT_EQ(encoder.Encode("/web/shop/index.php"), "index.php");
    EXPECT_EQ(encoder.Encode("/web/shop/inc/db.php"), "inc\\db.php");
    EXPECT_EQ(encoder.Encode("/web/lib/util.php"), "..\\lib\\util.php");
    EXPECT_EQ(encoder.Encode("/etc/x.conf"), "..\\..\\etc\\x.conf");
    EXPECT_EQ(encoder.Encode("/web/shop"), "..\\shop");
    EXPECT_EQ(encoder.Encode("/web//shop/a.php"), "a.php");
    // Folders differing only in letter case are other folders here.
    EXPECT_EQ(encoder.Encode("/Web/Shop/index.php"), "..\\..\\Web\\Shop\\index.php");
    EXPECT_EQ(encoder.Encode("/web/shop/Inc/DB.php"), "Inc\\DB.php");
}

TEST(ProjectPaths, EncodeKeepsWhatCannotBeMadeRelative)
{
    const ProjectPathEncoder encoder(QStringLiteral("/web/shop/"));
    EXPECT_EQ(encoder.Encode("C:\\web\\x.php"), "C:\\web\\x.php");
    EXPECT_EQ(encoder.Encode("\\\\server\\share\\x.php"), "\\\\server\\share\\x.php");
    EXPECT_EQ(encoder.Encode(""), "");
    // A native name holding a backslash would be split on reading.
    EXPECT_EQ(encoder.Encode("/web/shop/a\\b.php"), "/web/shop/a\\b.php");
    EXPECT_EQ(encoder.Encode("/web/odd\\dir/x.php"), "/web/odd\\dir/x.php");
    // A name that would read back as a drive path is anchored to the folder.
    EXPECT_EQ(encoder.Encode("/web/shop/c:x.php"), ".\\c:x.php");
    EXPECT_EQ(DecodeProjectPath(".\\c:x.php", "/web/shop/"), "/web/shop/c:x.php");

    // The project folder's own names may hold one: they are never written.
    const ProjectPathEncoder odd(QStringLiteral("/web/a\\b/"));
    EXPECT_EQ(odd.Encode("/web/a\\b/inc/x.php"), "inc\\x.php");
    EXPECT_EQ(odd.Encode("/web/c/x.php"), "..\\c\\x.php");
}

TEST(ProjectPaths, DecodeJoinsAndCleans)
{
    const QString folder = QStringLiteral("/web/shop/");
    EXPECT_EQ(DecodeProjectPath("index.php", folder), "/web/shop/index.php");
    EXPECT_EQ(DecodeProjectPath("inc\\db.php", folder), "/web/shop/inc/db.php");
    EXPECT_EQ(DecodeProjectPath("inc/db.php", folder), "/web/shop/inc/db.php");
    EXPECT_EQ(DecodeProjectPath("..\\lib\\util.php", folder), "/web/lib/util.php");
    EXPECT_EQ(DecodeProjectPath(".\\a\\.\\b\\..\\c.php", folder), "/web/shop/a/c.php");
    EXPECT_EQ(DecodeProjectPath("..\\..\\..\\..\\x.php", folder), "/x.php");
    EXPECT_EQ(DecodeProjectPath("", folder), "/web/shop");
    EXPECT_EQ(DecodeProjectPath("a\\\\b.php", folder), "/web/shop/a/b.php");
}

TEST(ProjectPaths, DecodeTakesAbsoluteValuesAsTheyStand)
{
    const QString folder = QStringLiteral("/web/shop/");
    EXPECT_EQ(DecodeProjectPath("/srv/x.php", folder), "/srv/x.php");
    EXPECT_EQ(DecodeProjectPath("/srv/./y/../x.php", folder), "/srv/x.php");
    EXPECT_EQ(DecodeProjectPath("/srv/a\\b.php", folder), "/srv/a\\b.php");
    EXPECT_EQ(DecodeProjectPath("\\srv\\x.php", folder), "/srv/x.php");
    EXPECT_EQ(DecodeProjectPath("C:\\web\\x.php", folder), "C:\\web\\x.php");
    EXPECT_EQ(DecodeProjectPath("c:/web/./a/../x.php", folder), "c:\\web\\x.php");
    EXPECT_EQ(DecodeProjectPath("C:\\..\\x.php", folder), "C:\\x.php");
    EXPECT_EQ(DecodeProjectPath("\\\\server\\share\\..\\x.php", folder),
              "\\\\server\\share\\x.php");
}

TEST(ProjectPaths, ProjectFolderIsAbsoluteWithClosingSlash)
{
    EXPECT_EQ(ProjectFolderOf("/web/shop/shop.wdx"), "/web/shop/");
    EXPECT_EQ(ProjectFolderOf("/web/x/../shop/shop.wdx"), "/web/shop/");
    EXPECT_EQ(ProjectFolderOf("/shop.wdx"), "/");
    EXPECT_TRUE(ProjectFolderOf("shop.wdx").startsWith(u'/'));
    EXPECT_TRUE(ProjectFolderOf("shop.wdx").endsWith(u'/'));
}
