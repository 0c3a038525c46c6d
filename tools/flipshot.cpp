// Opens the game window, flips a known picture from a thread that is not the interface thread,
// and photographs the whole X screen into the named file (with ImageMagick's import) while
// the interface thread keeps presenting. Used by the end-to-end display test under Xvfb.
//
// The picture: four quadrants (red top-left, green top-right, blue bottom-left, white
// bottom-right) and a magenta 16x16 square at (100, 50), the square flipped on its own.
//
// Usage: flipshot <screenshot file>   Exit status 0 when the screenshot was taken.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "media/Veddraw.h"
#include "platform/Display.h"

using namespace DirectX;

namespace {

void DrawPicture(TDSurface* surface)
{
    surface->BoxFill(0, 0, 319, 239, 0xFF0000);
    surface->BoxFill(320, 0, 639, 239, 0x00FF00);
    surface->BoxFill(0, 240, 319, 479, 0x0000FF);
    surface->BoxFill(320, 240, 639, 479, 0xFFFFFF);
}

void PumpFor(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        Display::PumpEvents(10);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: flipshot <screenshot file>\n");
        return 2;
    }
    TDDraw display(nullptr);
    display.SetFullScreen(false);
    display.SetEnabled(true);
    if (!display.GetEnabled()) {
        std::fprintf(stderr, "flipshot: the display did not open\n");
        return 1;
    }
    TDSurface* back = display.Surface();
    std::atomic<bool> flipped{false};
    std::thread frame([&] {
        DrawPicture(back);
        display.Flip();
        display.WaitPresented();
        back->BoxFill(100, 50, 115, 65, 0xFF00FF);
        TVeRectSet square;
        square.UnionRect(VeRect(100, 50, 116, 66));
        display.FlipModifyRect(square);
        display.WaitPresented();
        flipped.store(true);
    });
    while (!flipped.load())
        Display::PumpEvents(10);
    frame.join();
    // Let the window settle (map, expose) before the photograph.
    PumpFor(500);
    std::atomic<bool> shot{false};
    int status = -1;
    std::thread camera([&] {
        const std::string command = "import -window root -depth 8 '" + std::string(argv[1]) + "'";
        status = std::system(command.c_str());
        shot.store(true);
    });
    while (!shot.load())
        Display::PumpEvents(10);
    camera.join();
    display.SetEnabled(false);
    if (status != 0) {
        std::fprintf(stderr, "flipshot: import failed (%d)\n", status);
        return 1;
    }
    return 0;
}
