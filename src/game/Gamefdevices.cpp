// The form's display and root as the game runs them: the display component with its window,
// and the root panel of the panel tree. Tests replace both through the factories.
#include <chrono>
#include <mutex>
#include <thread>

#include "base/Vememman.h"
#include "game/Gamef.h"
#include "media/Getdxver.h"
#include "media/Veddraw.h"
#include "panels/Vergbpanel.h"
#include "platform/Display.h"

namespace {

std::mutex FactoryLock;
TGameDisplayFactory DisplayFactory;
TGameRootFactory RootFactory;

class TWindowDisplay : public TGameDisplay {
public:
    TWindowDisplay() : FDDraw(new DirectX::TDDraw(nullptr)) {}
    ~TWindowDisplay() override { Display::SetInputHandler(nullptr); }

    int Version() override { return DirectX::GetDXVersion(); }
    bool DesktopMode(int& width, int& height, int& bitsPerPixel) override
    {
        Display::TDesktopMode mode;
        if (!Display::GetDesktopMode(mode))
            return false;
        width = mode.Width;
        height = mode.Height;
        bitsPerPixel = mode.BytesPerPixel * 8;
        return true;
    }
    void EnumDisplayModes(std::vector<TGameDisplayMode>& modes) override
    {
        std::vector<DirectX::TDisplayMode> found;
        modes.clear();
        FDDraw->ENumDisplayModes(found, true);
        for (const DirectX::TDisplayMode& m : found)
            modes.push_back({m.BitDepth, m.PixFormat, m.ScreenSize == DirectX::ss640x480});
    }
    void Configure(TBitDepth depth, bool fullScreen, bool noVSync) override
    {
        FDDraw->SetBitDepth(depth);
        FDDraw->SetFullScreen(fullScreen);
        FDDraw->SetBackType(DirectX::btSystem);
        FDDraw->SetTripleBuffer(true);
        FDDraw->SetNoVSync(noVSync);
    }
    void SetNoVSync(bool noVSync) override { FDDraw->SetNoVSync(noVSync); }
    bool Enable() override
    {
        FDDraw->SetEnabled(true);
        return FDDraw->GetEnabled();
    }
    void Disable() override { FDDraw->SetEnabled(false); }
    bool Enabled() override { return FDDraw->GetEnabled(); }
    TBitDepth BitDepth() override { return FDDraw->BitDepth(); }
    TVeRGBBits* Surface() override { return FDDraw->Surface(); }
    TVeRGBBits* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height) override
    {
        return FDDraw->CreateSurface(depth, format, width, height, false);
    }
    void Flip() override { FDDraw->Flip(); }
    void FlipModifyRect(const TVeRectSet& rects) override { FDDraw->FlipModifyRect(rects); }
    void SetModifyRect(const TVeRect& rect) override { FDDraw->SetModifyRect(rect); }
    bool CursorPos(int& x, int& y) override
    {
        if (!FDDraw->GetEnabled())
            return false;
        x = Display::MouseX();
        y = Display::MouseY();
        return true;
    }
    bool AppActive() override { return Display::ApplicationActive(); }
    void ShowWindow(const std::string& title, bool visible) override
    {
        if (visible)
            FDDraw->SetCaption(title);
    }
    void PumpEvents(int timeoutMs, const TDisplayEventHandler& handler) override
    {
        Display::SetInputHandler([&handler](const Display::TInputEvent& in) {
            if (in.Kind != Display::TEventKind::Activate && in.Kind != Display::TEventKind::Deactivate)
                handler(Translate(in));
        });
        bool open = Display::PumpEvents(timeoutMs);
        Display::SetInputHandler(nullptr);
        if (!open && timeoutMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    }
    bool CanWakePump() const override { return true; }
    void WakePump() override { Display::Wake(); }
    std::string Name() override { return Display::ServerName(); }
    bool Lost() override { return Display::ServerLost(); }
    void WaitPresented(int) override { FDDraw->WaitPresented(); }

private:
    // The window already gives game coordinates, key codes and the shift state.
    static TDisplayEvent Translate(const Display::TInputEvent& in)
    {
        TDisplayEvent e;
        using K = Display::TEventKind;
        switch (in.Kind) {
        case K::MouseMove: e.Kind = TDisplayEventKind::MouseMove; break;
        case K::MouseDown: e.Kind = TDisplayEventKind::MouseDown; break;
        case K::MouseUp: e.Kind = TDisplayEventKind::MouseUp; break;
        case K::Wheel: e.Kind = TDisplayEventKind::Wheel; break;
        case K::MouseEnter: e.Kind = TDisplayEventKind::Enter; break;
        case K::MouseLeave: e.Kind = TDisplayEventKind::Leave; break;
        case K::KeyDown: e.Kind = TDisplayEventKind::KeyDown; break;
        case K::KeyUp: e.Kind = TDisplayEventKind::KeyUp; break;
        case K::Close: e.Kind = TDisplayEventKind::Close; break;
        case K::DisplayLost: e.Kind = TDisplayEventKind::DisplayLost; break;
        default: break;
        }
        e.X = in.X;
        e.Y = in.Y;
        e.Viewport = VeRect(0, 0, 640, 480);
        e.Modifiers = static_cast<uint8_t>((in.Shift.Contains(ssShift) ? dmShift : 0) |
                                           (in.Shift.Contains(ssCtrl) ? dmCtrl : 0) |
                                           (in.Shift.Contains(ssAlt) ? dmAlt : 0));
        e.Buttons = static_cast<uint8_t>((in.Shift.Contains(ssLeft) ? dbLeft : 0) |
                                         (in.Shift.Contains(ssRight) ? dbRight : 0) |
                                         (in.Shift.Contains(ssMiddle) ? dbMiddle : 0));
        e.Button = in.Button == mbRight ? dbRight : in.Button == mbMiddle ? dbMiddle : dbLeft;
        e.Clicks = in.Shift.Contains(ssDouble) ? 2 : 1;
        e.WheelNotches = in.WheelDelta / 120;
        e.Key = in.Key;
        return e;
    }

    Display::TVideoSession FVideo;  // outlives the window, so the driver starts once
    std::unique_ptr<DirectX::TDDraw> FDDraw;
};

class TPanelRoot : public TGameRoot {
public:
    TPanelRoot() : FPanel(MemMan ? MemMan->CreateVCL<TVeRGBPanel>() : nullptr) {}
    ~TPanelRoot() override
    {
        if (FPanel && MemMan)
            MemMan->Delete(FPanel);
    }
    bool Valid() const { return FPanel != nullptr; }

    TVeRGBPanel* Panel() override { return FPanel; }
    bool SetCreated(bool created) override
    {
        FPanel->SetCreated(created);
        return FPanel->Created() == created;
    }
    bool Created() override { return FPanel->Created(); }
    void Anime() override { FPanel->Anime(); }
    void GetModifiedRectSet(TVeRectSet& rects) override { FPanel->GetModifiedRectSet(&rects); }
    void Update(TVeRGBBits* target) override { FPanel->Update(target); }
    void Draw(TVeRGBBits* target) override { FPanel->Draw(target); }
    void MouseMove(TShiftState shift, int x, int y) override { FPanel->MouseMove(shift, x, y); }
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override
    {
        FPanel->MouseDown(button, shift, x, y);
    }
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override
    {
        FPanel->MouseUp(button, shift, x, y);
    }
    void MouseWheel(TShiftState shift, int delta, TPoint pos, bool& handled) override
    {
        FPanel->MouseWheel(shift, delta, pos, handled);
    }
    void MouseEnter(int x, int y) override { FPanel->MouseEnter(x, y); }
    void MouseLeave() override { FPanel->MouseLeave(); }
    void KeyDown(Word& key, TShiftState shift) override { FPanel->KeyDown(key, shift); }
    void KeyUp(Word& key, TShiftState shift) override { FPanel->KeyUp(key, shift); }
    void Attach(TVeRGBPanel* panel, int cursorX, int cursorY) override
    {
        if (!panel)
            return;
        panel->SetParent(FPanel);
        panel->MouseEnter(cursorX, cursorY);
    }
    void Detach(TVeRGBPanel* panel) override
    {
        if (panel)
            panel->SetParent(nullptr);
    }

private:
    TVeRGBPanel* FPanel;
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
    return factory ? factory() : std::make_unique<TWindowDisplay>();
}

std::unique_ptr<TGameRoot> MakeGameRoot()
{
    TGameRootFactory factory;
    {
        std::lock_guard<std::mutex> lock(FactoryLock);
        factory = RootFactory;
    }
    if (factory)
        return factory();
    auto root = std::make_unique<TPanelRoot>();
    if (!root->Valid())
        return nullptr;
    return root;
}
