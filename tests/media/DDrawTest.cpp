#include "media/Veddraw.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "base/Vememman.h"
#include "media/Getdxver.h"
#include "platform/Display.h"
#include "support/HangGuard.h"

using namespace DirectX;

namespace {

class ScopedDriver {
public:
    ScopedDriver(const char* name, const char* value) : FName(name)
    {
        const char* old = std::getenv(name);
        FHad = old != nullptr;
        if (FHad)
            FOld = old;
        setenv(name, value, 1);
    }
    ~ScopedDriver()
    {
        if (FHad)
            setenv(FName.c_str(), FOld.c_str(), 1);
        else
            unsetenv(FName.c_str());
    }

private:
    std::string FName;
    bool FHad = false;
    std::string FOld;
};

class DDrawTest : public ::testing::Test {
protected:
    void Pump()
    {
        while (Display::PumpEvents(0) && !Display::WaitPresented(0)) {
        }
    }
    static uint32_t Front(int x, int y)
    {
        uint32_t rgb = 0xDEADBEEF;
        EXPECT_TRUE(Display::ReadFront(x, y, rgb));
        return rgb;
    }

    ScopedDriver Video{"SDL_VIDEODRIVER", "dummy"};
    ScopedDriver Audio{"SDL_AUDIODRIVER", "dummy"};
};

TVeRectSet SetOf(std::initializer_list<TVeRect> rects)
{
    TVeRectSet set;
    for (const TVeRect& r : rects)
        set.UnionRect(r);
    return set;
}

}  // namespace

TEST_F(DDrawTest, ModesAndVersionFollowTheDrivers)
{
    TDDraw display(nullptr);
    std::vector<TDisplayMode> modes{TDisplayMode{}, TDisplayMode{}};
    ASSERT_TRUE(display.ENumDisplayModes(modes, true));
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0].ScreenSize, ss640x480);
    EXPECT_NE(modes[0].PixFormat, pfNone);
    EXPECT_TRUE(ChkDepthAndFormat(modes[0].BitDepth, modes[0].PixFormat));
    EXPECT_EQ(GetDXVersion(), 0x700);
    {
        ScopedDriver video("SDL_VIDEODRIVER", "nosuchdriver");
        EXPECT_FALSE(display.ENumDisplayModes(modes, true));
        EXPECT_TRUE(modes.empty());
        EXPECT_EQ(GetDXVersion(), 0);
        display.SetEnabled(true);
        EXPECT_FALSE(display.GetEnabled());
        EXPECT_EQ(display.Surface(), nullptr);
    }
    EXPECT_EQ(FormatOfMasks(bd16, 0xF800, 0x07E0, 0x001F), pf16_565);
    EXPECT_EQ(FormatOfMasks(bd16, 0x7C00, 0x03E0, 0x001F), pf16_555);
    EXPECT_EQ(FormatOfMasks(bd32, 0xFF0000, 0xFF00, 0xFF), pf32_888);
    EXPECT_EQ(FormatOfMasks(bd32, 0xFF, 0xFF00, 0xFF0000), pfNone) << "red and blue swapped is no known format";
}

TEST_F(DDrawTest, EnablingOpensTheScreenAndDisablingReleasesEverything)
{
    TDDraw display(nullptr);
    EXPECT_EQ(display.Surface(), nullptr);
    EXPECT_EQ(display.DirectDraw(), nullptr);
    EXPECT_EQ(display.CreateSurface(bd32, pf32_888, 640, 480, false), nullptr) << "no surfaces before enabling";
    EXPECT_FALSE(display.Flip());

    display.SetBitDepth(bd24);
    display.SetFullScreen(false);
    display.SetBackType(btSystem);
    display.SetTripleBuffer(true);
    display.SetNoVSync(true);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    EXPECT_TRUE(Display::IsOpen());
    EXPECT_EQ(display.DirectDraw(), &display);
    ASSERT_NE(display.Surface(), nullptr);
    EXPECT_TRUE(display.Surface()->Created());
    EXPECT_EQ(display.Surface()->Width(), 640);
    EXPECT_EQ(display.Surface()->Height(), 480);
    EXPECT_EQ(display.Surface()->PixFormat(), pf24_888);
    EXPECT_EQ(display.BitDepth(), bd24);
    display.SetBitDepth(bd32);
    EXPECT_EQ(display.BitDepth(), bd24) << "the depth is fixed while enabled";

    // Only one screen exists: a second display cannot open while the first is enabled.
    TDDraw second(nullptr);
    second.SetEnabled(true);
    EXPECT_FALSE(second.GetEnabled());
    EXPECT_EQ(second.Surface(), nullptr);
    EXPECT_EQ(second.ComponentCount(), 0) << "the failed open left no surface behind";

    display.SetEnabled(false);
    EXPECT_FALSE(display.GetEnabled());
    EXPECT_FALSE(Display::IsOpen());
    EXPECT_EQ(display.Surface(), nullptr);
    EXPECT_EQ(display.ComponentCount(), 0);

    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled()) << "a display opens again after it was released";
    EXPECT_EQ(display.Surface()->PixFormat(), pf24_888);
}

TEST_F(DDrawTest, SurfacesBelongToTheDisplayUntilTheirUserDeletesThem)
{
    TMemMan memMan(nullptr);
    auto* display = memMan.CreateVCL<TDDraw>();
    ASSERT_NE(display, nullptr);
    display->SetEnabled(true);
    ASSERT_TRUE(display->GetEnabled());

    TDSurface* a = display->CreateSurface(bd32, pf32_888, 640, 480, false);
    TDSurface* b = display->CreateSurface(bd24, pf24_888, 32, 16, true);
    TDSurface* c = display->CreateSurface(bd24, pfNone, 8, 8, false);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(b->Width(), 32);
    EXPECT_EQ(b->PixFormat(), pf24_888);
    EXPECT_EQ(c->PixFormat(), pf24_888) << "no format asked: the depth's working format";
    EXPECT_EQ(a->Display(), display);
    EXPECT_EQ(display->SurfaceCount(), 3);
    EXPECT_EQ(display->CreateSurface(bd24, pf32_888, 8, 8, false), nullptr) << "format of another depth";
    EXPECT_EQ(display->CreateSurface(bd32, pf32_888, 0, 8, false), nullptr);
    EXPECT_EQ(display->CreateSurface(bdNone, pfNone, 8, 8, false), nullptr);
    EXPECT_EQ(display->SurfaceCount(), 3) << "failed creations leave nothing";

    // The registry deletes two surfaces first (as the game does at shut-down); they leave the
    // display's list, so disabling deletes only the one left and nothing twice.
    memMan.AddPtr(a);
    memMan.AddPtr(b);
    memMan.Delete(a);
    memMan.Delete(b);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(display->SurfaceCount(), 1);
    display->SetEnabled(false);
    EXPECT_EQ(display->SurfaceCount(), 0);
    EXPECT_EQ(display->ComponentCount(), 0);

    // Deleting the display while enabled releases its surfaces and the screen.
    display->SetEnabled(true);
    ASSERT_NE(display->CreateSurface(bd32, pf32_888, 16, 16, false), nullptr);
    memMan.Delete(display);
    EXPECT_FALSE(Display::IsOpen());
}

TEST_F(DDrawTest, FlipsClipTheirRectanglesToTheScreen)
{
    TDDraw display(nullptr);
    display.SetBitDepth(bd24);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    TDSurface* back = display.Surface();
    back->BoxFill(0, 0, 639, 479, 0x0000FF);
    Pump();
    EXPECT_EQ(Front(0, 0), 0u) << "nothing reaches the screen before a flip";

    ASSERT_TRUE(display.FlipModifyRect(SetOf({VeRect(-16, -16, 16, 16), VeRect(630, 470, 700, 500)})));
    EXPECT_EQ(Front(0, 0), 0x0000FFu);
    EXPECT_EQ(Front(15, 15), 0x0000FFu);
    EXPECT_EQ(Front(16, 16), 0u);
    EXPECT_EQ(Front(639, 479), 0x0000FFu);
    EXPECT_EQ(Front(629, 469), 0u);
    Pump();

    // An empty set presents nothing unless a rectangle was marked for the next presentation.
    const uint64_t presents = Display::PresentCount();
    ASSERT_TRUE(display.FlipModifyRect(TVeRectSet()));
    EXPECT_TRUE(Display::WaitPresented(0));
    display.SetModifyRect(VeRect(100, 100, 110, 110));
    ASSERT_TRUE(display.FlipModifyRect(TVeRectSet()));
    EXPECT_EQ(Front(105, 105), 0x0000FFu);
    EXPECT_EQ(Front(110, 110), 0u);
    Pump();
    EXPECT_EQ(Display::PresentCount(), presents + 1);
    back->BoxFill(100, 100, 109, 109, 0x00FF00);
    ASSERT_TRUE(display.FlipModifyRect(SetOf({VeRect(200, 200, 201, 201)})));
    EXPECT_EQ(Front(105, 105), 0x0000FFu) << "the marked rectangle is presented once";

    // The surface keeps its pixels for the next frame; a full flip shows all of them.
    ASSERT_TRUE(display.Flip());
    EXPECT_EQ(Front(320, 240), 0x0000FFu);
    EXPECT_EQ(Front(105, 105), 0x00FF00u);
    Pump();
}

TEST_F(DDrawTest, AFrameThreadFlipsWithoutTheInterfaceThread)
{
    TDDraw display(nullptr);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    TDSurface* back = display.Surface();
    // The interface thread does not pump at all while the frame thread flips and waits.
    auto frames = std::async(std::launch::async, [&] {
        for (int i = 0; i < 40; ++i) {
            back->BoxFill(i, 0, i, 0, 0xFFFFFF);
            if (!display.FlipModifyRect(SetOf({VeRect(i, 0, i + 1, 1)})))
                return false;
            display.WaitPresented();  // bounded by one refresh period
        }
        return true;
    });
    ASSERT_EQ(frames.wait_for(zbtest::HangGuard), std::future_status::ready);
    EXPECT_TRUE(frames.get());
    EXPECT_EQ(Front(39, 0), 0xFFFFFFu);

    display.SetNoVSync(true);
    EXPECT_TRUE(display.NoVSync());
    display.SetNoVSync(false);
    Pump();
    EXPECT_TRUE(Display::WaitPresented(0));
}
