// The picture loaders of the game helpers: the kind by extension, each decoder, the alpha plane,
// the panels and parts sheets, and the exact log line of every failure, with nothing left
// behind in the object registry.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Vememman.h"
#include "base/Vepicture.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"
#include "panels/Vergbparts.h"
#include "support/ArchiveFixtures.h"
#include "support/Pictures.h"

namespace {

std::vector<uint8_t> Png(const TDecodedPicture& p)
{
    std::vector<uint8_t> bytes;
    EncodePng(bytes, p);
    return bytes;
}

std::vector<uint8_t> Gny(const TDecodedPicture& p)
{
    TMemoryStream s;
    EncodeGny(&s, GnyBuiltinKeyTable.data(), p);
    return std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

// (r << 16 | g << 8 | b) of the pattern picture's pixel.
uint32_t Expected(const TDecodedPicture& p, int x, int y)
{
    const uint8_t* q = &p.Pixels[size_t(y * p.Width + x) * 3];
    return uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
}

class GameLoad : public ::testing::TestWithParam<TBitDepth> {
protected:
    void SetUp() override
    {
        ZbdataStart();
        MemMan = new TMemMan(nullptr);
        BitDepth = GetParam();
        Folder.Write("pic.bmp", MakeBmp(Picture, TBmpKind::Rgb24));
        Folder.Write("pic.jpg", MakeJpeg(Picture, 95));
        Folder.Write("pic.png", Png(Picture));
        Folder.Write("PIC2.PNG", Png(Picture));
        Folder.Write("rgba.png", Png(Translucent));
        Folder.Write("pic.lzh", Gny(Picture));
        Folder.Write("pic.jpeg", MakeJpeg(Picture, 95));
        Folder.Write("noext", MakeBmp(Picture, TBmpKind::Rgb24));
        Folder.Write("bad.png", std::string("\x89PNG\r\n\x1a\n but nothing more"));
        Folder.Write("bad.bmp", std::string("BM"));
        Folder.Write("scans.jpg", MakeProgressiveJpeg(Picture, MaxJpegScans + 1));
        Folder.Write("wide.png", WidenPng(Png(Picture), MaxPictureSide + 1));
        Files.InitDir(Folder.Path());
    }
    void TearDown() override
    {
        EXPECT_EQ(MemMan->Count(), 0) << "objects left in the registry";
        delete MemMan;
        MemMan = nullptr;
        BitDepth = bd24;
        ZbdataFinish();
    }
    std::string LastLog() const { return ErrLog->Count() ? ErrLog->Line(ErrLog->Count() - 1) : std::string(); }
    // The line before the last: the one that names the file and why.
    std::string NoteLog() const { return ErrLog->Count() > 1 ? ErrLog->Line(ErrLog->Count() - 2) : std::string(); }

    TDecodedPicture Picture = MakePatternPicture(24, 16);
    TDecodedPicture Translucent = MakePatternPicture(8, 6, true);
    TScratchFolder Folder;
    TFileMan Files{nullptr};
};

TEST_P(GameLoad, EachKindLoadsInTheScreenDepth)
{
    for (const char* name : {"pic.bmp", "pic.png", "PIC2.PNG", "pic.lzh", "pic.jpg"}) {
        TVeRGBBits* bits = nullptr;
        TVeAlpha* alpha = reinterpret_cast<TVeAlpha*>(8);
        ASSERT_TRUE(LoadRGBImage(bits, &alpha, name, &Files)) << name;
        ASSERT_NE(bits, nullptr);
        EXPECT_EQ(alpha, nullptr) << name;
        EXPECT_EQ(bits->BitDepth(), GetParam());
        EXPECT_EQ(bits->Width(), 24);
        EXPECT_EQ(bits->Height(), 16);
        EXPECT_TRUE(MemMan->IsRecorded(bits));
        if (std::string(name) != "pic.jpg") {
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 24; ++x)
                    ASSERT_EQ(bits->PGet(x, y), Expected(Picture, x, y)) << name << " " << x << "," << y;
        }
        MemMan->Delete(bits);
    }
    EXPECT_EQ(Files.OpenCount(), 0);
    EXPECT_EQ(ErrLog->Count(), 0u);
}

TEST_P(GameLoad, NamesThatAreNoPictureAreIgnoredSilently)
{
    TVeRGBBits* const sentinel = reinterpret_cast<TVeRGBBits*>(16);
    TVeRGBBits* bits = sentinel;
    TVeAlpha* alpha = reinterpret_cast<TVeAlpha*>(8);
    for (const char* name : {"pic.jpeg", "noext", "missing.txt", ""}) {
        EXPECT_FALSE(LoadRGBImage(bits, &alpha, name, &Files)) << name;
        EXPECT_FALSE(DrawImageFileWM(nullptr, nullptr, name, 0, 0, &Files)) << name;
    }
    EXPECT_EQ(bits, sentinel);
    EXPECT_EQ(alpha, reinterpret_cast<TVeAlpha*>(8));
    EXPECT_EQ(ErrLog->Count(), 0u);
}

// Each failure names the file and why on a line of its own, then logs the loader's line.
TEST_P(GameLoad, FailuresLogTheFileThenTheirLineAndLeaveNothing)
{
    TVeRGBBits* bits = reinterpret_cast<TVeRGBBits*>(16);
    TVeAlpha* alpha = reinterpret_cast<TVeAlpha*>(8);
    EXPECT_FALSE(LoadRGBImage(bits, &alpha, "missing.png", &Files));
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_EQ(NoteLog(), "VeRGBLoad [missing.png] not in " + Folder.Path());
    EXPECT_EQ(LastLog(), "VeRGBLoad FileOpen Error");
    for (const char* name : {"bad.png", "bad.bmp"}) {
        EXPECT_FALSE(LoadRGBImage(bits, &alpha, name, &Files));
        EXPECT_EQ(bits, nullptr);
        EXPECT_EQ(NoteLog().rfind(std::string("VeRGBLoad [") + name + "] cannot be decoded", 0), 0u) << NoteLog();
        EXPECT_EQ(LastLog(), "VeRGBLoad FileLoad Error");
    }
    // A picture refused for its claimed size says which bound it goes over.
    EXPECT_FALSE(LoadRGBImage(bits, &alpha, "wide.png", &Files));
    EXPECT_EQ(NoteLog().rfind("VeRGBLoad [wide.png] cannot be decoded: ", 0), 0u) << NoteLog();
    EXPECT_NE(NoteLog().find(std::to_string(MaxPictureSide + 1) + " x 16"), std::string::npos) << NoteLog();
    EXPECT_NE(NoteLog().find(std::to_string(MaxPictureSide) + " "), std::string::npos) << NoteLog();
    EXPECT_EQ(LastLog(), "VeRGBLoad FileLoad Error");
    // A picture over the scan bound is one more picture that cannot be decoded.
    EXPECT_FALSE(LoadRGBImage(bits, &alpha, "scans.jpg", &Files));
    EXPECT_EQ(NoteLog(), "VeRGBLoad [scans.jpg] cannot be decoded: more than " + std::to_string(MaxJpegScans) +
                             " scans");
    EXPECT_EQ(LastLog(), "VeRGBLoad FileLoad Error");
    EXPECT_FALSE(LoadRGBImage(bits, nullptr, "pic.png", nullptr));
    EXPECT_EQ(LastLog(), "VeRGBLoad FileOpen Error");

    TVeRGBBits target(nullptr);
    EXPECT_FALSE(DrawImageFileWM(&target, nullptr, "missing.bmp", 0, 0, &Files));
    EXPECT_EQ(NoteLog(), "VeRGBDraw [missing.bmp] not in " + Folder.Path());
    EXPECT_EQ(LastLog(), "VeRGBDraw FileOpen Error");
    EXPECT_FALSE(DrawImageFile(&target, nullptr, "bad.png", 0, 0, &Files));
    EXPECT_EQ(LastLog(), "VeRGBDraw FileLoad Error");
    EXPECT_FALSE(DrawImageFile(&target, nullptr, "scans.jpg", 0, 0, &Files));
    EXPECT_EQ(NoteLog(), "VeRGBDraw [scans.jpg] cannot be decoded: more than " + std::to_string(MaxJpegScans) +
                             " scans");
    EXPECT_EQ(LastLog(), "VeRGBDraw FileLoad Error");
    EXPECT_FALSE(DrawImageFile(nullptr, nullptr, "pic.png", 0, 0, &Files));
    EXPECT_EQ(LastLog(), "VeRGBDraw FileLoad Error");
    EXPECT_EQ(ErrLog->Count(), 20u);
    EXPECT_EQ(Files.OpenCount(), 0);

    // Without the registry nothing can be made.
    TMemMan* registry = MemMan;
    MemMan = nullptr;
    EXPECT_FALSE(LoadRGBImage(bits, nullptr, "pic.png", &Files));
    EXPECT_EQ(LastLog(), "VeRGBLoad Alloc Error");
    MemMan = registry;
    EXPECT_EQ(Files.OpenCount(), 0);
}

TEST_P(GameLoad, AlphaPlaneAndWhiteMatte)
{
    TVeRGBBits* bits = nullptr;
    TVeAlpha* alpha = nullptr;
    ASSERT_TRUE(LoadRGBImage(bits, &alpha, "rgba.png", &Files));
    ASSERT_NE(alpha, nullptr);
    EXPECT_TRUE(MemMan->IsRecorded(alpha));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(alpha->PGet(x, y), Translucent.Alpha[size_t(y * 8 + x)]);
    // Without a place for it no plane is made.
    TVeRGBBits* plain = nullptr;
    ASSERT_TRUE(LoadRGBImage(plain, nullptr, "rgba.png", &Files));
    // The plain decode keeps the stored colours; the white-matte one takes them back.
    auto target = std::make_unique<TVeRGBBits>(nullptr);
    target->SetBitDepth(GetParam());
    target->Resize(8, 6);
    target->Create();
    ASSERT_TRUE(DrawImageFile(target.get(), nullptr, "rgba.png", 0, 0, &Files));
    int differ = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(target->PGet(x, y), Expected(Translucent, x, y));
            differ += bits->PGet(x, y) != target->PGet(x, y);
        }
    EXPECT_GT(differ, 0);
    ASSERT_TRUE(DrawImageFileWM(target.get(), nullptr, "rgba.png", 0, 0, &Files));
    EXPECT_EQ(target->PGet(3, 2), bits->PGet(3, 2));
    MemMan->Delete(bits);
    MemMan->Delete(alpha);
    MemMan->Delete(plain);
}

TEST_P(GameLoad, ScrambledPicturesUseTheBuiltInTable)
{
    SelectGnyKeyTable(3);
    EXPECT_EQ(SelectedGnyKeyTable(), GnyBuiltinKeyTable.data());
    TVeRGBBits* bits = nullptr;
    ASSERT_TRUE(LoadRGBImage(bits, nullptr, "pic.lzh", &Files));
    EXPECT_EQ(bits->PGet(5, 7), Expected(Picture, 5, 7));
    MemMan->Delete(bits);
    // Another table would scramble the picture: the built-in one is really what is used.
    std::vector<uint8_t> other(GnyBuiltinKeyTable.begin(), GnyBuiltinKeyTable.end());
    other[0] ^= 0xFF;
    TMemoryStream s;
    EncodeGny(&s, other.data(), Picture);
    Folder.Write("other.lzh", std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize()));
    ASSERT_TRUE(LoadRGBImage(bits, nullptr, "other.lzh", &Files));
    EXPECT_NE(bits->PGet(0, 0), Expected(Picture, 0, 0));
    MemMan->Delete(bits);
}

TEST_P(GameLoad, PanelImages)
{
    TVeRGBPanel panel(nullptr);
    ASSERT_TRUE(LoadPanelImage(&panel, "pic.png", &Files));
    EXPECT_EQ(panel.MaskMode(), mmOpaque);
    EXPECT_EQ(panel.Alpha(), nullptr);
    EXPECT_EQ(panel.Image()->Width(), 24);
    ReleasePanelImage(&panel);
    EXPECT_EQ(panel.Image(), nullptr);

    ASSERT_TRUE(LoadPanelImage(&panel, "rgba.png", &Files));
    EXPECT_EQ(panel.MaskMode(), mmAlphaMask);
    ASSERT_NE(panel.Alpha(), nullptr);
    EXPECT_EQ(panel.Alpha()->Width(), 8);
    TVeRGBBits* shown = panel.Image();
    EXPECT_FALSE(LoadPanelImage(&panel, "missing.png", &Files));
    EXPECT_EQ(panel.Image(), shown);
    EXPECT_EQ(panel.MaskMode(), mmAlphaMask);
    ReleasePanelImage(&panel);
    EXPECT_EQ(panel.Alpha(), nullptr);
    EXPECT_EQ(MemMan->Count(), 0);

    ASSERT_TRUE(InitPanelImageWH(&panel, 100, 50, true));
    EXPECT_EQ(panel.Image()->Width(), 100);
    EXPECT_EQ(panel.Image()->Height(), 50);
    EXPECT_EQ(panel.Image()->BitDepth(), GetParam());
    EXPECT_TRUE(panel.Image()->Created());
    EXPECT_EQ(panel.Alpha()->Width(), 100);
    EXPECT_EQ(panel.MaskMode(), mmAlphaMask);
    ReleasePanelImage(&panel);
    panel.SetSizeX(30);
    panel.SetSizeY(20);
    ASSERT_TRUE(InitPanelImage(&panel, false));
    EXPECT_EQ(panel.Image()->Width(), 30);
    EXPECT_EQ(panel.Alpha(), nullptr);
    EXPECT_EQ(panel.MaskMode(), mmOpaque);
    ReleasePanelImage(&panel);

    EXPECT_FALSE(InitPanelImageWH(&panel, 0, 50, true));
    EXPECT_EQ(LastLog(), "VePanelInit VeRGBBits Init Error");
    EXPECT_EQ(panel.Image(), nullptr);
    EXPECT_EQ(MemMan->Count(), 0);
    TMemMan* registry = MemMan;
    MemMan = nullptr;
    EXPECT_FALSE(InitPanelImageWH(&panel, 10, 10, false));
    EXPECT_EQ(LastLog(), "VePanelInit Alloc Error");
    MemMan = registry;
}

TEST_P(GameLoad, PartsSheets)
{
    // A 40x60 sheet: part 0 is 20 wide with two 10-high patterns, part 1 20x30 with one.
    const TDecodedPicture sheet = MakePatternPicture(40, 60, true);
    Folder.Write("sheet.png", Png(sheet));
    const TVePartsData table[] = {{0, 0, 20, 10, 2}, {20, 0, 20, 30, 1}, {-1, 0, 0, 0, 0}};
    TVeRGBParts* parts = nullptr;
    ASSERT_TRUE(LoadPartsImage(parts, "sheet.png", &Files, table));
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(parts->GetSize(), 2);
    EXPECT_EQ(parts->BitDepth(), GetParam());
    EXPECT_EQ(MemMan->Count(), 1);  // the temporaries are gone
    // The plain decode: stored colours as they are.
    EXPECT_EQ(parts->GetImage(1)->PGet(0, 0), Expected(sheet, 20, 0));
    ASSERT_NE(parts->GetAlpha(1), nullptr);

    TVeRGBPanel panel(nullptr);
    const TPartsPlace place = {0, 5, 6, 99, 99};
    SetPanelParts(&panel, parts, &place);
    EXPECT_EQ(panel.Image(), parts->GetImage(0));
    EXPECT_EQ(panel.Alpha(), parts->GetAlpha(0));
    EXPECT_EQ(panel.MaskMode(), mmAlphaMask);
    EXPECT_EQ(panel.OffsetX(), 5);
    EXPECT_EQ(panel.OffsetY(), 6);
    EXPECT_EQ(panel.SizeX(), 20);
    EXPECT_EQ(panel.SizeY(), 10);
    const TPartsPlace moveOnly = {-1, 7, 8, 0, 0};
    SetPanelParts(&panel, parts, &moveOnly);
    EXPECT_EQ(panel.Image(), parts->GetImage(0));
    EXPECT_EQ(panel.OffsetX(), 7);
    const TPartsPlace outside = {5, 1, 2, 0, 0};
    SetPanelParts(&panel, parts, &outside);
    EXPECT_EQ(panel.Image(), parts->GetImage(0));

    // Failures keep the atlas and drop the temporaries.
    EXPECT_FALSE(LoadPartsImage(parts, "missing.png", &Files, table));
    EXPECT_EQ(LastLog(), "VeRGBLoad FileOpen Error");
    EXPECT_FALSE(LoadPartsImage(parts, "bad.png", &Files, table));
    EXPECT_EQ(LastLog(), "VeRGBLoad FileLoad Error");
    EXPECT_FALSE(LoadPartsImage(parts, "pic.bmp", &Files, nullptr));
    EXPECT_EQ(LastLog(), "VeRGBLoad VeRGBParts SetParts Error");
    EXPECT_EQ(MemMan->Count(), 1);
    EXPECT_EQ(parts->GetSize(), 2);
    EXPECT_EQ(Files.OpenCount(), 0);
    MemMan->Delete(parts);
}

INSTANTIATE_TEST_SUITE_P(Depths, GameLoad, ::testing::Values(bd24, bd32),
                         [](const auto& info) { return info.param == bd24 ? "Bits24" : "Bits32"; });

}  // namespace
