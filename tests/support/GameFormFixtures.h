#pragma once
// Test doubles for the main form: a display that records what is presented and a root that
// records what it is asked, plus a game folder of generated pictures.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Vergbdib.h"
#include "game/Gamefdisplay.h"

struct TRecordingDisplayConfig {
    int Version = 0x700;
    int DesktopWidth = 1024;
    int DesktopHeight = 768;
    int DesktopBits = 32;
    std::vector<TGameDisplayMode> Modes{{bd32, pf32_888, true}};
    bool EnableResult = true;
    std::atomic<bool> Active{true};
    std::atomic<int> CursorX{-1000};
    std::atomic<int> CursorY{-1000};
    std::atomic<bool> CursorKnown{false};
};

class TRecordingDisplay : public TGameDisplay {
public:
    explicit TRecordingDisplay(std::shared_ptr<TRecordingDisplayConfig> config) : FConfig(std::move(config)) {}

    int Version() override { return FConfig->Version; }
    bool DesktopMode(int& width, int& height, int& bits) override;
    void EnumDisplayModes(std::vector<TGameDisplayMode>& modes) override { modes = FConfig->Modes; }
    void Configure(TBitDepth depth, bool fullScreen, bool noVSync) override;
    void SetNoVSync(bool noVSync) override { NoVSync.store(noVSync); }
    bool Enable() override;
    void Disable() override { FSurface.reset(); }
    bool Enabled() override { return FSurface != nullptr; }
    TBitDepth BitDepth() override { return FDepth; }
    TVeRGBBits* Surface() override { return FSurface.get(); }
    TVeRGBBits* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height) override;
    void Flip() override;
    void FlipModifyRect(const TVeRectSet& rects) override;
    void SetModifyRect(const TVeRect&) override {}
    bool CursorPos(int& x, int& y) override;
    bool AppActive() override { return FConfig->Active.load(); }
    void ShowWindow(const std::string&, bool) override {}
    void PumpEvents(int, const TDisplayEventHandler&) override {}
    void WaitPresented(int) override {}

    // Each presentation: the rectangles, or one full-screen rectangle for Flip (Full set).
    struct TPresent {
        std::vector<TVeRect> Rects;
        bool Full = false;
    };
    std::vector<TPresent> Presents();
    void ClearPresents();

    std::atomic<bool> NoVSync{false};
    bool FullScreen = false;

private:
    std::shared_ptr<TRecordingDisplayConfig> FConfig;
    TBitDepth FDepth = bd32;
    std::unique_ptr<TVeRGBDib> FSurface;
    std::mutex FLock;
    std::vector<TPresent> FPresents;
};

class TRecordingRoot : public TGameRoot {
public:
    bool SetCreated(bool created) override;
    bool Created() override { return FCreated; }
    void Anime() override { AnimeCount.fetch_add(1); }
    void GetModifiedRectSet(TVeRectSet& rects) override;
    void Update(TVeRGBBits* target) override;
    void Draw(TVeRGBBits* target) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseWheel(TShiftState shift, int delta, TPoint pos, bool& handled) override;
    void MouseEnter(int x, int y) override;
    void MouseLeave() override;
    void KeyDown(Word& key, TShiftState shift) override;
    void KeyUp(Word& key, TShiftState shift) override;
    void Attach(TVeRGBPanel*, int x, int y) override;
    void Detach(TVeRGBPanel*) override { Record("detach"); }

    std::vector<std::string> Calls();
    void ClearCalls();
    // The next GetModifiedRectSet answers these; Update paints them with Colour.
    void SetDirty(std::vector<TVeRect> rects);

    std::atomic<int> AnimeCount{0};
    bool CreateResult = true;
    uint32_t Colour = 0x102030;

private:
    void Record(const std::string& call);
    std::mutex FLock;
    std::vector<std::string> FCalls;
    std::vector<TVeRect> FDirty;
    bool FCreated = false;
};

// The pictures the form loads at its showing, made in the folder's "ZB_Pak".
enum TGamePicture { gpCursor = 1, gpWait = 2, gpCapLogo = 4, gpCapCopy = 8, gpAll = 15 };
void WriteGamePictures(const std::string& folder, int which = gpAll);
// The cursor frame colour the generated cursor has (fully opaque in its top-left 8x8).
constexpr uint32_t CursorColour = 0xFF00FF;
