#include "support/GameFormFixtures.h"

#include <cstdio>
#include <filesystem>

#include "base/Vepicture.h"
#include "support/Pictures.h"

bool TRecordingDisplay::DesktopMode(int& width, int& height, int& bits)
{
    width = FConfig->DesktopWidth;
    height = FConfig->DesktopHeight;
    bits = FConfig->DesktopBits;
    return true;
}

void TRecordingDisplay::Configure(TBitDepth depth, bool fullScreen, bool noVSync)
{
    FDepth = depth;
    FullScreen = fullScreen;
    NoVSync.store(noVSync);
}

bool TRecordingDisplay::Enable()
{
    if (!FConfig->EnableResult)
        return false;
    FSurface = std::make_unique<TVeRGBDib>(nullptr);
    // A 16-bit screen is kept as 24-bit memory here; only its reported depth matters.
    FSurface->SetBitDepth(FDepth == bd32 ? bd32 : bd24);
    return FSurface->Create();
}

TVeRGBBits* TRecordingDisplay::CreateSurface(TBitDepth depth, TPixFormat format, int width, int height)
{
    auto surface = std::make_unique<TVeRGBDib>(nullptr);
    surface->SetBitDepth(depth);
    surface->SetPixFormat(format);
    if (!surface->Resize(width, height) || !surface->Create())
        return nullptr;
    return surface.release();
}

void TRecordingDisplay::Flip()
{
    std::lock_guard<std::mutex> lock(FLock);
    FPresents.push_back({{VeRect(0, 0, 640, 480)}, true});
}

void TRecordingDisplay::FlipModifyRect(const TVeRectSet& rects)
{
    std::lock_guard<std::mutex> lock(FLock);
    TPresent present;
    for (const TVeRect& r : rects)
        present.Rects.push_back(r);
    FPresents.push_back(present);
}

bool TRecordingDisplay::CursorPos(int& x, int& y)
{
    if (!FConfig->CursorKnown.load())
        return false;
    x = FConfig->CursorX.load();
    y = FConfig->CursorY.load();
    return true;
}

std::vector<TRecordingDisplay::TPresent> TRecordingDisplay::Presents()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPresents;
}

void TRecordingDisplay::ClearPresents()
{
    std::lock_guard<std::mutex> lock(FLock);
    FPresents.clear();
}

bool TRecordingRoot::SetCreated(bool created)
{
    Record(created ? "create" : "uncreate");
    if (created && !CreateResult)
        return false;
    FCreated = created;
    return true;
}

void TRecordingRoot::GetModifiedRectSet(TVeRectSet& rects)
{
    std::lock_guard<std::mutex> lock(FLock);
    rects.SetRectEmpty();
    for (const TVeRect& r : FDirty)
        rects.UnionRect(r);
}

void TRecordingRoot::Update(TVeRGBBits* target)
{
    std::vector<TVeRect> dirty;
    {
        std::lock_guard<std::mutex> lock(FLock);
        dirty.swap(FDirty);
    }
    for (const TVeRect& r : dirty)
        target->BoxFill(r.left, r.top, r.right - 1, r.bottom - 1, Colour);
    Record("update");
}

void TRecordingRoot::Draw(TVeRGBBits* target)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FDirty.clear();
    }
    target->BoxFill(0, 0, 639, 479, Colour);
    Record("draw");
}

static std::string Shift(TShiftState s)
{
    return std::to_string(s.ToInt());
}

void TRecordingRoot::MouseMove(TShiftState shift, int x, int y)
{
    Record("move " + std::to_string(x) + " " + std::to_string(y) + " " + Shift(shift));
}

void TRecordingRoot::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    Record("down " + std::to_string(button) + " " + std::to_string(x) + " " + std::to_string(y) + " " + Shift(shift));
}

void TRecordingRoot::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    Record("up " + std::to_string(button) + " " + std::to_string(x) + " " + std::to_string(y) + " " + Shift(shift));
}

void TRecordingRoot::MouseWheel(TShiftState shift, int delta, TPoint pos, bool&)
{
    Record("wheel " + std::to_string(delta) + " " + std::to_string(pos.x) + " " + std::to_string(pos.y) + " " +
           Shift(shift));
}

void TRecordingRoot::MouseEnter(int x, int y)
{
    Record("enter " + std::to_string(x) + " " + std::to_string(y));
}

void TRecordingRoot::MouseLeave()
{
    Record("leave");
}

void TRecordingRoot::KeyDown(Word& key, TShiftState shift)
{
    Record("keydown " + std::to_string(key) + " " + Shift(shift));
}

void TRecordingRoot::KeyUp(Word& key, TShiftState shift)
{
    Record("keyup " + std::to_string(key) + " " + Shift(shift));
}

void TRecordingRoot::Attach(TVeRGBPanel*, int x, int y)
{
    Record("attach " + std::to_string(x) + " " + std::to_string(y));
}

std::vector<std::string> TRecordingRoot::Calls()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FCalls;
}

void TRecordingRoot::ClearCalls()
{
    std::lock_guard<std::mutex> lock(FLock);
    FCalls.clear();
}

void TRecordingRoot::SetDirty(std::vector<TVeRect> rects)
{
    std::lock_guard<std::mutex> lock(FLock);
    FDirty = std::move(rects);
}

void TRecordingRoot::Record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(FLock);
    FCalls.push_back(call);
}

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

TDecodedPicture Solid(int width, int height, uint32_t rgb, uint8_t alpha, bool withAlpha)
{
    TDecodedPicture p;
    p.Width = width;
    p.Height = height;
    p.Pixels.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < p.Pixels.size(); i += 3) {
        p.Pixels[i] = static_cast<uint8_t>(rgb);
        p.Pixels[i + 1] = static_cast<uint8_t>(rgb >> 8);
        p.Pixels[i + 2] = static_cast<uint8_t>(rgb >> 16);
    }
    if (withAlpha)
        p.Alpha.assign(static_cast<size_t>(width) * height, alpha);
    return p;
}

}  // namespace

void WriteGamePictures(const std::string& folder, int which)
{
    std::string pak = folder + "/ZB_Pak/";
    if (which & gpCursor) {
        // Every frame opaque in its top-left 8x8 square, clear elsewhere.
        TDecodedPicture cursor = Solid(256, 32, CursorColour, 0, true);
        for (int frame = 0; frame < 8; ++frame)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    cursor.Alpha[static_cast<size_t>(y) * 256 + frame * 32 + x] = 255;
        std::vector<uint8_t> bytes;
        EncodePng(bytes, cursor);
        WriteBytes(pak + "Cursor.png", bytes);
    }
    if (which & gpWait)
        WriteBytes(pak + "Wait.bmp", MakeBmp(MakePatternPicture(240, 352), TBmpKind::Rgb24));
    if (which & gpCapLogo) {
        std::vector<uint8_t> bytes;
        EncodePng(bytes, Solid(64, 16, 0x808080, 128, true));
        WriteBytes(pak + "Cap_Logo.png", bytes);
    }
    if (which & gpCapCopy) {
        std::vector<uint8_t> bytes;
        EncodePng(bytes, Solid(64, 16, 0x404040, 200, true));
        WriteBytes(pak + "Cap_Copy.png", bytes);
    }
}
