// The preview of a publish: rows, counts and whether there is anything to send.

#include "forms/publish_preview_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

TEST(PublishPreviewDialog, ShowsEveryRowWithItsReasonAndCountsWhatIsSent)
{
    PublishPreviewDialog dialog;
    dialog.setPlan("h/www", {{true, "/s/index.php", "index.php", "changed", 1500},
                             {false, "/s/.env", "", "excluded by .env", 10},
                             {true, "/s/a/b.css", "a/b.css", "new", 2000}});
    ASSERT_EQ(dialog.planView()->rowCount(), 3);
    EXPECT_EQ(dialog.planView()->item(0, 0)->text(), "Send");
    EXPECT_EQ(dialog.planView()->item(1, 0)->text(), "Skip");
    EXPECT_EQ(dialog.planView()->item(1, 3)->text(), "excluded by .env");
    EXPECT_EQ(dialog.planView()->item(2, 2)->text(), "a/b.css");
    // Skipped bytes do not count towards what is sent.
    EXPECT_TRUE(dialog.summary().startsWith("2 files to send (3.42 KiB), 1 skipped."))
        << dialog.summary().toStdString();
    EXPECT_TRUE(dialog.summary().endsWith("Target: h/www"));
    EXPECT_TRUE(dialog.publishButton()->isEnabled());

    // A second plan replaces the first; with nothing to send there is nothing
    // to publish.
    dialog.setPlan("h/www", {{false, "/s/x.php", "", "unchanged", 5}});
    EXPECT_EQ(dialog.planView()->rowCount(), 1);
    EXPECT_TRUE(dialog.summary().startsWith("0 files to send")) << dialog.summary().toStdString();
    EXPECT_FALSE(dialog.publishButton()->isEnabled());
}
