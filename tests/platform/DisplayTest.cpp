#include "platform/Display.h"

#include "platform/Dialogs.h"
#include "support/HangGuard.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

class ScopedVideoDriver {
public:
    explicit ScopedVideoDriver(const char* value)
    {
        const char* old = std::getenv("SDL_VIDEODRIVER");
        FHad = old != nullptr;
        if (FHad)
            FOld = old;
        setenv("SDL_VIDEODRIVER", value, 1);
    }
    ~ScopedVideoDriver()
    {
        if (FHad)
            setenv("SDL_VIDEODRIVER", FOld.c_str(), 1);
        else
            unsetenv("SDL_VIDEODRIVER");
    }

private:
    bool FHad = false;
    std::string FOld;
};

// A headless window for the duration of a test.
class DisplayWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Display::TOpenOptions options;
        options.Title = "test";
        ASSERT_TRUE(Display::Open(options));
        Display::SetInputHandler([this](const Display::TInputEvent& e) { Events.push_back(e); });
        Drain();
        Events.clear();
    }
    void TearDown() override
    {
        Display::SetInputHandler(nullptr);
        Display::Close();
    }
    void Drain()
    {
        while (Display::PumpEvents(0) && SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        }
    }
    static int QueuedWakeUps()
    {
        SDL_PumpEvents();
        return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_LASTEVENT);
    }
    static uint32_t Front(int x, int y)
    {
        uint32_t rgb = 0xDEADBEEF;
        EXPECT_TRUE(Display::ReadFront(x, y, rgb));
        return rgb;
    }

    ScopedVideoDriver Driver{"dummy"};
    std::vector<Display::TInputEvent> Events;
};

std::vector<uint8_t> Bgrx(int w, int h, uint32_t rgb)
{
    std::vector<uint8_t> pixels(size_t(w) * h * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = uint8_t(rgb);
        pixels[i + 1] = uint8_t(rgb >> 8);
        pixels[i + 2] = uint8_t(rgb >> 16);
    }
    return pixels;
}

}  // namespace

TEST(DisplayMapping, LetterboxKeepsTheAspectAndCentres)
{
    auto box = Display::LetterboxRect(1920, 1080);
    EXPECT_EQ(box.left, 240);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 1680);
    EXPECT_EQ(box.bottom, 1080);
    box = Display::LetterboxRect(1280, 1024);  // taller than 4:3: bars above and below
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 32);
    EXPECT_EQ(box.right, 1280);
    EXPECT_EQ(box.bottom, 992);
    box = Display::LetterboxRect(640, 480);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 640);
    EXPECT_EQ(box.bottom, 480);
    box = Display::LetterboxRect(0, 768);
    EXPECT_EQ(box.right - box.left, 0);
    box = Display::LetterboxRect(2000000000, 2000000000);  // no overflow on absurd sizes
    EXPECT_EQ(box.right - box.left, 2000000000);
    EXPECT_EQ(box.bottom - box.top, 1500000000);
}

TEST(DisplayMapping, WindowPositionsMapIntoTheLetterboxedScreen)
{
    int x = -1, y = -1;
    Display::WindowToScreen(240, 0, 1920, 1080, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    Display::WindowToScreen(1679, 1079, 1920, 1080, x, y);
    EXPECT_EQ(x, 639);
    EXPECT_EQ(y, 479);
    Display::WindowToScreen(960, 540, 1920, 1080, x, y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);
    // 2.25 output pixels per screen pixel: 242 is still screen column 0, 243 column 1.
    Display::WindowToScreen(242, 2, 1920, 1080, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    Display::WindowToScreen(243, 3, 1920, 1080, x, y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
    // The bars clamp to the nearest edge of the screen.
    Display::WindowToScreen(100, 500, 1920, 1080, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 222);
    Display::WindowToScreen(1900, 500, 1920, 1080, x, y);
    EXPECT_EQ(x, 639);
    Display::WindowToScreen(640, 10, 1280, 1024, x, y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 0);
    Display::WindowToScreen(-5, 2000, 640, 480, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 479);
    Display::WindowToScreen(123, 456, 640, 480, x, y);  // a window maps one to one
    EXPECT_EQ(x, 123);
    EXPECT_EQ(y, 456);
    Display::WindowToScreen(5, 5, 0, 0, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST(DisplayMapping, KeysTranslateToVirtualKeyCodes)
{
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_a), 'A');
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_z), 'Z');
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_0), '0');
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_9), '9');
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_F1), VK_F1);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_F12), VK_F12);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_RETURN), VK_RETURN);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_KP_ENTER), VK_RETURN);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_ESCAPE), VK_ESCAPE);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_RSHIFT), VK_SHIFT);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_LCTRL), VK_CONTROL);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_RALT), VK_MENU);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_PAGEDOWN), VK_NEXT);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_PRINTSCREEN), VK_SNAPSHOT);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_SYSREQ), VK_SNAPSHOT);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_CAPSLOCK), 0);
    EXPECT_EQ(Display::VirtualKeyOf(SDLK_F13), 0);
}

TEST(DisplayProbe, ReportsTheDesktopAndAMissingDriver)
{
    {
        ScopedVideoDriver driver("dummy");
        EXPECT_TRUE(Display::VideoAvailable());
        Display::TDesktopMode mode;
        ASSERT_TRUE(Display::GetDesktopMode(mode));
        EXPECT_GT(mode.Width, 0);
        EXPECT_GE(mode.BytesPerPixel, 2);
    }
    ScopedVideoDriver driver("nosuchdriver");
    EXPECT_FALSE(Display::VideoAvailable());
    Display::TDesktopMode mode;
    EXPECT_FALSE(Display::GetDesktopMode(mode));
    Display::TOpenOptions options;
    EXPECT_FALSE(Display::Open(options));
    EXPECT_FALSE(Display::IsOpen());
    const uint8_t pixel[4] = {};
    const Display::TDisplayRect r{0, 0, 1, 1};
    EXPECT_FALSE(Display::Present(pixel, 4, Display::TSourceFormat::Bgrx32, 1, 1, &r, 1));
    EXPECT_TRUE(Display::WaitPresented(1000)) << "nothing to wait for while closed";
}

TEST_F(DisplayWindow, PresentFromAnotherThreadNeverWaitsForTheInterfaceThread)
{
    // The interface thread does not pump while another thread presents a thousand frames: each
    // call must still return, and only one wake-up may be queued for all of them.
    auto full = Bgrx(640, 480, 0x102030);
    const Display::TDisplayRect screen{0, 0, 640, 480};
    auto done = std::async(std::launch::async, [&] {
        for (int i = 0; i < 1000; ++i)
            if (!Display::Present(full.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &screen, 1))
                return false;
        return true;
    });
    ASSERT_EQ(done.wait_for(zbtest::HangGuard), std::future_status::ready);
    EXPECT_TRUE(done.get());
    EXPECT_EQ(QueuedWakeUps(), 1);
    EXPECT_FALSE(Display::WaitPresented(10)) << "not presented before the interface thread pumps";
    const uint64_t before = Display::PresentCount();
    Drain();
    EXPECT_EQ(Display::PresentCount(), before + 1);
    EXPECT_TRUE(Display::WaitPresented(0));
    EXPECT_EQ(Front(639, 479), 0x102030u);
}

TEST_F(DisplayWindow, PresentClipsToTheImageAndTheScreen)
{
    auto red = Bgrx(700, 500, 0xFF0000);
    const Display::TDisplayRect rects[] = {
        {-10, -10, 5, 5},       // top-left corner, partly off
        {635, 475, 700, 500},   // bottom-right corner, partly off
        {300, 300, 300, 400},   // empty
        {900, 10, 1000, 20},    // wholly off
    };
    ASSERT_TRUE(Display::Present(red.data(), 700 * 4, Display::TSourceFormat::Bgrx32, 700, 500, rects, 4));
    EXPECT_EQ(Front(0, 0), 0xFF0000u);
    EXPECT_EQ(Front(4, 4), 0xFF0000u);
    EXPECT_EQ(Front(5, 5), 0u);
    EXPECT_EQ(Front(635, 475), 0xFF0000u);
    EXPECT_EQ(Front(639, 479), 0xFF0000u);
    EXPECT_EQ(Front(634, 474), 0u);
    EXPECT_EQ(Front(300, 300), 0u);

    // An image smaller than the screen gives no more than it has.
    auto small = Bgrx(10, 10, 0x00FF00);
    const Display::TDisplayRect big{0, 100, 640, 480};
    ASSERT_TRUE(Display::Present(small.data(), 40, Display::TSourceFormat::Bgrx32, 10, 10, &big, 1));
    EXPECT_EQ(Front(0, 100), 0u);

    // Nothing on the screen: nothing queued, nothing to wait for.
    Drain();
    const uint64_t before = Display::PresentCount();
    ASSERT_TRUE(Display::Present(small.data(), 40, Display::TSourceFormat::Bgrx32, 10, 10, nullptr, 0));
    ASSERT_TRUE(Display::Present(small.data(), 40, Display::TSourceFormat::Bgrx32, 10, 10, &rects[3], 1));
    EXPECT_EQ(QueuedWakeUps(), 0);
    EXPECT_TRUE(Display::WaitPresented(0));
    Drain();
    EXPECT_EQ(Display::PresentCount(), before);

    // Bad arguments are refused, not read.
    EXPECT_FALSE(Display::Present(small.data(), 39, Display::TSourceFormat::Bgrx32, 10, 10, &big, 1));
    EXPECT_FALSE(Display::Present(nullptr, 40, Display::TSourceFormat::Bgrx32, 10, 10, &big, 1));
    EXPECT_FALSE(Display::Present(small.data(), 40, Display::TSourceFormat::Bgrx32, 10, 10, nullptr, 1));
}

TEST_F(DisplayWindow, PresentConvertsEverySourceFormat)
{
    const uint8_t rgb565[2] = {0x1F, 0xF8};  // red 31, blue 31
    const uint8_t rgb555[2] = {0xE0, 0x03};  // green 31
    const uint8_t bgr24[3] = {0x11, 0x22, 0x33};
    const Display::TDisplayRect one{0, 0, 1, 1};
    const Display::TDisplayRect at1{1, 0, 2, 1};
    ASSERT_TRUE(Display::Present(rgb565, 2, Display::TSourceFormat::Rgb565, 1, 1, &one, 1));
    EXPECT_EQ(Front(0, 0), 0xFF00FFu);
    ASSERT_TRUE(Display::Present(rgb555, 2, Display::TSourceFormat::Rgb555, 1, 1, &one, 1));
    EXPECT_EQ(Front(0, 0), 0x00FF00u);
    ASSERT_TRUE(Display::Present(bgr24, 3, Display::TSourceFormat::Bgr24, 1, 1, &one, 1));
    EXPECT_EQ(Front(0, 0), 0x332211u);
    std::vector<uint8_t> rows24(6 * 9, 0);
    for (int i = 0; i < 9; ++i)
        rows24[5 * 9 + i] = uint8_t(i + 1);
    const Display::TDisplayRect three{0, 5, 3, 6};
    ASSERT_TRUE(Display::Present(rows24.data(), 9, Display::TSourceFormat::Bgr24, 3, 6, &three, 1));
    EXPECT_EQ(Front(0, 5), 0x030201u);
    EXPECT_EQ(Front(1, 5), 0x060504u);
    EXPECT_EQ(Front(2, 5), 0x090807u);
    const uint8_t two[8] = {0, 0, 0, 0, 0x44, 0x55, 0x66, 0xFF};
    ASSERT_TRUE(Display::Present(two, 8, Display::TSourceFormat::Bgrx32, 2, 1, &at1, 1));
    EXPECT_EQ(Front(1, 0), 0x665544u) << "the fourth byte is not colour";
    // A bottom-up image: a negative pitch walks the rows upwards.
    const uint8_t rows[6] = {1, 2, 3, 4, 5, 6};  // row 1 then row 0, 24-bit, one pixel wide
    const Display::TDisplayRect column{0, 0, 1, 2};
    ASSERT_TRUE(Display::Present(rows + 3, -3, Display::TSourceFormat::Bgr24, 1, 2, &column, 1));
    EXPECT_EQ(Front(0, 0), 0x060504u);
    EXPECT_EQ(Front(0, 1), 0x030201u);
}

TEST_F(DisplayWindow, WaitPresentedIsReleasedByThePumpOrByClosing)
{
    auto full = Bgrx(640, 480, 0x445566);
    const Display::TDisplayRect r{0, 0, 64, 64};
    ASSERT_TRUE(Display::Present(full.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &r, 1));
    auto waiter = std::async(std::launch::async, [] { return Display::WaitPresented(zbtest::HangGuardMs); });
    while (waiter.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        Display::PumpEvents(5);
    EXPECT_TRUE(waiter.get());

    ASSERT_TRUE(Display::Present(full.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &r, 1));
    // Its own limit is beyond the test's wait, so that only the close can release it in time.
    auto closed = std::async(std::launch::async, [] { return Display::WaitPresented(2 * zbtest::HangGuardMs); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Display::Close();
    EXPECT_EQ(closed.wait_for(zbtest::HangGuard), std::future_status::ready);
    closed.get();
}

TEST_F(DisplayWindow, InputIsMappedPublishedAndTranslated)
{
    SDL_Window* window = SDL_GetMouseFocus();
    const Uint32 id = window ? SDL_GetWindowID(window) : 0;
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = 100;
    e.motion.y = 200;
    SDL_PushEvent(&e);
    SDL_zero(e);
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.clicks = 1;
    e.button.x = 101;
    e.button.y = 201;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_ESCAPE;
    e.key.keysym.mod = KMOD_LSHIFT;
    SDL_PushEvent(&e);
    SDL_zero(e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    SDL_PushEvent(&e);
    SDL_zero(e);
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    Drain();
    // A close asked for by another thread arrives the same way, on this thread.
    std::async(std::launch::async, [] { EXPECT_TRUE(Display::PostClose()); }).wait();
    Drain();

    ASSERT_EQ(Events.size(), 8u);
    EXPECT_EQ(Events[7].Kind, Display::TEventKind::Close);
    EXPECT_EQ(Events[0].Kind, Display::TEventKind::MouseMove);
    EXPECT_EQ(Events[0].X, 100);
    EXPECT_EQ(Events[0].Y, 200);
    EXPECT_EQ(Events[1].Kind, Display::TEventKind::MouseDown);
    EXPECT_EQ(Events[1].Button, mbRight);
    EXPECT_TRUE(Events[1].Shift.Contains(ssRight)) << "the pressed button is held in the shift state";
    EXPECT_EQ(Events[1].X, 101);
    EXPECT_EQ(Events[2].Kind, Display::TEventKind::MouseUp);
    EXPECT_FALSE(Events[2].Shift.Contains(ssRight));
    EXPECT_EQ(Events[3].Kind, Display::TEventKind::KeyDown);
    EXPECT_EQ(Events[3].Key, VK_ESCAPE);
    EXPECT_TRUE(Events[3].Shift.Contains(ssShift));
    EXPECT_EQ(Events[4].Kind, Display::TEventKind::Wheel);
    EXPECT_EQ(Events[4].WheelDelta, -240);
    EXPECT_EQ(Events[5].Kind, Display::TEventKind::Deactivate);
    EXPECT_FALSE(Display::ApplicationActive());
    EXPECT_EQ(Events[6].Kind, Display::TEventKind::Close);
    EXPECT_EQ(Display::MouseX(), Events[4].X);
    EXPECT_EQ(Display::MouseY(), Events[4].Y);

    // Regaining the focus shows the whole screen again, with nothing new presented.
    const uint64_t presents = Display::PresentCount();
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
    Drain();
    EXPECT_TRUE(Display::ApplicationActive());
    EXPECT_EQ(Events.back().Kind, Display::TEventKind::Activate);
    EXPECT_EQ(Display::PresentCount(), presents + 1);
}

TEST(DisplayDialogs, AHeadlessWindowLeavesTheMessageBoxHandlerAlone)
{
    ScopedVideoDriver driver("dummy");
    std::vector<std::string> shown;
    auto previous = SetMessageBoxHandler([&](const std::string& text, const std::string& caption) {
        shown.push_back(caption + ":" + text);
    });
    Display::TOpenOptions options;
    ASSERT_TRUE(Display::Open(options));
    ShowMessageBox("text", "Error");
    Display::Close();
    ShowMessageBox("after", "Error");
    Display::InstallMessageBoxes();
    ShowMessageBox("installed", "Error");
    SetMessageBoxHandler(std::move(previous));
    // No box may wait for a click on a machine without a screen.
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "Error:text");
}

TEST_F(DisplayWindow, UnchangedPixelsAreNotPresentedAgainButTheWaitKeepsTheRetracePace)
{
    // A still screen sends the same cursor rectangles each frame: they must cost no present,
    // and a frame loop waiting for the present must still be paced, not released at once.
    auto grey = Bgrx(640, 480, 0x808080);
    const Display::TDisplayRect r{100, 100, 132, 132};
    ASSERT_TRUE(Display::Present(grey.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &r, 1));
    Drain();
    const uint64_t before = Display::PresentCount();
    ASSERT_TRUE(Display::Present(grey.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &r, 1));
    EXPECT_EQ(QueuedWakeUps(), 0);
    // Released by the next retrace, not by the time limit: a limit only a hang reaches tells the
    // two apart.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Display::WaitPresented(zbtest::HangGuardMs));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, zbtest::HangGuard);
    Drain();
    EXPECT_EQ(Display::PresentCount(), before);

    for (int c = 0; c < 3; ++c)
        grey[(size_t(120) * 640 + 120) * 4 + c] = 0x81;  // one changed pixel is presented
    ASSERT_TRUE(Display::Present(grey.data(), 640 * 4, Display::TSourceFormat::Bgrx32, 640, 480, &r, 1));
    Drain();
    EXPECT_EQ(Display::PresentCount(), before + 1);
    EXPECT_EQ(Front(120, 120), 0x818181u);
}
