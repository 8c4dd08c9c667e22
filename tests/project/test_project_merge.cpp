// What another program wrote into the project file meets what this window
// changed: one row per kind of change on either side.
#include "project/project.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

void setFiles(Project &project, const QStringList &names)
{
    project.Files.Clear();
    project.AddFiles(names);
}

QStringList names(const Project &project)
{
    QStringList list;
    project.ListFileNames(list);
    return list;
}

struct MergeCase {
    const char *name;
    std::function<void(Project &)> ours;
    std::function<void(Project &)> theirs;
    QStringList files;     // our list afterwards
    QStringList conflicts; // named by the merge
    std::function<void(const Project &)> check;
};

const auto nothing = [](Project &) {};
const auto noCheck = [](const Project &) {};

const MergeCase MergeCases[] = {
    {"TheirAddedEntryComesInAfterOurs",
     [](Project &p) {
         setFiles(p, {"/s/a", "/s/b", "/s/mine"});
     },
     [](Project &p) {
         setFiles(p, {"/s/a", "/s/theirs", "/s/b"});
     },
     {"/s/a", "/s/b", "/s/mine", "/s/theirs"},
     {},
     noCheck},
    {"TheirRemovedEntryGoesAndOursStaysGone",
     [](Project &p) { setFiles(p, {"/s/b"}); },
     [](Project &p) { setFiles(p, {"/s/a"}); },
     {},
     {},
     noCheck},
    {"OurLineWinsTheirsComesWhereOursIsUnchanged",
     [](Project &p) { p.Files.Get(0)->Line = 7; },
     [](Project &p) {
         p.Files.Get(0)->Line = 3;
         p.Files.Get(1)->Line = 9;
     },
     {"/s/a", "/s/b"},
     {},
     [](const Project &p) {
         EXPECT_EQ(p.Files.Get(0)->Line, 7);
         EXPECT_EQ(p.Files.Get(1)->Line, 9);
     }},
    {"SettingsChangedOnOneSideAreTaken",
     [](Project &p) { p.Ftp.Host = "ours.example"; },
     [](Project &p) {
         p.RunAddress = "http://127.0.0.1:9000";
         p.Ftp.Exclude = QStringList{"*.log"};
     },
     {"/s/a", "/s/b"},
     {},
     [](const Project &p) {
         EXPECT_EQ(p.Ftp.Host, "ours.example");
         EXPECT_EQ(p.RunAddress, "http://127.0.0.1:9000");
         EXPECT_EQ(p.Ftp.Exclude, QStringList{"*.log"});
     }},
    {"TheDocumentThisWindowShowsStays",
     nothing,
     [](Project &p) { p.OpenedFile = "/s/b"; },
     {"/s/a", "/s/b"},
     {},
     [](const Project &p) { EXPECT_EQ(p.OpenedFile, ""); }},
    {"BothChangedASettingDifferentlyIsNamed",
     [](Project &p) {
         p.Ftp.Host = "ours.example";
         p.Files.Get(1)->Publish = false;
     },
     [](Project &p) {
         p.Ftp.Host = "theirs.example";
         p.Ftp.User = "them";
     },
     {"/s/a", "/s/b"},
     {"the FTP host"},
     [](const Project &p) {
         EXPECT_EQ(p.Ftp.Host, "ours.example");
         EXPECT_EQ(p.Ftp.User, "them");
         EXPECT_FALSE(p.Files.Get(1)->Publish);
     }},
    {"TheSameChangeOnBothSidesIsNoConflict",
     [](Project &p) { p.DatabaseAddress = "http://127.0.0.1/db/"; },
     [](Project &p) { p.DatabaseAddress = "http://127.0.0.1/db/"; },
     {"/s/a", "/s/b"},
     {},
     noCheck},
    {"NothingChangedHereTakesEverything",
     nothing,
     [](Project &p) {
         setFiles(p, {"/s/b", "/s/c"});
         p.Files.Get(0)->Publish = false;
     },
     {"/s/b", "/s/c"},
     {},
     [](const Project &p) { EXPECT_FALSE(p.Files.Get(0)->Publish); }},
    {"TheirNewTargetComesInAndOurChosenOneKeepsItsEdit",
     [](Project &p) { p.Ftp.Folder = "/ours"; },
     [](Project &p) {
         FtpSettings production;
         production.Name = "production";
         production.Host = "www.example";
         p.SetPublishTargets({p.Ftp, production}, 0);
     },
     {"/s/a", "/s/b"},
     {},
     [](const Project &p) {
         ASSERT_EQ(p.PublishTargets().size(), 2);
         EXPECT_EQ(p.PublishTargets().at(1).Host, "www.example");
     }},
    {"TargetsChangedOnBothSidesKeepOursAndAreNamed",
     [](Project &p) {
         FtpSettings staging;
         staging.Name = "staging";
         p.SetPublishTargets({p.Ftp, staging}, 1);
     },
     [](Project &p) {
         FtpSettings production;
         production.Name = "production";
         p.SetPublishTargets({p.Ftp, production}, 0);
     },
     {"/s/a", "/s/b"},
     {"the publish targets"},
     [](const Project &p) {
         EXPECT_EQ(p.ChosenTarget(), 1);
         EXPECT_EQ(p.Ftp.Name, "staging");
     }},
};

class ProjectMerge : public ::testing::TestWithParam<MergeCase> {};

} // namespace

TEST_P(ProjectMerge, KeepsBothSidesChangesAndNamesWhatClashes)
{
    const MergeCase &c = GetParam();
    Project base, ours, theirs;
    for (Project *p : {&base, &ours, &theirs})
        setFiles(*p, {"/s/a", "/s/b"});
    c.ours(ours);
    c.theirs(theirs);
    EXPECT_EQ(ours.MergeFrom(base, theirs), c.conflicts);
    EXPECT_EQ(names(ours), c.files);
    c.check(ours);
}

INSTANTIATE_TEST_SUITE_P(Sides, ProjectMerge, ::testing::ValuesIn(MergeCases),
                         [](const auto &info) { return std::string(info.param.name); });
