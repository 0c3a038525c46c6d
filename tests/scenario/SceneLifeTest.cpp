// The scene unit's resources, its archives' folder fallbacks and its hook-up to the popups.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"
#include "support/SceneFixtures.h"

TEST(SceneLife, ArchivesFallBackToFoldersAndSnowIsRequired)
{
    TSceneWorld world;
    world.Background(500);
    world.Figure(3, 10, 10);
    world.Script.Folder().Write("EvSE_Pak/zbse001.adp", std::string("x"));
    world.EyeTable("");  // an empty table is no error
    EXPECT_FALSE(world.Prepare(false));  // no "Snow.bmp"
    TAvgUnit& u = world.Unit();
    EXPECT_FALSE(u.ResourcesReady);
    EXPECT_TRUE(u.BGPanel->Created());  // the panels were made before the failure
    EXPECT_EQ(u.EyeRows, 0);
    EXPECT_TRUE(u.BGFile->FileIsExist("zbbg500.jpg"));
    EXPECT_TRUE(u.CGFile->FileIsExist("zbchr003.png"));
    EXPECT_TRUE(u.SEFile->FileIsExist("zbse001.adp"));
    u.ReleaseResources();
    EXPECT_FALSE(u.BGPanel->Created());
}

// Scene archives that are there but cannot be read are named as they are opened and their
// folders stand in; a pipe under an archive's name is refused at once, not waited on.
TEST(SceneLife, ArchivesThatCannotBeReadAreNamedAndTheirFoldersStandIn)
{
    TSceneWorld world;
    world.Background(500);
    const std::string folder = world.Script.Folder().Path();
    world.Script.Folder().Write("EvBG.pak", std::string());
    ASSERT_EQ(mkfifo((folder + "/EvSE.pak").c_str(), 0600), 0);
    std::filesystem::create_directory(folder + "/EvCG.pak");
    std::filesystem::create_directory(folder + "/Voice");
    ASSERT_EQ(mkfifo((folder + "/Voice/zbvo01.pak").c_str(), 0600), 0);
    auto archiveLines = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : world.Script.Log())
            if (line.find(".pak: ") != std::string::npos)
                lines.push_back(line);
        return lines;
    };
    world.Script.MarkLog();
    world.Prepare();
    EXPECT_EQ(archiveLines(), (std::vector<std::string>{"EvBG.pak: cut short: smaller than a header and a trailer",
                                                        "EvCG.pak: not a regular file",
                                                        "EvSE.pak: not a regular file"}));
    TAvgUnit& u = world.Unit();
    EXPECT_TRUE(u.BGFile->FileIsExist("zbbg500.jpg"));

    // A voice archive is named when the first voice of its number opens it, not at every voice.
    world.Script.MarkLog();
    u.PlayVoice(1001);
    u.PlayVoice(1002);
    EXPECT_EQ(archiveLines(), std::vector<std::string>{"Voice\\zbvo01.pak: not a regular file"});
    EXPECT_EQ(world.Calls.size(), 2u);
}

TEST(SceneLife, DetachedPopupsNoLongerReachTheScene)
{
    TSceneWorld world;
    world.Start("mes 1 1 \"a\"\nend");
    TAvgUnit& u = world.Unit();
    world.FramesUntilPhase({9});
    u.DetachPopup();
    PopupWin->SkipBtnClick(nullptr);
    PopupWin->SelectChoice();
    EXPECT_FALSE(u.SkipMode);
    EXPECT_EQ(u.Phase, 9);
    EXPECT_EQ(PopupWin->MesWin->Parent(), nullptr);
}

TEST(SceneLife, AStartResetsThePresentation)
{
    TSceneWorld world;
    world.Figure(4, 100, 300);
    world.Start("push 4\npush 0\nsetchar\npush 0\nchangescene\npush 2\nsetmodeb\nend");
    TAvgUnit& u = world.Unit();
    world.Frames(3);
    ASSERT_TRUE(u.IsHalted());
    EXPECT_TRUE(u.CharLeft->Visible());
    u.SkipMode = true;
    u.Message = "left over";
    u.ResetScene();
    EXPECT_FALSE(u.CharLeft->Visible());
    EXPECT_EQ(u.CharNo, (std::array<int, 3>{-1, -1, -1}));
    EXPECT_EQ(u.BGRequest, 996);
    EXPECT_FALSE(u.SkipMode);
    EXPECT_TRUE(u.Message.empty());
    EXPECT_EQ(u.CursorCount, 1);
}
