// The transition record as the frame loop and the renderer drive it. The effects join this
// unit; until then every transition shows the new screen at once.
#include "base/Vememman.h"
#include "game/Gamef.h"

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
    if (TransEffect >= 0)
        TransProgress += frames;
}

void TGameForm::DrawTransition(TVeRGBBits* dest, TVeRectSet* dirty)
{
    if (TransEffect < 0 || !dest)
        return;
    if (TransNew) {
        dest->Draw(0, 0, TransNew, 0, 0, 640, 480);
        if (dirty)
            dirty->UnionRect(VeRect(0, 0, 640, 480));
    }
    TransEffect = -1;
    TransDrawn = TransProgress;
}

TVeRGBBits* TGameForm::CreateEffectBuffer() { return nullptr; }
void TGameForm::DrawScreenTo(TVeRGBBits*) {}
void TGameForm::DrawEffectBuffer(TVeRGBBits*) {}
bool TGameForm::SetTransition(int, TVeRGBBits*&, TVeRGBBits*&) { return false; }
bool TGameForm::StartTransitionFrame(int, TVeRGBBits*&, TVeRGBBits*&) { return false; }
void TGameForm::DrawTransFade(TVeRGBBits*, TVeRectSet*, int) {}
void TGameForm::DrawTransSlide(TVeRGBBits*, TVeRectSet*, int) {}
void TGameForm::DrawTransZoomIn(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransZoomIn2(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransZoomBlur(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransZoomBlur2(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransWater(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransHalation(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransMaskAdd(TVeRGBBits*, TVeRectSet*) {}
void TGameForm::DrawTransMaskFade(TVeRGBBits*, TVeRectSet*) {}
