// The choice window, the in-game menu, the exit confirmation, and popups without pictures.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "scenario/PopupTestKit.h"

using popuptest::TPopupFixture;

namespace {

// Screen position of a point of the choice window.
constexpr int SelX = 46;
constexpr int SelY = 152;

}  // namespace

TEST_F(TPopupFixture, ChoicesFollowTheMouseAndAreTakenOnlyWhenOpen)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->AttachSelWin(&Screen);
    EXPECT_EQ(Popup->SetSelText("one\n\nthree"), 1);
    EXPECT_EQ(Popup->SetSelText("one\ntwo"), 2);
    Popup->SetSelCursor(0);
    int selected = 0, right = 0;
    Popup->SetOnSelect([&] { ++selected; });
    Popup->SetOnSelRightClick([&] { ++right; });

    Popup->OpenSelWin();
    EXPECT_FALSE(Popup->SelCur->Visible());
    // The frame opens as a band from the middle: three frames left cut 45 rows off each end.
    Popup->UpdateSelWin();
    DrawScreen();
    auto pictureRow = [&](int y) { return At(SelX + 3, SelY + y) == 0 ? -1 : int(At(SelX + 3, SelY + y) & 0xFF); };
    for (auto [y, row] : {std::pair{44, -1}, {45, 45}, {68, 113}, {90, 135}, {91, -1}})
        EXPECT_EQ(pictureRow(y), row) << y;
    // A press while the window opens only moves the cursor.
    Click(mbLeft, SelX + 100, SelY + 60);
    EXPECT_EQ(Popup->GetSelIndex(), 1);
    EXPECT_EQ(Popup->SelCur->OffsetY(), 24 + 29);
    EXPECT_EQ(selected, 0);
    for (int frame = 2; frame <= 4; ++frame)
        EXPECT_EQ(Popup->UpdateSelWin(), frame == 4);
    EXPECT_FALSE(Popup->UpdateSelWin());  // idle: nothing ended
    EXPECT_TRUE(Popup->SelCur->Visible());
    EXPECT_TRUE(Popup->SelText->Visible());

    Screen.MouseMove(TShiftState(), SelX + 30, SelY + 30);
    EXPECT_EQ(Popup->GetSelIndex(), 0);
    Screen.MouseMove(TShiftState(), SelX + 30, SelY + 90);  // third row: no such line
    Screen.MouseMove(TShiftState(), SelX + 530, SelY + 60);  // right of the rows
    EXPECT_EQ(Popup->GetSelIndex(), 0);
    Click(mbLeft, SelX + 100, SelY + 90);
    EXPECT_EQ(selected, 0);
    Click(mbLeft, SelX + 100, SelY + 53);
    EXPECT_EQ(Popup->GetSelIndex(), 1);
    EXPECT_EQ(selected, 1);
    Click(mbRight, SelX + 100, SelY + 60);
    EXPECT_EQ(right, 1);

    Popup->SelCursorDown();
    EXPECT_EQ(Popup->GetSelIndex(), 1);
    Popup->SelCursorUp();
    Popup->SelCursorUp();
    EXPECT_EQ(Popup->GetSelIndex(), 0);
    // The index never names a line that is not there.
    Popup->SetSelCursor(7);
    EXPECT_EQ(Popup->GetSelIndex(), 1);
    Popup->SetSelCursor(-3);
    EXPECT_EQ(Popup->GetSelIndex(), 0);
    Popup->SetSelCursor(1);
    EXPECT_EQ(Popup->SetSelText("only"), 1);
    EXPECT_EQ(Popup->GetSelIndex(), 0);

    Popup->CloseSelWin();
    for (int frame = 1; frame <= 4; ++frame)
        EXPECT_EQ(Popup->UpdateSelWin(), frame == 4);
    EXPECT_FALSE(Popup->SelWin->Visible());
}

TEST_F(TPopupFixture, MenuOpensAndClosesInPairsAndReportsTheButton)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->AttachMenuWin(&Screen);
    EXPECT_FALSE(Popup->MenuWin->Visible());
    int calls = 0;
    Popup->SetOnMenu([&] { ++calls; });

    auto shown = [&] {
        std::string s;
        for (int i = 0; i < 6; ++i)
            s += Popup->MenuButton(i)->Visible() ? '1' : '0';
        return s;
    };
    // Height of the frame drawn, seen at a column left of the buttons.
    auto frameHeight = [&] {
        DrawScreen();
        int h = 0;
        while (h < 170 && At(235 + 5, 121 + h) != 0)
            ++h;
        return h;
    };
    Popup->OpenMenu();
    EXPECT_EQ(shown(), "000000");
    EXPECT_EQ(frameHeight(), 40);
    // The frame grows 40 rows a step with the pairs of buttons; true on the third step.
    const std::tuple<bool, const char*, int> opening[] = {
        {false, "110000", 80}, {false, "111100", 120}, {true, "111111", 160}};
    for (auto [done, buttons, height] : opening) {
        EXPECT_EQ(Popup->UpdateMenu(), done);
        EXPECT_EQ(shown(), buttons);
        EXPECT_EQ(frameHeight(), height);
    }
    EXPECT_EQ(At(235 + 5, 121 + 159) & 0xFF, 159u);
    EXPECT_TRUE(Popup->UpdateMenu());

    Click(mbLeft, 235 + 24 + 10, 121 + 27 + 20 * 3 + 5);
    EXPECT_EQ(Popup->GetMenuIndex(), 3);
    EXPECT_EQ(calls, 1);
    Popup->SetMenuBtnEnabled(3, false);
    Popup->SetMenuBtnEnabled(6, false);
    Popup->SetMenuBtnEnabled(-1, false);
    Click(mbLeft, 235 + 24 + 10, 121 + 27 + 20 * 3 + 5);
    EXPECT_EQ(calls, 1);
    // A right click anywhere cancels, once.
    Click(mbRight, 235 + 24 + 10, 121 + 27 + 5);
    EXPECT_EQ(Popup->GetMenuIndex(), -1);
    Click(mbRight, 10, 10);
    EXPECT_EQ(calls, 3);

    Popup->CloseMenu();
    for (auto [done, buttons] : {std::pair{false, "111100"}, {false, "110000"}, {true, "000000"}}) {
        EXPECT_EQ(Popup->UpdateMenu(), done);
        EXPECT_EQ(shown(), buttons);
    }
    EXPECT_FALSE(Popup->MenuWin->Visible());
}

TEST_F(TPopupFixture, ExitConfirmationIsCentredAndAnswersOnce)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->ExitFrame->SetOffsetX(0);
    int calls = 0;
    // The owner's handler hides the confirmation and clears itself while it runs.
    Popup->SetOnExitConfirm([&] {
        ++calls;
        Popup->HideExitConfirm();
        Popup->SetOnExitConfirm(nullptr);
    });
    Popup->ShowExitConfirm(&Screen);
    EXPECT_EQ(Popup->ExitFrame->OffsetX(), 216);
    EXPECT_EQ(Popup->ExitFrame->OffsetY(), 186);
    Click(mbLeft, 216 + 81 + 5, 186 + 58 + 5);
    EXPECT_TRUE(Popup->GetExitConfirmResult());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Popup->ExitWin->Parent(), nullptr);

    Popup->ShowExitConfirm(&Screen);
    EXPECT_FALSE(Popup->GetExitConfirmResult());
    Click(mbLeft, 216 + 136 + 5, 186 + 58 + 5);
    EXPECT_FALSE(Popup->GetExitConfirmResult());
    EXPECT_EQ(calls, 1);
}

class TPopupWithoutPictures : public TPopupFixture {
protected:
    bool WithPictures() const override { return false; }
};

TEST_F(TPopupWithoutPictures, MissingPicturesAreLoggedAndEverythingStillRuns)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    // Every picture of the default frame type and of the other popups: its name, then the line.
    EXPECT_EQ(ErrLog->Count(), 32u);
    for (size_t i = 0; i < ErrLog->Count(); i += 2) {
        EXPECT_EQ(ErrLog->Line(i).rfind("VeRGBLoad [", 0), 0u) << ErrLog->Line(i);
        EXPECT_EQ(ErrLog->Line(i + 1), "VeRGBLoad FileOpen Error");
    }
    Popup->SetMesWinType(2);
    EXPECT_EQ(ErrLog->Count(), 38u);

    Popup->AttachMesWin(&Screen);
    Popup->AttachSelWin(&Screen);
    Popup->AttachMenuWin(&Screen);
    Popup->ShowExitConfirm(&Screen);
    EXPECT_EQ(Popup->ExitFrame->OffsetX(), 216);
    Popup->OpenMesWin(false);
    Popup->FadeMesText("text");
    Popup->OpenSelWin();
    Popup->SetSelText("a\nb");
    Popup->OpenMenu();
    for (int frame = 0; frame < 12; ++frame) {
        Popup->UpdateMesWin(false);
        Popup->UpdateSelWin();
        Popup->UpdateMenu();
        DrawScreen();
    }
    EXPECT_EQ(Popup->MesAnimeState(), 0);
    // Without a file manager the set-up still stands; the registry check covers the release.
    EXPECT_TRUE(Popup->Setup(nullptr));
}

TEST(PopupSetup, FailsCleanlyWithoutTheRegistry)
{
    ZbdataStart();
    TPopupWin popup(nullptr);
    EXPECT_FALSE(popup.Setup(nullptr));
    EXPECT_FALSE(popup.IsSetUp());
    // Everything still answers without pictures or planes.
    popup.SetMesText("text");
    popup.FadeMesText("text");
    EXPECT_FALSE(popup.UpdateMesWin(false));
    EXPECT_EQ(popup.SetSelText("a\nb"), 2);
    ZbdataFinish();
}
