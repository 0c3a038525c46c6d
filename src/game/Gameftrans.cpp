// The screen transition service: the two pictures of a running transition, its progress, and
// the drivers that turn progress into effect levels each drawn frame.
#include <mutex>

#include "base/Vememman.h"
#include "base/Verectset.h"
#include "game/Gamef.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbeffect.h"

namespace {

constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;

bool Usable(const TVeRGBBits* picture)
{
    return picture && picture->Created() && picture->Width() == ScreenWidth && picture->Height() == ScreenHeight;
}

// Both pictures belong to the service once handed over; a refused pair must not leak.
void DeletePictures(TVeRGBBits*& oldImage, TVeRGBBits*& newImage)
{
    if (newImage == oldImage)
        newImage = nullptr;
    if (MemMan) {
        MemMan->Delete(oldImage);
        MemMan->Delete(newImage);
    }
}

std::unique_lock<TCriticalSection> LockIf(TCriticalSection* lock)
{
    return lock ? std::unique_lock<TCriticalSection>(*lock) : std::unique_lock<TCriticalSection>();
}

// Progress-driven effects: level = multiplier x progress until the threshold, then the last
// level. A frame whose progress has not moved draws nothing.
template <class Routine>
void DriveLevels(TGameForm& form, int multiplier, int last, int threshold, Routine routine)
{
    if (!form.TransOld || !form.TransNew || multiplier < 1) {
        form.TransEffect = -1;
    } else if (form.TransDrawn < 0) {
        routine(0);
    } else if (form.TransProgress < threshold) {
        if (form.TransProgress != form.TransDrawn && routine(multiplier * form.TransProgress))
            form.TransEffect = -1;
    } else {
        routine(last);
        form.TransEffect = -1;
    }
}

// Step-driven effects: one step per drawn frame in which the progress moved, however many
// logic frames passed.
template <class First, class Routine>
void DriveSteps(TGameForm& form, int last, bool needsNew, First first, Routine routine)
{
    if (!form.TransOld || (needsNew && !form.TransNew)) {
        form.TransEffect = -1;
    } else if (form.TransDrawn < 0) {
        form.TransStep = 0;
        first(0);
    } else if (form.TransStep < last) {
        if (form.TransProgress != form.TransDrawn) {
            ++form.TransStep;
            if (routine(form.TransStep))
                form.TransEffect = -1;
        }
    } else {
        routine(last);
        form.TransEffect = -1;
    }
}

}  // namespace

TVeRGBBits* TGameForm::CreateEffectBuffer()
{
    TVeRGBBits* buffer = MemMan ? MemMan->CreateVCL<TVeRGBBits>() : nullptr;
    if (buffer) {
        buffer->SetBitDepth(BitDepth);
        if (!buffer->Resize(ScreenWidth, ScreenHeight) || !buffer->Create())
            MemMan->Delete(buffer);
    }
    if (!buffer) {
        if (ErrLog)
            ErrLog->Add("CreateEffectBuffer Error");
        throw EGameErr();
    }
    return buffer;
}

void TGameForm::DrawScreenTo(TVeRGBBits* dest)
{
    auto state = LockIf(StateLock);
    auto fps = LockIf(FpsLock);
    TVeRGBBits* screen = Target();
    if (!dest || !screen || !dest->Lock())
        return;
    if (screen->Lock()) {
        // The display surface may have another pixel format than the buffer.
        dest->ConvertCopy(0, 0, screen, 0, 0, ScreenWidth, ScreenHeight);
        screen->Unlock();
    }
    dest->Unlock();
}

void TGameForm::DrawEffectBuffer(TVeRGBBits* dest)
{
    auto state = LockIf(StateLock);
    auto fps = LockIf(FpsLock);
    if (!dest)
        return;
    dest->Cls();
    if (!WaitImage)
        return;
    int row = WaitFrame < 30 ? 44 : 28 * WaitFrame - 768;
    dest->Draw(384, 392, WaitImage, 0, 0, 240, 44);
    dest->Draw(384, 436, WaitImage, 0, row, 240, 28);
}

bool TGameForm::SetTransition(int effect, TVeRGBBits*& oldImage, TVeRGBBits*& newImage)
{
    if (!Usable(oldImage) || !Usable(newImage) || oldImage == newImage) {
        DeletePictures(oldImage, newImage);
        return false;
    }
    auto lock = LockIf(StateLock);
    if (MemMan) {
        MemMan->Delete(TransOld);
        MemMan->Delete(TransNew);
    }
    TransOld = oldImage;
    TransNew = newImage;
    oldImage = nullptr;
    newImage = nullptr;
    TransEffect = effect;
    TransProgress = 0;
    TransDrawn = -1;
    return true;
}

bool TGameForm::StartTransitionFrame(int effect, TVeRGBBits*& oldImage, TVeRGBBits*& newImage)
{
    auto lock = LockIf(StateLock);
    // The record is complete before state 7 is visible: a wait-thread pass still running
    // reads it only in that state.
    if (!SetTransition(effect, oldImage, newImage)) {
        SetState(gsIdle);
        return false;
    }
    SetState(gsTransition);
    ResetFrameCounters();
    ForceRender();
    return true;
}

bool TGameForm::IsTransitionIdle()
{
    return TransEffect < 0;
}

void TGameForm::EndTransition()
{
    TransEffect = -1;
    if (MemMan) {
        MemMan->Delete(TransOld);
        MemMan->Delete(TransNew);
    }
}

void TGameForm::AdvanceTransition(int frames)
{
    if (TransEffect >= 0 && frames > 0)
        TransProgress += frames;
}

void TGameForm::DrawTransition(TVeRGBBits* dest, TVeRectSet* dirty)
{
    if (TransEffect < 0 || !dest)
        return;
    switch (TransEffect) {
    case 0: DrawTransFade(dest, dirty, 4); break;
    case 1: DrawTransFade(dest, dirty, 8); break;
    case 2: DrawTransFade(dest, dirty, 2); break;
    case 3: case 4: case 5: case 6: DrawTransSlide(dest, dirty, TransEffect - 3); break;
    case 7: DrawTransZoomIn(dest, dirty); break;
    case 8: DrawTransZoomIn2(dest, dirty); break;
    case 9: DrawTransZoomBlur(dest, dirty); break;
    case 10: DrawTransZoomBlur2(dest, dirty); break;
    case 11: DrawTransWater(dest, dirty); break;
    case 12: DrawTransHalation(dest, dirty); break;
    case 100: DrawTransMaskAdd(dest, dirty); break;
    case 101: DrawTransMaskFade(dest, dirty); break;
    default:
        if (TransNew) {
            dest->Draw(0, 0, TransNew, 0, 0, ScreenWidth, ScreenHeight);
            if (dirty)
                dirty->UnionRect(VeRect(0, 0, ScreenWidth, ScreenHeight));
        }
        TransEffect = -1;
        break;
    }
    TransDrawn = TransProgress;
}

void TGameForm::DrawTransFade(TVeRGBBits* dest, TVeRectSet* dirty, int multiplier)
{
    int threshold = multiplier >= 1 ? 128 / multiplier : 0;
    DriveLevels(*this, multiplier, 128, threshold,
                [&](int level) { return TransFade(dest, dirty, TransOld, TransNew, level); });
}

void TGameForm::DrawTransSlide(TVeRGBBits* dest, TVeRectSet* dirty, int direction)
{
    DriveLevels(*this, 5, 160, 32,
                [&](int level) { return TransSlide(dest, dirty, TransOld, TransNew, level, direction); });
}

void TGameForm::DrawTransMaskAdd(TVeRGBBits* dest, TVeRectSet* dirty)
{
    DriveLevels(*this, 16, 511, 32,
                [&](int level) { return TransMaskAdd(dest, dirty, TransOld, TransNew, level); });
}

void TGameForm::DrawTransMaskFade(TVeRGBBits* dest, TVeRectSet* dirty)
{
    DriveLevels(*this, 8, 255, 32,
                [&](int level) { return TransMaskFade(dest, dirty, TransOld, TransNew, level); });
}

void TGameForm::DrawTransZoomIn(TVeRGBBits* dest, TVeRectSet* dirty)
{
    auto zoom = [&](int step) { return TransZoomIn(dest, dirty, TransOld, TransNew, step); };
    DriveSteps(*this, 36, false, zoom, zoom);
}

void TGameForm::DrawTransZoomIn2(TVeRGBBits* dest, TVeRectSet* dirty)
{
    DriveSteps(
        *this, 20, false, [&](int step) { return TransZoomIn(dest, dirty, TransOld, TransNew, step); },
        [&](int step) { return TransZoomIn2(dest, dirty, TransOld, TransNew, step); });
}

void TGameForm::DrawTransZoomBlur(TVeRGBBits* dest, TVeRectSet* dirty)
{
    auto blur = [&](int step) { return TransZoomBlur(dest, dirty, TransOld, TransNew, step); };
    DriveSteps(*this, 36, false, blur, blur);
}

void TGameForm::DrawTransZoomBlur2(TVeRGBBits* dest, TVeRectSet* dirty)
{
    DriveSteps(
        *this, 20, false, [&](int step) { return TransZoomBlur(dest, dirty, TransOld, TransNew, step); },
        [&](int step) { return TransZoomBlur2(dest, dirty, TransOld, TransNew, step); });
}

void TGameForm::DrawTransWater(TVeRGBBits* dest, TVeRectSet* dirty)
{
    auto water = [&](int step) { return TransWater(dest, dirty, TransOld, TransNew, step); };
    DriveSteps(*this, 70, true, water, water);
}

void TGameForm::DrawTransHalation(TVeRGBBits* dest, TVeRectSet* dirty)
{
    auto halation = [&](int step) { return TransHalation(dest, dirty, TransOld, TransNew, step); };
    DriveSteps(*this, 37, false, halation, halation);
}
