// PrintScreen puts the screen with the overlays (and on Alt the cursor) on the clipboard as a
// 640x480 24-bit PNG, gated by a free capture name and never disturbing the screen.
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/Vememman.h"
#include "base/Vepicture.h"
#include "game/GameFormHarness.h"
#include "platform/Clipboard.h"

namespace {

constexpr uint32_t Back = 0x204060;
constexpr uint32_t Green = 0x00FF00;

class CaptureTest : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        ASSERT_TRUE(StartForm());
        Previous = SetClipboardHandler([this](const std::vector<uint8_t>& png) {
            Copies.push_back(png);
            return Accept;
        });
        Form->Target()->BoxFill(0, 0, 639, 479, Back);
        Form->CursorType = -1;
    }
    void TearDown() override
    {
        SetClipboardHandler(Previous);
        GameFormHarness::TearDown();
    }
    void Press(uint8_t modifiers)
    {
        TDisplayEvent e;
        e.Kind = TDisplayEventKind::KeyDown;
        e.Key = VK_SNAPSHOT;
        e.Modifiers = modifiers;
        Form->HandleDisplayEvent(e);
    }
    // 0x00RRGGBB of a copied picture, checked to be a 640x480 8-bit RGB PNG.
    static uint32_t Pixel(const std::vector<uint8_t>& png, int x, int y)
    {
        TMemoryStream stream;
        stream.Write(png.data(), static_cast<int64_t>(png.size()));
        stream.SetPosition(0);
        TDecodedPicture p;
        if (png.size() < 26 || png[24] != 8 || png[25] != 2 || !DecodePng(&stream, p, false) || p.Width != 640 ||
            p.Height != 480)
            return 0xBAD;
        const uint8_t* b = &p.Pixels[(static_cast<size_t>(y) * 640 + x) * 3];
        return uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
    }
    static uint32_t Blend(uint32_t d, uint32_t s, uint32_t m)
    {
        uint32_t out = 0;
        for (int i = 0; i < 24; i += 8)
            out |= ((((d >> i) & 255) * (255 - m) + ((s >> i) & 255) * m) / 255) << i;
        return out;
    }

    std::vector<std::vector<uint8_t>> Copies;
    bool Accept = true;
    TClipboardHandler Previous;
};

}  // namespace

TEST_F(CaptureTest, OverlaysSitInTheirCornersAndOnlyAltShowsTheCursor)
{
    Form->CursorImage->BoxFill(96, 0, 103, 7, Green);  // frame 3 only
    Form->CursorType = 3;
    Form->CursorX = -4;  // partly off the screen
    Form->CursorY = -5;
    Press(0);
    Press(dmAlt);
    ASSERT_EQ(Copies.size(), 2u);
    const std::vector<uint8_t> plain = Copies[0];
    EXPECT_EQ(Pixel(plain, 0, 0), Back);
    EXPECT_EQ(Pixel(plain, 8, 0), Blend(Back, 0x808080, 128));
    EXPECT_EQ(Pixel(plain, 71, 15), Blend(Back, 0x808080, 128));
    EXPECT_EQ(Pixel(plain, 72, 16), Back);
    EXPECT_EQ(Pixel(plain, 576, 464), Blend(Back, 0x404040, 200));
    EXPECT_EQ(Pixel(plain, 639, 479), Blend(Back, 0x404040, 200));
    EXPECT_EQ(Pixel(plain, 575, 463), Back);
    EXPECT_EQ(Pixel(Copies[1], 0, 0), Green);
    EXPECT_EQ(Pixel(Copies[1], 3, 2), Green);
    EXPECT_EQ(Pixel(Copies[1], 4, 3), Back);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(Form->Target()->PGet(x, y), Back) << "screen kept the cursor at " << x << "," << y;

    // Hidden cursor: the same picture; other modifiers or an inactive game: nothing.
    Form->CursorType = -1;
    Press(dmAlt);
    EXPECT_EQ(Copies.back(), plain);
    Press(dmCtrl);
    Config->Active = false;
    Press(0);
    EXPECT_EQ(Copies.size(), 3u);
    EXPECT_EQ(Form->QueuedInputCount(), 0);
}

TEST_F(CaptureTest, CopiesOnlyWhileANameIsFreeAndLogsAFailedCopy)
{
    for (int i = 0; i < 999; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, i == 500 ? "zbcap%03d.PNG" : "ZBCap%03d.png", i);
        std::ofstream(Folder.Path() + "/" + name).put('x');
    }
    Press(0);
    EXPECT_TRUE(Copies.empty());
    std::filesystem::remove(Folder.Path() + "/ZBCap000.png");
    Press(0);
    EXPECT_EQ(Copies.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Folder.Path() + "/ZBCap000.png"));
    EXPECT_TRUE(LogLines().empty());

    Accept = false;
    MemMan->Delete(Form->CapLogoImage);  // a missing overlay is left out
    Press(0);
    EXPECT_EQ(Pixel(Copies.back(), 8, 0), Back);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Failed to copy image to clipboard!"});
}

TEST_F(CaptureTest, AScreenThatCannotBeReadCopiesNothingAndSaysSo)
{
    // The screen cannot be locked.
    Form->Target()->Release();
    EXPECT_FALSE(Form->CopyScreenToClipboard(TGameForm::CaptureHotKey));
    EXPECT_TRUE(Copies.empty());
    EXPECT_EQ(LogLines().size(), 1u);

    // No screen at all: neither a drawing surface nor an open display.
    MemMan->Delete(Form->ConvertImage);
    Display->Disable();
    ASSERT_EQ(Form->Target(), nullptr);
    EXPECT_FALSE(Form->CopyScreenToClipboard(TGameForm::CaptureHotKeyAlt));
    EXPECT_TRUE(Copies.empty());
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(CaptureTest, NeverCatchesTheCursorOfAFrameBeingDrawn)
{
    Form->SetRedrawProc([](TVeRGBBits* target) { target->BoxFill(0, 0, 639, 479, Back); });
    Form->CursorType = 0;
    Form->CursorX = 300;
    Form->CursorY = 200;
    std::atomic<bool> stop{false};
    std::thread frames([&] {
        while (!stop.load())
            Form->ForceRender();
    });
    for (int i = 0; i < 10; ++i)
        Press(0);
    stop = true;
    frames.join();
    ASSERT_EQ(Copies.size(), 10u);
    for (const std::vector<uint8_t>& png : Copies)
        EXPECT_EQ(Pixel(png, 300, 200), Back);
}
