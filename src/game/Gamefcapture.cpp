// PrintScreen: a 640x480 24-bit picture of the screen, marked with the logo and copyright
// overlays (and on Alt+PrintScreen the game's cursor), put on the clipboard as a PNG. No file
// is written; a free capture name is only a gate.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Vepicture.h"
#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "platform/Clipboard.h"
#include "platform/Filenames.h"

namespace {

constexpr int CaptureNames = 999;  // numbers 000 to 998

// True when some number 000..998 has no file of the capture pattern in the folder. Names match
// without regard to case, as every game file name does, so that a capture is never written
// beside one whose name differs only in case.
bool CaptureNameFree(const std::string& folder)
{
    std::vector<bool> taken(CaptureNames, false);
    std::string pattern = CaptureFileName;
    pattern.replace(pattern.find("%03d"), 4, "???");
    for (const std::string& name : ListFolder(folder, pattern)) {
        const char* digits = name.c_str() + 5;
        if (std::isdigit(static_cast<unsigned char>(digits[0])) && std::isdigit(static_cast<unsigned char>(digits[1])) &&
            std::isdigit(static_cast<unsigned char>(digits[2]))) {
            int number = (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
            if (number < CaptureNames)
                taken[static_cast<size_t>(number)] = true;
        }
    }
    for (bool t : taken)
        if (!t)
            return true;
    return false;
}

// An overlay is drawn only when both its picture and its plane exist.
void DrawOverlay(TVeRGBBits* dest, TVeRGBBits* image, TVeAlpha* alpha, int x, int y)
{
    if (image && alpha && image->Created() && alpha->Created())
        dest->DrawAlphaMask(x, y, image, 0, 0, image->Width(), image->Height(), alpha);
}

}  // namespace

void TGameForm::AppMessage(const TDisplayEvent& message, bool& handled)
{
    if (message.Key != VK_SNAPSHOT ||
        (message.Kind != TDisplayEventKind::KeyDown && message.Kind != TDisplayEventKind::KeyUp))
        return;
    handled = true;
    // A hotkey fires on its exact modifier set: PrintScreen alone, or with Alt alone.
    if (message.Kind != TDisplayEventKind::KeyDown || (message.Modifiers != 0 && message.Modifiers != dmAlt))
        return;
    // Key events reach the form only from its own window; the check still keeps a press that
    // arrives as the window loses the focus from being taken.
    if (FDisplay && FDisplay->AppActive())
        CopyScreenToClipboard(message.Modifiers == dmAlt ? CaptureHotKeyAlt : CaptureHotKey);
}

bool TGameForm::CopyScreenToClipboard(int id)
{
    if (!CaptureNameFree(GameFolder()))
        return false;

    auto shot = std::make_unique<TVeRGBBits>(nullptr);
    shot->SetBitDepth(bd24);
    if (!shot->Resize(640, 480) || !shot->Create())
        return false;

    // The frame threads draw and remove their own cursor under FpsLock, and the screen
    // images are freed under it: the screen is read, and our cursor drawn and removed, only
    // while holding it, so no frame ever shows our cursor.
    bool read = false;
    if (FpsLock) {
        std::lock_guard<TCriticalSection> lock(*FpsLock);
        TVeRGBBits* screen = Target();
        if (screen && screen->Lock()) {
            read = true;
            int type = CursorType.load();
            int cx = CursorX.load(), cy = CursorY.load();
            bool cursor = id == CaptureHotKeyAlt && type >= 0 && CursorImage && CursorAlpha && CursorBack;
            if (cursor) {
                CursorBack->ClipDraw(0, 0, screen, cx, cy, 32, 32);
                screen->DrawAlphaMask(cx, cy, CursorImage, 32 * type, 0, 32, 32, CursorAlpha);
            }
            shot->ConvertCopy(0, 0, screen, 0, 0, 640, 480);
            if (cursor)
                screen->Draw(cx, cy, CursorBack, 0, 0, 32, 32);
            screen->Unlock();
        }
    }
    // A picture without the screen would be only the overlays on black: nothing is copied.
    if (!read) {
        if (ErrLog)
            ErrLog->Add(LogCaptureFailed);
        return false;
    }

    DrawOverlay(shot.get(), CapLogoImage, CapLogoAlpha, 8, 0);
    if (CapCopyImage)
        DrawOverlay(shot.get(), CapCopyImage, CapCopyAlpha, 640 - CapCopyImage->Width(), 480 - CapCopyImage->Height());

    bool copied = false;
    try {
        TDecodedPicture picture;
        picture.Width = 640;
        picture.Height = 480;
        picture.Pixels.resize(static_cast<size_t>(640) * 480 * 3);
        copied = shot->GetPat(0, 0, 640, 480, picture.Pixels.data());
        std::vector<uint8_t> png;
        copied = copied && EncodePng(png, picture);
        copied = copied && SetClipboardPicture(png);
    } catch (...) {
        copied = false;
    }
    if (!copied && ErrLog)
        ErrLog->Add(LogCaptureFailed);
    return copied;
}
