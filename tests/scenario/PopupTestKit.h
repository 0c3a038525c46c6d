#pragma once
// The popups' test fixture: a folder of popup pictures whose pixels tell their row, the game's
// registry and error log, a set-up popup and a created screen panel to attach it to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "base/Vepicture.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "scenario/Popupu.h"
#include "support/ArchiveFixtures.h"

namespace popuptest {

// An opaque RGBA picture whose pixel in row y is red 0x20, green 0x40, blue y & 0xFF.
inline std::vector<uint8_t> RowPicture(int w, int h)
{
    TDecodedPicture p;
    p.Width = w;
    p.Height = h;
    p.Pixels.resize(size_t(w) * h * 3);
    p.Alpha.assign(size_t(w) * h, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* q = &p.Pixels[(size_t(y) * w + x) * 3];
            q[0] = uint8_t(y);
            q[1] = 0x40;
            q[2] = 0x20;
        }
    std::vector<uint8_t> bytes;
    EncodePng(bytes, p);
    return bytes;
}

struct TPictureSize {
    const char* Name;
    int Width;
    int Height;
};

inline const std::vector<TPictureSize>& PopupPictures()
{
    static const std::vector<TPictureSize> list = {
        {"MesNextBtn_wm.png", 22, 154}, {"MesWin1_wm.png", 560, 146},   {"MesWin2_wm.png", 560, 146},
        {"MesHide_wm.png", 15, 60},     {"MesSkip_wm.png", 15, 60},     {"SelFrame_wm.png", 550, 136},
        {"SelCursor_wm.png", 500, 28},  {"MenuFrame_wm.png", 170, 160}, {"ExitFrame_wm.png", 208, 108},
        {"ExitYes_wm.png", 43, 110},    {"ExitNo_wm.png", 43, 110},     {"Menu01_wm.png", 122, 180},
        {"Menu02_wm.png", 122, 180},    {"Menu03_wm.png", 122, 180},    {"Menu04_wm.png", 122, 180},
        {"Menu05_wm.png", 122, 180},    {"Menu06_wm.png", 122, 180}};
    return list;
}

class TPopupFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZbdataStart();
        MemMan = new TMemMan(nullptr);
        BitDepth = bd24;
        if (WithPictures())
            for (const TPictureSize& p : PopupPictures())
                Folder.Write(p.Name, RowPicture(p.Width, p.Height));
        Files.InitDir(Folder.Path());
        Screen.Create();
        Target.Resize(640, 480);
        Target.Create();
        Popup = new TPopupWin(nullptr);
    }
    void TearDown() override
    {
        delete Popup;
        EXPECT_EQ(MemMan->Count(), 0) << "objects left in the registry";
        delete MemMan;
        MemMan = nullptr;
        ZbdataFinish();
    }
    virtual bool WithPictures() const { return true; }

    // Redraws the whole screen on black.
    void DrawScreen()
    {
        Target.Cls();
        Screen.Draw(&Target);
    }
    uint32_t At(int x, int y) { return Target.PGet(x, y); }
    void Click(TMouseButton button, int x, int y)
    {
        Screen.MouseDown(button, TShiftState(), x, y);
        Screen.MouseUp(button, TShiftState(), x, y);
    }

    TScratchFolder Folder;
    TFileMan Files{nullptr};
    TVeRGBPanel Screen{nullptr};
    TVeRGBBits Target{nullptr};
    TPopupWin* Popup = nullptr;
};

}  // namespace popuptest
