// The message window: line layout of double-byte text, colours, frame types, the opening and
// closing band, the text fade and the click callbacks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Vealpha.h"
#include "platform/Codepage.h"
#include "scenario/PopupTestKit.h"

using popuptest::TPopupFixture;

namespace {

const std::string Kana = "\x82\xA0";   // a double-byte character in both code pages
const std::string Trailish = "\x88\x9F";  // trail byte inside the lead range

// The same characters in each code page the message text may be written in.
struct TPageText {
    int CodePage;
    std::string Maru;   // "。", a closing mark: may hang past a full line
    std::string Kagi;   // "」", another closing mark
    std::string Kanji;  // an ordinary character
    std::string Other;  // the other page's "。": an ordinary character here, or two single bytes
    std::vector<std::string> Marks;  // ，．？！, which end sentences but do not hang
};
const TPageText PageTexts[] = {
    {936, "\xA1\xA3", "\xA1\xB9", "\xD6\xD0", "\x81\x42", {"\xA3\xAC", "\xA3\xAE", "\xA3\xBF", "\xA3\xA1"}},
    {932, "\x81\x42", "\x81\x76", "\x8A\xBF", "\xA1\xA3", {"\x81\x43", "\x81\x44", "\x81\x48", "\x81\x49"}},
};

std::string Repeat(const std::string& s, int n)
{
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

using TLines = std::array<std::string, TPopupWin::MesLines>;

}  // namespace

TEST(PopupLayout, BreaksLongLinesAtFortyEightColumns)
{
    const std::string a60(60, 'a');
    EXPECT_EQ(TPopupWin::LayoutMesLines(a60 + "\nB\nC\nD"),
              (TLines{std::string(49, 'a'), std::string(11, 'a'), "B", "C"}));

    // 24 double-byte characters fill the line; a closing mark of the text's own code page may
    // hang, anything else moves on.
    for (const TPageText& page : PageTexts) {
        SCOPED_TRACE(page.CodePage);
        SetSystemCodePage(page.CodePage);
        const std::string full = Repeat(page.Kanji, 24);
        EXPECT_EQ(TPopupWin::LayoutMesLines(full + page.Maru), (TLines{full + page.Maru, "", "", ""}));
        EXPECT_EQ(TPopupWin::LayoutMesLines(full + page.Maru + "x"), (TLines{full + page.Maru, "x", "", ""}));
        EXPECT_EQ(TPopupWin::LayoutMesLines(full + page.Kagi + page.Kanji), (TLines{full + page.Kagi, page.Kanji, "", ""}));
        EXPECT_EQ(TPopupWin::LayoutMesLines(full + page.Kanji + "x"), (TLines{full, page.Kanji + "x", "", ""}));
        for (const std::string& mark : page.Marks)
            EXPECT_EQ(TPopupWin::LayoutMesLines(full + mark + "x"), (TLines{full, mark + "x", "", ""}));
        // A character starting in column 47 still fits and ends the line one column wide.
        EXPECT_EQ(TPopupWin::LayoutMesLines("a" + full + "b"), (TLines{"a" + full, "b", "", ""}));
    }
    SetSystemCodePage(936);
    const std::string full = Repeat(PageTexts[0].Kanji, 24);
    EXPECT_EQ(TPopupWin::LayoutMesLines(full + PageTexts[0].Other + "x"), (TLines{full, PageTexts[0].Other + "x", "", ""}));

    // Wait escapes and a lone backslash take no columns; the byte after a lone one does.
    const std::string a49(49, 'a');
    EXPECT_EQ(TPopupWin::LayoutMesLines("\\w30" + a49)[0], "\\w30" + a49);
    EXPECT_EQ(TPopupWin::LayoutMesLines("\\w30" + a49 + "z"), (TLines{"\\w30" + a49, "z", "", ""}));
    EXPECT_EQ(TPopupWin::LayoutMesLines("\\" + a49 + "z"), (TLines{"\\" + a49, "z", "", ""}));

    // The fourth line's rest has nowhere to go.
    EXPECT_EQ(TPopupWin::LayoutMesLines("1\n2\n3\n" + a60), (TLines{"1", "2", "3", a49}));
    // A long line pushes its rest through the following ones.
    EXPECT_EQ(TPopupWin::LayoutMesLines(a60 + "\n" + a60), (TLines{a49, std::string(11, 'a'), a49, "aaaaaaaaaaa"}));
}

TEST(PopupLayout, LeadBytesAtTheEndAreNeverSplitNorOverrun)
{
    const std::string lone = "\x82";
    EXPECT_EQ(TPopupWin::LayoutMesLines(std::string(48, 'a') + lone)[0], std::string(48, 'a') + lone);
    EXPECT_EQ(TPopupWin::LayoutMesLines(std::string(47, 'a') + lone)[0], std::string(47, 'a') + lone);
    EXPECT_EQ(TPopupWin::LayoutMesLines(std::string(49, 'a') + lone), (TLines{std::string(49, 'a'), lone, "", ""}));
    EXPECT_FALSE(TPopupWin::IsKinsoku(lone, 0));
    EXPECT_FALSE(TPopupWin::IsKinsoku("a\x81", 1));

    EXPECT_EQ(ByteType(Trailish + Trailish, 2), mbTrailByte);
    EXPECT_EQ(ByteType(Trailish + Trailish, 3), mbLeadByte);

    // Mixed text of every shape: lines join back to the text and never start on a trail byte.
    for (int shift = 0; shift < 7; ++shift) {
        std::string text = std::string(size_t(shift), 'x');
        for (int i = 0; i < 40; ++i)
            text += (i * 7 + shift) % 3 ? Trailish : (i % 5 ? "y" : PageTexts[0].Maru);
        const TLines lines = TPopupWin::LayoutMesLines(text.substr(0, 150));
        std::string joined;
        for (const std::string& l : lines) {
            EXPECT_LE(l.size(), 50u);
            joined += l;
        }
        ASSERT_EQ(joined, text.substr(0, joined.size())) << shift;
        size_t at = 0;
        for (const std::string& l : lines) {
            if (!l.empty()) {
                EXPECT_NE(ByteType(text, at + 1), mbTrailByte) << shift << " at " << at;
            }
            at += l.size();
        }
    }
}

TEST(PopupLayout, ChoiceLinesAreCutWithoutSplittingCharacters)
{
    EXPECT_EQ(TPopupWin::CutSelLine(std::string(60, 'a')), std::string(49, 'a'));
    const std::string a48(48, 'a');
    for (const TPageText& page : PageTexts) {
        SCOPED_TRACE(page.CodePage);
        SetSystemCodePage(page.CodePage);
        // A closing mark whose lead byte is byte 49 keeps the line at 50 bytes.
        EXPECT_EQ(TPopupWin::CutSelLine(a48 + page.Maru + "bc"), a48 + page.Maru);
        EXPECT_EQ(TPopupWin::CutSelLine(a48 + page.Kagi + "bc"), a48 + page.Kagi);
        EXPECT_EQ(TPopupWin::CutSelLine(a48 + page.Kanji + "bc"), a48);
        for (const std::string& mark : page.Marks)
            EXPECT_EQ(TPopupWin::CutSelLine(a48 + mark + "bc"), a48);
        EXPECT_EQ(TPopupWin::CutSelLine(std::string(47, 'a') + page.Kanji + "bc"), std::string(47, 'a') + page.Kanji);
    }
    SetSystemCodePage(936);
    EXPECT_EQ(TPopupWin::CutSelLine(a48 + PageTexts[0].Other + "bc"), a48);
    SetSystemCodePage(932);
    EXPECT_EQ(TPopupWin::CutSelLine(a48 + PageTexts[1].Other + "bc"), a48 + "\xA1");  // single bytes there
    SetSystemCodePage(936);
}

TEST_F(TPopupFixture, SetupBuildsTheWindowAndFrameTypesSwapPictures)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    EXPECT_EQ(ErrLog->Count(), 0u);
    EXPECT_TRUE(Popup->MesTextMaker->BuffersMade());
    EXPECT_EQ(Popup->MesText->Image()->PGet(0, 0), 0xFFFFFFu);  // light text on the default box
    EXPECT_EQ(Popup->MesBox->Image()->PGet(3, 3), 0x404080u);
    EXPECT_EQ(Popup->NextIcon->SizeY(), 22);
    EXPECT_EQ(Popup->LookBtn->OffsetX(), 537);

    // Text colour by the box's brightness (red + green + blue against 480), and under the tint.
    Popup->SetMesBoxColor(0xA0A0A0);
    EXPECT_EQ(Popup->MesText->Image()->PGet(0, 0), 0x000000u);
    Popup->SetReadTint(1);
    EXPECT_EQ(Popup->MesText->Image()->PGet(0, 0), 0x404080u);
    Popup->SetMesBoxColor(0xA19F9F);
    EXPECT_EQ(Popup->MesText->Image()->PGet(0, 0), 0xD0D0FFu);
    Popup->SetReadTint(0);
    EXPECT_EQ(Popup->MesText->Image()->PGet(0, 0), 0xFFFFFFu);

    Popup->SetMesWinType(2);
    EXPECT_EQ(Popup->SkipBtn->OffsetX(), 526);
    EXPECT_TRUE(Popup->MesFrame->Visible());
    Popup->SetMesWinType(0);
    EXPECT_FALSE(Popup->MesFrame->Visible());
    EXPECT_EQ(Popup->MesFrame->Image(), nullptr);
    EXPECT_TRUE(Popup->MesBox->Visible());
    EXPECT_EQ(ErrLog->Count(), 0u);

    // Set up twice and released twice without leaks (the fixture checks the registry).
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->Release();
    Popup->Release();
}

TEST_F(TPopupFixture, OpeningAndClosingTakeFourFramesWithAGrowingBand)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->SetMesWinType(0);
    Popup->SetMesBoxColor(0x808080);
    Popup->AttachMesWin(&Screen);
    // Box rows drawn, seen at a column left of the text.
    auto boxRows = [&] {
        DrawScreen();
        std::string rows;
        int first = -1, last = -1;
        for (int r = 0; r < 116; ++r)
            if (At(42 + 14 + 5, 330 + 17 + r) != 0) {
                if (first < 0)
                    first = r;
                last = r;
            }
        return first < 0 ? std::string("none") : std::to_string(first) + "-" + std::to_string(last);
    };

    Popup->OpenMesWin(false);
    EXPECT_EQ(boxRows(), "none");
    for (const char* rows : {"48-67", "36-79", "24-91"}) {
        EXPECT_FALSE(Popup->UpdateMesWin(false));
        EXPECT_FALSE(Popup->MesText->Visible());
        EXPECT_EQ(boxRows(), rows);
    }
    EXPECT_TRUE(Popup->UpdateMesWin(false));
    EXPECT_TRUE(Popup->MesText->Visible());
    EXPECT_TRUE(Popup->LookBtn->Visible());
    EXPECT_EQ(boxRows(), "0-115");
    EXPECT_TRUE(Popup->UpdateMesWin(false));

    Popup->CloseMesWin(false);
    for (const char* rows : {"12-103", "24-91", "36-79", "48-67"}) {
        EXPECT_EQ(boxRows(), rows);
        EXPECT_EQ(Popup->UpdateMesWin(false), std::string(rows) == "48-67");
    }
    EXPECT_FALSE(Popup->MesWin->Visible());
    EXPECT_TRUE(Popup->MesText->Visible());

    // Finishing ends an animation in one call.
    Popup->OpenMesWin(false);
    EXPECT_TRUE(Popup->UpdateMesWin(true));
    EXPECT_TRUE(Popup->SkipBtn->Visible());

    // An immediate close during an opening does not let the opening come back later.
    Popup->OpenMesWin(false);
    Popup->UpdateMesWin(false);
    Popup->CloseMesWin(true);
    EXPECT_TRUE(Popup->UpdateMesWin(false));
    EXPECT_FALSE(Popup->MesWin->Visible());
}

TEST_F(TPopupFixture, TheFrameKeepsItsEdgesAtTheBandEdges)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->AttachMesWin(&Screen);
    Popup->OpenMesWin(false);
    Popup->UpdateMesWin(false);  // three frames left: rows 48 to 97 of the window
    DrawScreen();
    const int x = 42 + 5;
    auto pictureRow = [&](int y) { return At(x, 330 + y) == 0 ? -1 : int(At(x, 330 + y) & 0xFF); };
    // Upper half from the same rows, lower half from the picture's last rows, nothing outside.
    for (auto [y, row] : {std::pair{47, -1}, {48, 48}, {72, 72}, {73, 121}, {97, 145}, {98, -1}})
        EXPECT_EQ(pictureRow(y), row) << y;

    // A partial redraw of the lower half shows the same rows as the whole band did.
    Target.Cls();
    Screen.Draw(&Target, 0, 0, x, 330 + 90, 1, 5);
    EXPECT_EQ(pictureRow(90), 138);

    Popup->UpdateMesWin(true);
    DrawScreen();
    EXPECT_EQ(pictureRow(0), 0);
    EXPECT_EQ(pictureRow(145), 145);
}

TEST_F(TPopupFixture, TextFadesInEightStepsAfterTheWindowOpens)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->AttachMesWin(&Screen);
    Popup->OpenMesWin(true);
    TVeAlpha* shown = Popup->MesText->Alpha();

    auto startFade = [&] {
        Popup->FadeMesText("a");
        Popup->OldTextAlpha()->Fill(0);
        Popup->NewTextAlpha()->Fill(255);
    };
    startFade();
    EXPECT_EQ(Popup->MesAnimeState(), 3);
    for (int step = 1; step <= 8; ++step) {
        EXPECT_EQ(Popup->UpdateMesWin(false), step == 8);
        EXPECT_EQ(shown->PGet(100, 40), 255 * (64 + 8 * step) / 128) << step;
    }
    EXPECT_TRUE(Popup->UpdateMesWin(false));

    // While the window opens the fade waits, then runs its own eight steps.
    Popup->CloseMesWin(true);
    Popup->OpenMesWin(false);
    startFade();
    for (int frame = 0; frame < 4; ++frame)
        EXPECT_FALSE(Popup->UpdateMesWin(false));
    EXPECT_EQ(Popup->MesAnimeState(), 3);
    EXPECT_EQ(shown->PGet(100, 40), 255);  // still the previous text
    for (int step = 1; step <= 8; ++step)
        EXPECT_EQ(Popup->UpdateMesWin(false), step == 8);

    // The end of a closing completes a pending fade; a text set at once cancels one.
    Popup->CloseMesWin(false);
    startFade();
    Popup->OldTextAlpha()->Fill(9);
    Popup->NewTextAlpha()->Fill(77);
    EXPECT_TRUE(Popup->UpdateMesWin(true));
    EXPECT_EQ(shown->PGet(0, 0), 77);
    startFade();
    Popup->ClearMesText();
    EXPECT_TRUE(Popup->UpdateMesWin(false));
    EXPECT_EQ(shown->PGet(100, 40), 0);
}

TEST_F(TPopupFixture, TextIsLaidOutLineByLineFromTheTextMaker)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    const std::string text = std::string(60, 'M') + "\n" + Kana + Kana;
    Popup->SetMesText(text);

    TVeAlpha expected(nullptr);
    expected.Resize(490, 89);
    expected.Create();
    const TLines lines = TPopupWin::LayoutMesLines(text);
    for (int i = 0; i < 3; ++i) {
        Popup->MesTextMaker->SetText(lines[size_t(i)]);
        expected.Draw(0, 23 * i, Popup->MesTextMaker->AlphaPlane(), 0, 0, 490, 20);
    }
    TVeAlpha* got = Popup->MesText->Alpha();
    int inked = 0;
    for (int y = 0; y < 89; ++y)
        for (int x = 0; x < 490; ++x) {
            ASSERT_EQ(got->PGet(x, y), expected.PGet(x, y)) << x << "," << y;
            inked += got->PGet(x, y) != 0;
        }
    if (Popup->MesTextMaker->FontHandle()) {
        EXPECT_GT(inked, 0);
    }
}

TEST_F(TPopupFixture, ClicksReachOnlyTheirCallbacks)
{
    ASSERT_TRUE(Popup->Setup(&Files));
    Popup->AttachMesWin(&Screen);
    Popup->OpenMesWin(true);
    std::string log;
    Popup->SetOnMesClick([&] { log += "click "; });
    Popup->SetOnMesRightClick([&] { log += "right "; });
    Popup->SetOnLook([&] { log += "look "; });
    Popup->SetOnSkip([&] { log += "skip "; });
    Click(mbRight, 42 + 100, 330 + 60);  // on the box
    Click(mbRight, 42 + 2, 330 + 2);     // on the frame
    Click(mbMiddle, 42 + 100, 330 + 60);
    Click(mbLeft, 42 + 100, 330 + 60);
    Click(mbLeft, 42 + 537 + 3, 330 + 107 + 3);
    Click(mbLeft, 42 + 525 + 3, 330 + 123 + 3);
    EXPECT_EQ(log, "right right click look skip ");

    Popup->SetOnMesClick(nullptr);
    Click(mbLeft, 42 + 100, 330 + 60);
    EXPECT_EQ(log, "right right click look skip ");
}
