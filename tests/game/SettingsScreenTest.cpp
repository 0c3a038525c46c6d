#include <fstream>
#include <memory>
#include <sstream>

#include "MenuTestKit.h"
#include "game/Pconfigmenu.h"

namespace {

class SettingsScreen : public MenuHarness {
protected:
    std::unique_ptr<TConfigMenu> Open()
    {
        WritePicture("CfgParts.png", 320, 300);
        WritePicture("CfgBack.png", 640, 480, 0x000000);
        WriteSounds();
        auto menu = std::make_unique<TConfigMenu>(nullptr);
        EXPECT_TRUE(menu->Setup(PackFileMan));
        return menu;
    }

    std::string Ini() const
    {
        std::ifstream in(Folder.Path() + "/ZB.INI");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SettingsScreen, ShowsTheCurrentValuesAndPlacesTheControls)
{
    Form->SetVolumeVoice(30);
    Form->SetVolumeBGM(150);  // out of range, as a hand-edited settings file may give
    MesBoxConfig->BoxColor = 0x102030;
    auto menu = Open();
    EXPECT_EQ(menu->NumASlideVV->Number(), 30);
    EXPECT_EQ(menu->NumASlideBV->Number(), 100);
    EXPECT_EQ(menu->PASliderBV->Tag, 100);
    EXPECT_EQ(menu->NumASlideRed->Number(), 0x10);
    EXPECT_EQ(menu->NumASlideBlue->Number(), 0x30);
    EXPECT_EQ(menu->PASliderVV->OffsetX(), 101);
    EXPECT_EQ(menu->PASliderVV->OffsetY(), 149);
    EXPECT_EQ(menu->PASliderVV->SizeX(), 157);
    EXPECT_EQ(menu->NumASlideRed->OffsetY(), 310);
    EXPECT_EQ(menu->NumASlideRed->SizeX(), 27);
    EXPECT_EQ(menu->BtnMovLow->OffsetX(), 514);
    EXPECT_EQ(menu->BtnExit->SizeY(), 55);
    ASSERT_NE(menu->ColorSample->Image(), nullptr);
    EXPECT_EQ(menu->ColorSample->Image()->PGet(27, 23), 0x102030u);
    EXPECT_TRUE(menu->BtnMFPSFull->Selected());
    EXPECT_TRUE(menu->BtnAMesWin1->Selected());

    // The right arrow at a clamped 100 does nothing; the left steps down from it.
    menu->BtnASlideBVRClick(menu->BtnASlideBVR);
    EXPECT_EQ(Form->GetVolumeBGM(), 150);
    menu->BtnASlideBVLClick(menu->BtnASlideBVL);
    EXPECT_EQ(Form->GetVolumeBGM(), 99);
    menu->Release();
    EXPECT_EQ(menu->ColorSample->Image(), nullptr);
    EXPECT_EQ(menu->PASliderVV->Image(), nullptr);
}

TEST_F(SettingsScreen, SlidersAndArrowsSetTheirValues)
{
    auto menu = Open();
    TVeRGBPanel* root = menu->ConfigPanel;
    // A press on the voice slider (screen 101 + X, row 150) sets the volume at once.
    for (auto [x, v] : {std::pair{0, 0}, {4, 0}, {78, 50}, {152, 100}, {300, 100}}) {
        menu->PASliderVVMouseDown(menu->PASliderVV, mbRight, TShiftState(), x, 5);
        EXPECT_EQ(Form->GetVolumeVoice(), v) << x;
    }
    root->MouseDown(mbLeft, TShiftState(ssLeft), 101 + 78, 155);
    root->MouseUp(mbLeft, TShiftState(), 101 + 78, 155);
    EXPECT_EQ(Form->GetVolumeVoice(), 50);
    EXPECT_EQ(menu->NumASlideVV->Number(), 50);

    // Moving changes the value only with the left button held.
    menu->PASliderSVMouseMove(menu->PASliderSV, TShiftState(), 4, 5);
    EXPECT_EQ(Form->GetVolumeSE(), 100);
    menu->PASliderSVMouseMove(menu->PASliderSV, TShiftState(ssLeft), 4, 5);
    EXPECT_EQ(Form->GetVolumeSE(), 0);
    menu->BtnASlideSVLClick(menu->BtnASlideSVL);
    EXPECT_EQ(Form->GetVolumeSE(), 0);
    Click(root, 258 + 8, 190 + 8);  // the effects row's right arrow
    EXPECT_EQ(Form->GetVolumeSE(), 1);
    EXPECT_EQ(TakeSound(), "");

    menu->PASliderGreenMouseDown(menu->PASliderGreen, mbLeft, TShiftState(ssLeft), 152, 5);
    EXPECT_EQ(MesBoxConfig->BoxColor.g, 255);
    EXPECT_EQ(menu->ColorSample->Image()->PGet(0, 0), MesBoxConfig->BoxColor.ToDWORD());
    menu->BtnASlideGreenRClick(menu->BtnASlideGreenR);
    EXPECT_EQ(MesBoxConfig->BoxColor.g, 255);
    menu->BtnASlideRedLClick(menu->BtnASlideRedL);
    EXPECT_EQ(MesBoxConfig->BoxColor.r, 0x3F);
}

TEST_F(SettingsScreen, KnobAndSampleDrawOnlyWhereTheyStand)
{
    auto menu = Open();
    MesBoxConfig->BoxColor = 0x000000;
    menu->PASliderRedMouseDown(menu->PASliderRed, mbLeft, TShiftState(ssLeft), 152, 5);
    TVeRGBBits target(nullptr);
    target.SetBitDepth(BitDepth);
    target.Resize(157, 19);
    target.Create();
    target.BoxFill(0, 0, 156, 18, 0xFFFFFF);
    EXPECT_TRUE(menu->ColorSliderDraw(menu->PASliderRed, &target, 0, 0, 0, 0, 157, 19));
    EXPECT_EQ(target.PGet(147, 10), 0xFFFFFFu);
    EXPECT_EQ(target.PGet(148, 10), 0x336699u);
    EXPECT_EQ(target.PGet(156, 18), 0x336699u);
    // Asked for a part left of the knob, nothing is drawn.
    target.BoxFill(0, 0, 156, 18, 0xFFFFFF);
    EXPECT_TRUE(menu->ColorSliderDraw(menu->PASliderRed, &target, 0, 0, 0, 0, 100, 19));
    EXPECT_EQ(target.PGet(148, 10), 0xFFFFFFu);

    // The sample is blended half over what lies beneath, and only where it has pixels.
    target.BoxFill(0, 0, 156, 18, 0xFFFFFF);
    EXPECT_TRUE(menu->ColorSampleDraw(menu->ColorSample, &target, 0, 0, 20, 10, 100, 100));
    const uint32_t half = target.PGet(0, 0);
    EXPECT_EQ(half >> 16, 0xFFu);
    EXPECT_NEAR(double((half >> 8) & 0xFF), 128.0, 1.0);
    EXPECT_EQ(target.PGet(7, 13), half);
    EXPECT_EQ(target.PGet(8, 0), 0xFFFFFFu);
    EXPECT_EQ(target.PGet(0, 14), 0xFFFFFFu);
}

TEST_F(SettingsScreen, FrameRateLimitsTheMovieQualityAndReachesTheIni)
{
    MesBoxConfig->MovieQuality = 2;
    auto menu = Open();
    Click(menu->ConfigPanel, 533 + 5, 148 + 5);  // 15 frames per second
    EXPECT_EQ(Form->GetFPSMode(), 0);
    EXPECT_EQ(TakeSound(), "btn_3.adp");
    EXPECT_EQ(MesBoxConfig->MovieQuality, 0);
    EXPECT_FALSE(menu->BtnMovHigh->Enabled());
    EXPECT_FALSE(menu->BtnMovNormal->Enabled());
    EXPECT_TRUE(menu->BtnMovLow->Selected());
    EXPECT_TRUE(menu->BtnMFPS15->Selected());
    EXPECT_NE(Ini().find("FPSMode"), std::string::npos);

    menu->BtnMFPSFullClick(menu->BtnMFPSFull);
    menu->BtnMovHighClick(menu->BtnMovHigh);
    menu->BtnMFPS30Click(menu->BtnMFPS30);
    EXPECT_EQ(MesBoxConfig->MovieQuality, 1);
    EXPECT_TRUE(menu->BtnMovNormal->Selected());
    EXPECT_FALSE(menu->BtnMovHigh->Enabled());

    Click(menu->ConfigPanel, 438 + 5, 248 + 5);
    EXPECT_EQ(MesBoxConfig->MesBoxType, 2);
    EXPECT_TRUE(menu->BtnAMesWin2->Selected());
    EXPECT_FALSE(menu->BtnAMesWin1->Selected());
}

TEST_F(SettingsScreen, StandardValuesKeepTheMovieQualityAndExitCallsTheOwner)
{
    auto menu = Open();
    menu->BtnMFPS15Click(menu->BtnMFPS15);
    ASSERT_EQ(MesBoxConfig->MovieQuality, 0);
    Form->SetVolumeVoice(5);
    MesBoxConfig->BoxColor = 0x123456;
    MesBoxConfig->MesBoxType = 0;
    Click(menu->ConfigPanel, 22 + 5, 389 + 5);
    EXPECT_EQ(Form->GetVolumeVoice(), 100);
    EXPECT_EQ(Form->GetVolumeBGM(), 70);
    EXPECT_EQ(Form->GetVolumeSE(), 100);
    EXPECT_EQ(MesBoxConfig->BoxColor.ToDWORD(), 0x404080u);
    EXPECT_EQ(MesBoxConfig->MesBoxType, 1);
    EXPECT_EQ(Form->GetFPSMode(), 2);
    EXPECT_EQ(MesBoxConfig->MovieQuality, 0);
    EXPECT_TRUE(menu->BtnMovHigh->Enabled());
    EXPECT_EQ(menu->NumASlideVV->Number(), 100);
    EXPECT_EQ(menu->NumASlideBlue->Number(), 0x80);

    int exits = 0;
    Click(menu->ConfigPanel, 476 + 5, 389 + 5);
    menu->SetOnExit([&] { ++exits; });
    Click(menu->ConfigPanel, 476 + 5, 389 + 5);
    EXPECT_EQ(exits, 1);
}

TEST_F(SettingsScreen, FailsWithoutItsSheet)
{
    auto menu = std::make_unique<TConfigMenu>(nullptr);
    EXPECT_FALSE(menu->Setup(PackFileMan));
    EXPECT_FALSE(menu->IsSetup());
    EXPECT_TRUE(LogHas("VeRGBLoad "));
    EXPECT_EQ(menu->ColorSample->Image(), nullptr);
}

}  // namespace
