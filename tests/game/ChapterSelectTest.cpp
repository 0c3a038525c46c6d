#include <memory>

#include "MenuTestKit.h"
#include "game/Pchapter.h"

namespace {

class ChapterSelect : public MenuHarness {
protected:
    std::unique_ptr<TChapterUnit> Open()
    {
        WritePicture("ChapterBack.jpg", 640, 480);
        WritePicture("GalleryBack.jpg", 640, 480);
        WritePicture("ChapterButton.png", 308, 123);
        WritePicture("ChapterTitle.png", 390, 306);
        WritePicture("ChapterEpisode.png", 615, 152);
        WritePicture("ChapterEp14.png", 285, 1260);
        WritePicture("ChapterEp15.png", 285, 1260);
        WritePicture("ChapterEp16.png", 285, 1071);
        WritePicture("GalleryNum.png", 17, 374);
        WritePicture("GalleryName.png", 328, 990);
        WritePicture("ViewerParts.png", 230, 196);
        WriteSounds();
        auto unit = std::make_unique<TChapterUnit>(nullptr);
        EXPECT_TRUE(unit->CreateResources(PackFileMan));
        return unit;
    }

    static int VisibleButtons(const TChapterUnit& unit)
    {
        int count = 0;
        for (int i = 0; i < TChapterUnit::ListButtonCount; ++i)
            count += unit.ListButton(i)->Visible() ? 1 : 0;
        return count;
    }
};

TEST_F(ChapterSelect, EpisodeSelectFollowsTheFurthestEpisode)
{
    auto unit = Open();
    SysData->FurthestEpisode = 0;
    SysData->FurthestScene = 1;
    unit->SetMode(4);
    for (TVeRGBBtn* episode : {unit->Episode14, unit->Episode15, unit->Episode16}) {
        EXPECT_TRUE(episode->Visible());
        EXPECT_FALSE(episode->Enabled());
        EXPECT_EQ(episode->BlockIndex(), 3);
    }
    Click(unit->MenuPanel, 170, 160);
    EXPECT_EQ(TakeSignal(), INT_MIN);

    SysData->FurthestEpisode = 15;
    unit->SetMode(4);
    EXPECT_TRUE(unit->Episode14->Enabled());
    EXPECT_TRUE(unit->Episode15->Enabled());
    EXPECT_FALSE(unit->Episode16->Enabled());
    EXPECT_FALSE(unit->BtnMainMenu->Visible());
    EXPECT_EQ(VisibleButtons(*unit), 0);
    Click(unit->MenuPanel, 170, 220);
    EXPECT_EQ(TakeSignal(), 1);
    Click(unit->MenuPanel, 540, 430);
    EXPECT_EQ(TakeSignal(), -1);
    EXPECT_EQ(TakeSound(), "btn_3.adp");
}

TEST_F(ChapterSelect, ChapterListsShowTheScenesReached)
{
    auto unit = Open();
    SysData->FurthestEpisode = 15;
    SysData->FurthestScene = 3;
    unit->SetMode(0);
    EXPECT_EQ(VisibleButtons(*unit), 20);
    EXPECT_TRUE(unit->BtnMainMenu->Visible());
    EXPECT_FALSE(unit->Episode14->Visible());
    EXPECT_EQ(unit->ChapterTitle->OffsetX(), 12);

    unit->SetMode(1);
    EXPECT_EQ(VisibleButtons(*unit), 3);
    EXPECT_TRUE(unit->ListButton(2)->Visible());
    EXPECT_EQ(unit->ListButton(2)->OffsetX(), 119);
    EXPECT_EQ(unit->ListButton(2)->OffsetY(), 65);
    EXPECT_EQ(unit->ListButton(2)->SizeY(), 21);
    Click(unit->MenuPanel, 125, 70);
    EXPECT_EQ(TakeSignal(), 2);
    Click(unit->MenuPanel, 125, 92);  // scene 4 is not reached
    EXPECT_EQ(TakeSignal(), INT_MIN);
    Click(unit->MenuPanel, 430, 380);
    EXPECT_EQ(TakeSignal(), -2);

    SysData->FurthestEpisode = 17;
    unit->SetMode(2);
    EXPECT_EQ(VisibleButtons(*unit), 17);
    EXPECT_EQ(unit->ListButton(0)->OffsetY(), 43);
    EXPECT_FALSE(unit->ListButton(17)->Visible());
    // A mode outside the five changes nothing.
    unit->SetMode(9);
    EXPECT_EQ(unit->GetMode(), 2);
    EXPECT_EQ(VisibleButtons(*unit), 17);
}

TEST_F(ChapterSelect, GalleryCountsTheOpenPictures)
{
    auto unit = Open();
    SetSysOpenFlag(SysData, 0);
    SetSysOpenFlag(SysData, 3);
    SetSysOpenFlag(SysData, 12);
    unit->SetMode(3);
    EXPECT_EQ(VisibleButtons(*unit), 2);
    EXPECT_TRUE(unit->ListButton(3)->Visible());
    EXPECT_EQ(unit->ListButton(3)->OffsetY(), 133);
    EXPECT_EQ(unit->Num1->Number(), 2);
    EXPECT_EQ(unit->Num2->Number(), 10);
    EXPECT_TRUE(unit->Num1->Visible());
    EXPECT_TRUE(unit->Slash->Visible());
    EXPECT_EQ(unit->Num1->SizeX(), 34);
    EXPECT_FALSE(unit->BtnMainMenu->Visible());
    Click(unit->MenuPanel, 130, 140);
    EXPECT_EQ(TakeSignal(), 3);
    unit->SetMode(4);
    EXPECT_FALSE(unit->Num1->Visible());
}

TEST_F(ChapterSelect, ViewerScrollsWidePicturesAndTogglesItsControls)
{
    auto unit = Open();
    WriteEventPicture(502, 1280, 480);
    ASSERT_TRUE(unit->OpenViewer(2));
    EXPECT_EQ(unit->GetScrollMode(), TChapterUnit::smHorizontal);
    EXPECT_EQ(unit->ViewPos->Parent(), unit->ViewHorizon);
    EXPECT_TRUE(unit->ViewHorizon->Visible());
    EXPECT_FALSE(unit->ViewVertical->Visible());
    TVeRGBPanel* root = unit->ViewerPanel;
    root->MouseDown(mbLeft, TShiftState(ssLeft), 510 + 97, 398 + 5);
    EXPECT_EQ(unit->GetScrollPos(), 640);
    EXPECT_EQ(unit->ViewImage->OffsetX(), -640);
    EXPECT_EQ(unit->ViewPos->OffsetX(), 65);
    root->MouseMove(TShiftState(ssLeft), 510 + 33, 398 + 5);
    EXPECT_EQ(unit->GetScrollPos(), 0);
    EXPECT_EQ(unit->ViewPos->OffsetX(), 1);
    root->MouseUp(mbLeft, TShiftState(), 510 + 33, 398 + 5);
    root->MouseMove(TShiftState(), 510 + 97, 398 + 5);
    EXPECT_EQ(unit->GetScrollPos(), 0);

    Click(root, 610, 450);  // hide
    EXPECT_FALSE(unit->ViewerControlsShown());
    EXPECT_FALSE(unit->ViewExit->Visible());
    EXPECT_EQ(Form->GetCursorType(), -1);
    Click(root, 300, 200);  // the picture brings them back
    EXPECT_TRUE(unit->ViewerControlsShown());
    EXPECT_EQ(Form->GetCursorType(), 0);
    EXPECT_EQ(TakeSound(), "btn_3.adp");
    unit->ViewImageClick(unit->ViewImage);
    EXPECT_TRUE(unit->ViewerControlsShown());
    EXPECT_EQ(TakeSound(), "");
    EXPECT_EQ(TakeSignal(), INT_MIN);
    Click(root, 545, 455);
    EXPECT_EQ(TakeSignal(), 0);

    WriteEventPicture(503, 640, 960);
    ASSERT_TRUE(unit->OpenViewer(3));
    EXPECT_EQ(unit->GetScrollMode(), TChapterUnit::smVertical);
    EXPECT_EQ(unit->ViewImage->OffsetX(), 0);
    unit->ScrollVertical(100);
    EXPECT_EQ(unit->GetScrollPos(), 480);
    EXPECT_EQ(unit->ViewPos->OffsetY(), 49);

    WriteEventPicture(504, 640, 480);
    ASSERT_TRUE(unit->OpenViewer(4));
    EXPECT_EQ(unit->GetScrollMode(), TChapterUnit::smNone);
    EXPECT_FALSE(unit->ViewHorizon->Visible());
    EXPECT_FALSE(unit->ViewVertical->Visible());
    EXPECT_FALSE(unit->ViewPos->Visible());
}

TEST_F(ChapterSelect, MissingPicturesAreLoggedAndReleased)
{
    auto empty = std::make_unique<TChapterUnit>(nullptr);
    EXPECT_FALSE(empty->OpenViewer(0));
    WritePicture("ChapterBack.jpg", 640, 480);
    EXPECT_FALSE(empty->CreateResources(PackFileMan));
    EXPECT_FALSE(empty->ResourcesMade());
    EXPECT_EQ(empty->ListButton(0), nullptr);
    empty->SetMode(3);
    EXPECT_EQ(empty->MenuPanel->Image(), nullptr);
    EXPECT_TRUE(LogHas("VeRGBLoad "));
    empty.reset();

    auto unit = Open();
    WriteEventPicture(500, 1280, 480);
    ASSERT_TRUE(unit->OpenViewer(0));
    ASSERT_EQ(unit->GetScrollMode(), TChapterUnit::smHorizontal);
    const size_t lines = ErrLog->Count();
    // A missing picture shows nothing and no scroll bar, not the last picture's size.
    ASSERT_TRUE(unit->OpenViewer(7));
    EXPECT_GT(ErrLog->Count(), lines);
    EXPECT_EQ(unit->ViewImage->Image(), nullptr);
    EXPECT_EQ(unit->GetScrollMode(), TChapterUnit::smNone);
    unit->ReleaseResources();
    EXPECT_EQ(unit->MenuPanel->Image(), nullptr);
    EXPECT_EQ(unit->BtnReturn->Image(), nullptr);
}

}  // namespace
