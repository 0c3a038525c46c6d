// PrintScreen puts the screen, with the overlays (and on Alt the cursor), on the clipboard as
// a 640x480 24-bit PNG, gated by a free capture name and never disturbing the screen.
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/Vememman.h"
#include "base/Vepicture.h"
#include "game/GameFormHarness.h"
#include "platform/Clipboard.h"
#include "platform/Filenames.h"

namespace {

constexpr uint32_t Background = 0x204060;
constexpr uint32_t Square = 0xC01020;
constexpr uint32_t FrameThree = 0x00FF00;

class CaptureTest : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        ASSERT_TRUE(StartForm());
        PreviousClipboard = SetClipboardHandler([this](const std::vector<uint8_t>& png) {
            Copies.push_back(png);
            return ClipboardAccepts;
        });
        Screen()->BoxFill(0, 0, 639, 479, Background);
        Screen()->BoxFill(100, 100, 199, 199, Square);
        Form->CursorType = -1;
    }
    void TearDown() override
    {
        SetClipboardHandler(PreviousClipboard);
        GameFormHarness::TearDown();
    }

    TVeRGBBits* Screen() { return Form->Target(); }

    void Press(uint8_t modifiers, TDisplayEventKind kind = TDisplayEventKind::KeyDown)
    {
        TDisplayEvent e;
        e.Kind = kind;
        e.Key = VK_SNAPSHOT;
        e.Modifiers = modifiers;
        Form->HandleDisplayEvent(e);
    }

    // The last copy, checked to be a 640x480 8-bit RGB PNG without alpha.
    TDecodedPicture LastShot()
    {
        if (Copies.empty()) {
            ADD_FAILURE() << "nothing copied";
            return {};
        }
        return Shot(Copies.back());
    }
    static TDecodedPicture Shot(const std::vector<uint8_t>& png)
    {
        TDecodedPicture picture;
        EXPECT_GT(png.size(), 33u);
        if (png.size() > 33) {
            EXPECT_EQ(png[24], 8);  // bit depth
            EXPECT_EQ(png[25], 2);  // colour type: RGB
        }
        TMemoryStream stream;
        stream.Write(png.data(), static_cast<int64_t>(png.size()));
        stream.SetPosition(0);
        EXPECT_TRUE(DecodePng(&stream, picture, false));
        EXPECT_EQ(picture.Width, 640);
        EXPECT_EQ(picture.Height, 480);
        EXPECT_TRUE(picture.Alpha.empty());
        return picture;
    }

    static uint32_t Pixel(const TDecodedPicture& p, int x, int y)
    {
        if (x < 0 || y < 0 || x >= p.Width || y >= p.Height)
            return 0xFFFFFFFF;
        const uint8_t* b = &p.Pixels[(static_cast<size_t>(y) * p.Width + x) * 3];
        return static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[1]) << 8 | b[0];
    }

    // d + (s - d) x m / 255, rounded down, per channel.
    static uint32_t Blend(uint32_t d, uint32_t s, uint32_t m)
    {
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t dc = (d >> shift) & 255, sc = (s >> shift) & 255;
            out |= ((dc * (255 - m) + sc * m) / 255) << shift;
        }
        return out;
    }

    void TouchCaptureName(const std::string& name) { std::ofstream(Folder.Path() + "/" + name).put('x'); }

    std::vector<std::vector<uint8_t>> Copies;
    bool ClipboardAccepts = true;
    TClipboardHandler PreviousClipboard;
};

}  // namespace

TEST_F(CaptureTest, PictureIsTheScreenWithTheOverlaysInItsCorners)
{
    Press(0);
    ASSERT_EQ(Copies.size(), 1u);
    TDecodedPicture shot = LastShot();
    uint32_t logo = Blend(Background, 0x808080, 128);
    uint32_t copy = Blend(Background, 0x404040, 200);
    EXPECT_EQ(Pixel(shot, 150, 150), Square);
    EXPECT_EQ(Pixel(shot, 7, 0), Background);
    EXPECT_EQ(Pixel(shot, 8, 0), logo);
    EXPECT_EQ(Pixel(shot, 71, 15), logo);
    EXPECT_EQ(Pixel(shot, 72, 0), Background);
    EXPECT_EQ(Pixel(shot, 8, 16), Background);
    EXPECT_EQ(Pixel(shot, 576, 464), copy);
    EXPECT_EQ(Pixel(shot, 639, 479), copy);
    EXPECT_EQ(Pixel(shot, 575, 479), Background);
    EXPECT_EQ(Pixel(shot, 639, 463), Background);
    // Nothing is written, and the press never reaches the screens.
    EXPECT_TRUE(ListFolder(Folder.Path(), "ZBCap*").empty());
    EXPECT_EQ(Form->QueuedInputCount(), 0);
}

TEST_F(CaptureTest, OnlyAltPrintScreenShowsTheCursorAndTheScreenKeepsNone)
{
    // Frame 3 of the strip is made green so that the frame choice shows.
    Form->CursorImage->BoxFill(96, 0, 103, 7, FrameThree);
    Form->CursorType = 3;
    Form->CursorX = 300;
    Form->CursorY = 200;
    Press(0);
    TDecodedPicture plain = LastShot();
    EXPECT_EQ(Pixel(plain, 300, 200), Background);
    Press(dmAlt);
    TDecodedPicture alt = LastShot();
    EXPECT_EQ(Pixel(alt, 300, 200), FrameThree);
    EXPECT_EQ(Pixel(alt, 307, 207), FrameThree);
    EXPECT_EQ(Pixel(alt, 308, 200), Background);
    EXPECT_EQ(Screen()->PGet(300, 200), Background);

    // Partly off the top-left corner: the visible part is drawn and the screen fully restored.
    Form->CursorX = -4;
    Form->CursorY = -5;
    Press(dmAlt);
    alt = LastShot();
    EXPECT_EQ(Pixel(alt, 0, 0), FrameThree);
    EXPECT_EQ(Pixel(alt, 3, 2), FrameThree);
    EXPECT_EQ(Pixel(alt, 4, 0), Background);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(Screen()->PGet(x, y), Background) << x << "," << y;

    // A hidden cursor: both keys give the same picture.
    Form->CursorType = -1;
    Copies.clear();
    Press(0);
    Press(dmAlt);
    ASSERT_EQ(Copies.size(), 2u);
    EXPECT_EQ(Copies[0], Copies[1]);

    // Other modifiers, the release, and a press while another application is active copy nothing.
    Press(dmCtrl);
    Press(dmAlt | dmShift);
    Press(0, TDisplayEventKind::KeyUp);
    Config->Active = false;
    Press(0);
    EXPECT_EQ(Copies.size(), 2u);
    EXPECT_EQ(Form->QueuedInputCount(), 0);
}

TEST_F(CaptureTest, CopiesOnlyWhileACaptureNameIsFree)
{
    for (int i = 0; i < 999; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, i == 500 ? "zbcap%03d.PNG" : "ZBCap%03d.png", i);
        TouchCaptureName(name);
    }
    Press(0);
    EXPECT_TRUE(Copies.empty());
    EXPECT_TRUE(LogLines().empty());

    // 999 is outside the numbers; 000 freed lets the next press through, writing nothing.
    TouchCaptureName("ZBCap999.png");
    std::filesystem::remove(Folder.Path() + "/ZBCap000.png");
    Press(0);
    EXPECT_EQ(Copies.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Folder.Path() + "/ZBCap000.png"));
}

TEST_F(CaptureTest, FailuresAreLoggedAndMissingOverlaysLeftOut)
{
    ClipboardAccepts = false;
    Press(0);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Failed to copy image to clipboard!"});

    ClipboardAccepts = true;
    MemMan->Delete(Form->CapLogoImage);
    MemMan->Delete(Form->CapCopyAlpha);
    Press(0);
    TDecodedPicture shot = LastShot();
    EXPECT_EQ(Pixel(shot, 8, 0), Background);
    EXPECT_EQ(Pixel(shot, 639, 479), Background);
}

TEST_F(CaptureTest, NeverCatchesTheCursorOfAFrameBeingDrawn)
{
    Form->SetRedrawProc([](TVeRGBBits* target) { target->BoxFill(0, 0, 639, 479, Background); });
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
        EXPECT_EQ(Pixel(Shot(png), 300, 200), Background);
}
