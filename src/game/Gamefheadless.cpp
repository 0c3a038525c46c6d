// The default display and root: a display with a memory back surface and no window, and a
// root that draws nothing. They serve until the display component and the panel tree are
// wired in through the factories, and keep the form runnable headless.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/Vergbdib.h"
#include "game/Gamefdisplay.h"
#include "media/Getdxver.h"

namespace {

std::mutex FactoryLock;
TGameDisplayFactory DisplayFactory;
TGameRootFactory RootFactory;

class THeadlessDisplay : public TGameDisplay {
public:
    int Version() override { return DirectX::GetDXVersion(); }
    bool DesktopMode(int& width, int& height, int& bitsPerPixel) override
    {
        width = 1024;
        height = 768;
        bitsPerPixel = 32;
        return true;
    }
    void EnumDisplayModes(std::vector<TGameDisplayMode>& modes) override
    {
        modes.clear();
        modes.push_back({bd32, pf32_888, true});
    }
    void Configure(TBitDepth depth, bool, bool) override { FDepth = depth; }
    void SetNoVSync(bool) override {}
    bool Enable() override
    {
        if (FSurface)
            return true;
        auto surface = std::make_unique<TVeRGBDib>(nullptr);
        surface->SetBitDepth(FDepth == bd32 ? bd32 : bd24);
        if (!surface->Create())
            return false;
        FSurface = std::move(surface);
        return true;
    }
    void Disable() override { FSurface.reset(); }
    bool Enabled() override { return FSurface != nullptr; }
    TBitDepth BitDepth() override { return FSurface ? FSurface->BitDepth() : FDepth; }
    TVeRGBBits* Surface() override { return FSurface.get(); }
    TVeRGBBits* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height) override
    {
        auto surface = std::make_unique<TVeRGBDib>(nullptr);
        surface->SetBitDepth(depth);
        surface->SetPixFormat(format);
        if (!surface->Resize(width, height) || !surface->Create())
            return nullptr;
        return surface.release();
    }
    void Flip() override {}
    void FlipModifyRect(const TVeRectSet&) override {}
    void SetModifyRect(const TVeRect&) override {}
    bool CursorPos(int&, int&) override { return false; }
    bool AppActive() override { return true; }
    void ShowWindow(const std::string&, bool) override {}
    void PumpEvents(int timeoutMs, const TDisplayEventHandler&) override
    {
        if (timeoutMs <= 0)
            return;
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait_for(lock, std::chrono::milliseconds(timeoutMs));
    }
    void WaitPresented(int) override {}

private:
    TBitDepth FDepth = bd32;
    std::unique_ptr<TVeRGBDib> FSurface;
    std::mutex FLock;
    std::condition_variable FWake;
};

class TEmptyRoot : public TGameRoot {
public:
    bool SetCreated(bool created) override
    {
        FCreated = created;
        return true;
    }
    bool Created() override { return FCreated; }
    void Anime() override {}
    void GetModifiedRectSet(TVeRectSet& rects) override { rects.SetRectEmpty(); }
    void Update(TVeRGBBits*) override {}
    void Draw(TVeRGBBits*) override {}
    void MouseMove(TShiftState, int, int) override {}
    void MouseDown(TMouseButton, TShiftState, int, int) override {}
    void MouseUp(TMouseButton, TShiftState, int, int) override {}
    void MouseWheel(TShiftState, int, TPoint, bool&) override {}
    void MouseEnter(int, int) override {}
    void MouseLeave() override {}
    void KeyDown(Word&, TShiftState) override {}
    void KeyUp(Word&, TShiftState) override {}
    void Attach(TVeRGBPanel*, int, int) override {}
    void Detach(TVeRGBPanel*) override {}

private:
    bool FCreated = false;
};

}  // namespace

void SetGameDisplayFactory(TGameDisplayFactory factory)
{
    std::lock_guard<std::mutex> lock(FactoryLock);
    DisplayFactory = std::move(factory);
}

void SetGameRootFactory(TGameRootFactory factory)
{
    std::lock_guard<std::mutex> lock(FactoryLock);
    RootFactory = std::move(factory);
}

std::unique_ptr<TGameDisplay> MakeGameDisplay()
{
    TGameDisplayFactory factory;
    {
        std::lock_guard<std::mutex> lock(FactoryLock);
        factory = DisplayFactory;
    }
    return factory ? factory() : std::make_unique<THeadlessDisplay>();
}

std::unique_ptr<TGameRoot> MakeGameRoot()
{
    TGameRootFactory factory;
    {
        std::lock_guard<std::mutex> lock(FactoryLock);
        factory = RootFactory;
    }
    return factory ? factory() : std::make_unique<TEmptyRoot>();
}
