#include <memory>

#include "MenuTestKit.h"
#include "game/Pmainmenu.h"

namespace {

class TitleMenu : public MenuHarness {
protected:
    void WriteTitlePictures()
    {
        WritePicture("TitleParts.png", 1300, 360);
        WritePicture("TitleBack.jpg", 640, 480);
        WritePicture("ExitFrame_wm.png", 208, 108);
        WritePicture("ExitYes_wm.png", 43, 110);
        WritePicture("ExitNo_wm.png", 43, 110);
        WriteSounds();
    }
};

TEST_F(TitleMenu, ButtonsStandInAColumnAndRaiseTheirSignals)
{
    WriteTitlePictures();
    SetSysOpenFlag(SysData, 0);
    auto menu = std::make_unique<TGameMenu>(nullptr);
    ASSERT_TRUE(menu->Setup(PackFileMan));
    menu->UpdateButtons();
    ASSERT_NE(menu->TitleMenu->Image(), nullptr);

    TVeRGBBtn* buttons[] = {menu->BtnStart, menu->BtnChapter, menu->BtnGallery, menu->BtnConfig, menu->BtnExit};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(buttons[i]->OffsetX(), 72);
        EXPECT_EQ(buttons[i]->OffsetY(), 140 + 60 * i);
        EXPECT_EQ(buttons[i]->SizeX(), 260);
        EXPECT_EQ(buttons[i]->SizeY(), 60);
        EXPECT_EQ(buttons[i]->NumBlock(), 6);
    }
    // Start, Chapter, Gallery, Config in screen order give 0, 1, 3, 2.
    const int expected[] = {0, 1, 3, 2};
    for (int i = 0; i < 4; ++i) {
        menu->MainMenuPanel->MouseMove(TShiftState(), 100, 140 + 60 * i + 30);
        EXPECT_EQ(TakeSound(), "btn_1.adp") << i;
        Click(menu->MainMenuPanel, 100, 140 + 60 * i + 30);
        EXPECT_EQ(TakeSignal(), expected[i]) << i;
        EXPECT_EQ(TakeSound(), "btn_3.adp") << i;
    }
    // The bottom edge of the last button is outside it.
    Click(menu->MainMenuPanel, 100, 440);
    EXPECT_EQ(TakeSignal(), INT_MIN);
    menu->Release();
    EXPECT_EQ(menu->TitleMenu->Image(), nullptr);
    EXPECT_EQ(menu->BtnStart->Image(), nullptr);
}

TEST_F(TitleMenu, GalleryIsOpenOnlyWithAnOpenFlagBelowTen)
{
    WriteTitlePictures();
    auto menu = std::make_unique<TGameMenu>(nullptr);
    ASSERT_TRUE(menu->Setup(PackFileMan));
    SetSysOpenFlag(SysData, 10);
    menu->UpdateButtons();
    EXPECT_FALSE(menu->BtnGallery->Enabled());
    EXPECT_EQ(menu->BtnGallery->BlockIndex(), 5);
    Click(menu->MainMenuPanel, 100, 290);
    EXPECT_EQ(TakeSignal(), INT_MIN);

    SetSysOpenFlag(SysData, 3);
    menu->UpdateButtons();
    EXPECT_TRUE(menu->BtnGallery->Enabled());
    Click(menu->MainMenuPanel, 100, 290);
    EXPECT_EQ(TakeSignal(), 3);
}

TEST_F(TitleMenu, ExitConfirmationDragsInsideTheScreenAndAnswers)
{
    WriteTitlePictures();
    auto menu = std::make_unique<TGameMenu>(nullptr);
    ASSERT_TRUE(menu->Setup(PackFileMan));
    Click(menu->MainMenuPanel, 100, 410);
    EXPECT_EQ(TakeSignal(), INT_MIN);
    ASSERT_TRUE(menu->ExitWin->Visible());
    TVeRGBPanel* frame = menu->ExitFrame;
    EXPECT_EQ(frame->OffsetX(), 216);
    EXPECT_EQ(frame->OffsetY(), 186);

    // Press on the frame and drag far to the left and down: it stops at the edges.
    TVeRGBPanel* root = menu->MainMenuPanel;
    root->MouseDown(mbLeft, TShiftState(ssLeft), 226, 196);
    root->MouseMove(TShiftState(ssLeft), -400, 900);
    EXPECT_EQ(frame->OffsetX(), 0);
    EXPECT_EQ(frame->OffsetY(), 372);
    root->MouseMove(TShiftState(ssLeft), 50, 900);
    EXPECT_EQ(frame->OffsetX(), 40);
    root->MouseUp(mbLeft, TShiftState(), 50, 900);
    root->MouseMove(TShiftState(), 300, 300);
    EXPECT_EQ(frame->OffsetX(), 40);

    // "No" hides it; opening again recentres it.
    Click(root, 40 + 136 + 5, 372 + 58 + 5);
    EXPECT_FALSE(menu->ExitWin->Visible());
    menu->BtnExitClick(menu->BtnExit);
    EXPECT_EQ(frame->OffsetX(), 216);
    EXPECT_EQ(frame->OffsetY(), 186);
    // The confirmation covers the title: the buttons beneath take no click.
    Click(root, 100, 170);
    EXPECT_EQ(TakeSignal(), INT_MIN);
    TakeSound();
    Click(root, 216 + 81 + 5, 186 + 58 + 5);
    EXPECT_EQ(TakeSignal(), 4);
    EXPECT_EQ(TakeSound(), "");
}

TEST_F(TitleMenu, MissingPicturesAreLoggedAndOnlyTheSheetIsRequired)
{
    auto menu = std::make_unique<TGameMenu>(nullptr);
    EXPECT_FALSE(menu->Setup(PackFileMan));
    EXPECT_FALSE(menu->IsSetup());
    EXPECT_TRUE(LogHas("VeRGBLoad "));

    WritePicture("TitleParts.png", 1300, 360);
    ASSERT_TRUE(menu->Setup(PackFileMan));
    EXPECT_EQ(menu->TitleMenu->Image(), nullptr);
    EXPECT_NE(menu->BtnStart->Image(), nullptr);
    Click(menu->MainMenuPanel, 100, 170);
    EXPECT_EQ(TakeSignal(), 0);
    // A second set-up replaces the first instead of stacking on it.
    ASSERT_TRUE(menu->Setup(PackFileMan));
    EXPECT_TRUE(menu->IsSetup());
}

}  // namespace
