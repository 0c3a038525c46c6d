#include <gtest/gtest.h>

#include "PanelTestKit.h"
#include "panels/Vepanel.h"

namespace {

constexpr uint32_t Old = 0x0A0B0C;  // what the window held before the repaint

struct TWindow {
    TComponent Owner{nullptr};
    TVePanel* Panel = new TVePanel(&Owner);
    TVeRGBBits* Canvas = paneltest::MakeTarget(&Owner, 40, 30);
    TWindow()
    {
        Panel->Width = 40;
        Panel->Height = 30;
        Panel->Color = 0x332211;  // shows as 0x112233
        Canvas->BoxFill(0, 0, 39, 29, Old);
    }
    void Repaint()
    {
        TWMEraseBkgnd erase;
        erase.Canvas = Canvas;
        Panel->WMEraseBkgnd(erase);
        EXPECT_EQ(erase.Result, 1);
        TWMPaint paint;
        paint.Canvas = Canvas;
        Panel->WMPaint(paint);
    }
    int Count(uint32_t colour) const
    {
        int n = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                n += Canvas->PGet(x, y) == colour;
        return n;
    }
};

}  // namespace

TEST(WindowPanel, UnerasedRepaintDrawsOnlyTheBevels)
{
    TWindow w;
    w.Repaint();
    EXPECT_EQ(w.Count(Old), 40 * 30);  // no bevel by default
    w.Panel->BevelOuter = bvRaised;
    w.Panel->BevelInner = bvLowered;
    w.Panel->Caption = "WW";
    w.Repaint();
    EXPECT_EQ(w.Canvas->PGet(0, 0), 0xFFFFFFu);
    EXPECT_EQ(w.Canvas->PGet(39, 29), 0x808080u);
    EXPECT_EQ(w.Canvas->PGet(1, 1), 0x808080u);
    EXPECT_EQ(w.Count(Old), 36 * 26);

    // A user handler replaces all of it unless it asks for the default painting.
    int calls = 0;
    w.Canvas->BoxFill(0, 0, 39, 29, Old);
    w.Panel->OnUserPaint = [&](TObject* sender, TWMPaint&) { calls += sender == w.Panel; };
    w.Repaint();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(w.Count(Old), 40 * 30);
    w.Panel->OnUserPaint = [&](TObject*, TWMPaint& m) { w.Panel->DefaultPaintHandler(m); };
    w.Repaint();
    EXPECT_EQ(w.Count(Old), 36 * 26);
}

TEST(WindowPanel, ErasedRepaintFillsAndCentresTheCaption)
{
    TWindow w;
    w.Panel->SetEraseBkGnd(true);
    w.Panel->SetEraseBkGnd(true);
    EXPECT_EQ(w.Panel->InvalidateCount(), 1);
    w.Panel->Caption = "W";
    w.Panel->Font->Name = "Noto Sans Mono CJK JP";
    w.Panel->Font->Color = 0x0000FF;  // red
    w.Repaint();
    int minX = 40, maxX = -1, minY = 30, maxY = -1;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t c = w.Canvas->PGet(x, y);
            ASSERT_TRUE(c == 0x112233 || c == 0xFF0000) << x << "," << y;
            if (c == 0xFF0000)
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
    // One 6 x 12 cell at ((40 - 6) / 2, (30 - 12) / 2).
    EXPECT_GE(minX, 17);
    EXPECT_LT(maxX, 23);
    EXPECT_GE(minY, 9);
    EXPECT_LT(maxY, 21);

    // A caption wider than the inside stays inside the bevel.
    w.Panel->BevelOuter = bvRaised;
    w.Panel->Alignment = taRightJustify;
    w.Panel->Caption = std::string(20, 'W');
    w.Repaint();
    EXPECT_EQ(w.Canvas->PGet(0, 15), 0xFFFFFFu);
    EXPECT_EQ(w.Canvas->PGet(39, 15), 0x808080u);
}
