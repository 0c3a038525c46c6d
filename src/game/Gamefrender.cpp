#include <cstdio>

#include "game/Gamef.h"
#include "platform/Graphics.h"

namespace {

const TVeRect Screen{0, 0, 640, 480};
const TVeRect FpsBox{544, 0, 640, 26};

// The wait picture: a 240x44 head, a still strip at row 44 and ten animation strips.
int WaitStripRow(int frame)
{
    return frame < 30 ? 44 : 28 * frame - 768;
}

}  // namespace

TVeRGBBits* TGameForm::Target()
{
    if (ConvertImage)
        return ConvertImage;
    return FDisplay ? FDisplay->Surface() : nullptr;
}

void TGameForm::SetCursorPos(int x, int y)
{
    int shift = CursorType.load() >= 1 ? 15 : 0;
    CursorX.store(x - shift);
    CursorY.store(y - shift);
}

void TGameForm::DrawWaitPicture(TVeRGBBits* target, int frame)
{
    if (!WaitImage || !target->Lock())
        return;
    target->Draw(384, 392, WaitImage, 0, 0, 240, 44);
    target->Draw(384, 436, WaitImage, 0, WaitStripRow(frame), 240, 28);
    target->Unlock();
}

void TGameForm::DrawFpsBox(TVeRGBBits* target)
{
    FFpsSaved = FPSBack && FPSBack->Draw(0, 0, target, FpsBox.left, FpsBox.top, FpsBox.Width(), FpsBox.Height());
    target->ToneChange(544, 0, 639, 25, 0x404040);
    char text[16];
    std::snprintf(text, sizeof text, "%2d FPS", FpsCounter.Value());
    int length = static_cast<int>(std::char_traits<char>::length(text));
    int bpp = BytesPerPixel(target->BitDepth());
    if (!Font24 || (bpp != 3 && bpp != 4) || !target->Lock())
        return;
    // A context on the box alone, so the text can never reach outside the area saved above.
    TPixelTarget box;
    box.Bits = target->Bits() + static_cast<ptrdiff_t>(FpsBox.left) * bpp;
    box.Pitch = target->Pitch();
    box.Width = FpsBox.Width();
    box.Height = FpsBox.Height();
    box.BytesPerPixel = bpp;
    if (HDC dc = CreateTargetDC(box)) {
        HFONT previous = SelectObject(dc, Font24->GetHandle());
        SetBkMode(dc, TRANSPARENT);
        TSize size;
        GetTextExtentPoint32(dc, text, length, &size);
        int w = size.cx < 96 ? size.cx : 96;
        SetTextColor(dc, RGB(0, 0, 0));
        TextOut(dc, 635 - w - FpsBox.left, 1, text, length);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, 634 - w - FpsBox.left, 0, text, length);
        SelectObject(dc, previous);
        ReleaseTargetDC(dc);
    }
    target->Unlock();
}

void TGameForm::DrawCursor(TVeRGBBits* target, TVeRectSet* dirty)
{
    int x = 0, y = 0;
    if (FDisplay && FDisplay->CursorPos(x, y))
        SetCursorPos(x, y);
    int type = CursorType.load();
    FCursorSaved.store(false);
    if (type < 0)
        return;
    int cx = CursorX.load(), cy = CursorY.load();
    if (dirty)
        dirty->UnionRect(VeRect(cx, cy, cx + 32, cy + 32));
    if (!CursorImage || !CursorAlpha || !CursorBack)
        return;
    CursorBack->ClipDraw(0, 0, target, cx, cy, 32, 32);
    FCursorSavedX = cx;
    FCursorSavedY = cy;
    FCursorSaved.store(true);
    target->DrawAlphaMask(cx, cy, CursorImage, 32 * type, 0, 32, 32, CursorAlpha);
}

void TGameForm::RemoveOverlays(TVeRGBBits* target)
{
    if (FCursorSaved.exchange(false))
        target->Draw(FCursorSavedX, FCursorSavedY, CursorBack, 0, 0, 32, 32);
    if (FFpsSaved) {
        target->Draw(FpsBox.left, FpsBox.top, FPSBack, 0, 0, FpsBox.Width(), FpsBox.Height());
        FFpsSaved = false;
    }
}

void TGameForm::Present(TVeRGBBits* target, TVeRectSet* dirty)
{
    if (!FDisplay)
        return;
    TVeRGBBits* surface = FDisplay->Surface();
    if (ConvertImage && surface && (dirty == nullptr || !dirty->IsRectEmpty()) && surface->Lock()) {
        if (dirty) {
            for (const TVeRect& r : *dirty)
                surface->ConvertCopy(r.left, r.top, target, r.left, r.top, r.Width(), r.Height());
        } else {
            surface->ConvertCopy(0, 0, target, 0, 0, 640, 480);
        }
        surface->Unlock();
    }
    if (!WindowMode && !FDisplay->AppActive())
        return;
    if (dirty)
        FDisplay->FlipModifyRect(*dirty);
    else
        FDisplay->Flip();
}

void TGameForm::RenderPass(TGameFormState state, int steps)
{
    FpsCounter.Tick(Now());
    TVeRGBBits* target = Target();
    if (!target)
        return;
    TVeRectSet dirty;
    int oldX = CursorX.load(), oldY = CursorY.load();
    if (-32 < oldX && oldX < 640 && -32 < oldY && oldY < 480)
        dirty.UnionRect(VeRect(oldX, oldY, oldX + 32, oldY + 32));
    try {
        TDrawProc draw = CopyHook(DrawProc);
        if (draw) {
            if (target->Lock()) {
                if (HookProbe)
                    HookProbe(hkDraw);
                draw(target, &dirty);
                target->Unlock();
            }
        } else if (state >= gsMenu && state <= gsScene && FRoot) {
            TVeRectSet changed;
            FRoot->GetModifiedRectSet(changed);
            if (!changed.IsRectEmpty() && target->Lock()) {
                FRoot->Update(target);
                target->Unlock();
            }
            dirty.UnionRectSet(changed);
        } else if (state == gsWait) {
            if (steps > 0) {
                if (++WaitFrame >= 40)
                    WaitFrame = 0;
                if (WaitFrame == 0 || WaitFrame >= 30) {
                    DrawWaitPicture(target, WaitFrame);
                    dirty.UnionRect(Screen);
                }
            }
        } else if (state == gsTransition) {
            if (target->Lock()) {
                DrawTransition(target, &dirty);
                target->Unlock();
            }
        }
        if (ShowFPS) {
            DrawFpsBox(target);
            dirty.UnionRect(FpsBox);
        }
        DrawCursor(target, &dirty);
        // Hooks and panels may report rectangles off the screen; nothing outside it is copied.
        dirty.IntersectRect(Screen);
        Present(target, &dirty);
    } catch (...) {
        RemoveOverlays(target);
        throw;
    }
    RemoveOverlays(target);
}

void TGameForm::ForceRenderPass(TGameFormState state)
{
    FpsCounter.Tick(Now());
    TVeRGBBits* target = Target();
    if (!target)
        return;
    try {
        TRedrawProc redraw = CopyHook(RedrawProc);
        if (target->Lock()) {
            if (redraw) {
                if (HookProbe)
                    HookProbe(hkRedraw);
                redraw(target);
            } else if (state >= gsMenu && state <= gsScene && FRoot) {
                FRoot->Draw(target);
            } else if (state == gsTransition) {
                DrawTransition(target, nullptr);
            } else if (state == gsWait) {
                target->Cls();
                DrawWaitPicture(target, WaitFrame);
            }
            target->Unlock();
        }
        if (ShowFPS)
            DrawFpsBox(target);
        DrawCursor(target, nullptr);
        Present(target, nullptr);
    } catch (...) {
        RemoveOverlays(target);
        throw;
    }
    RemoveOverlays(target);
}

void TGameForm::Render(int steps)
{
    if (!DrawLock || !FpsLock)
        return;
    TVeTryLock draw(*DrawLock);
    if (!draw)
        return;
    TGameFormState state = State.load();
    if (state == gsClosing)
        return;
    std::unique_lock<TCriticalSection> stateLock;
    if (state != gsWait && StateLock)
        stateLock = std::unique_lock<TCriticalSection>(*StateLock);
    std::lock_guard<TCriticalSection> fpsLock(*FpsLock);
    if (FFullFramePending.exchange(false))
        ForceRenderPass(state);
    else
        RenderPass(state, steps);
}

void TGameForm::ForceRender()
{
    if (!DrawLock || !FpsLock)
        return;
    TVeTryLock draw(*DrawLock);
    if (!draw) {
        // Another thread is drawing: its next frame (or the next pass) draws the whole screen.
        FFullFramePending.store(true);
        return;
    }
    TGameFormState state = State.load();
    std::unique_lock<TCriticalSection> stateLock;
    if (state != gsWait && StateLock)
        stateLock = std::unique_lock<TCriticalSection>(*StateLock);
    std::lock_guard<TCriticalSection> fpsLock(*FpsLock);
    if (State.load() == gsClosing)
        return;
    FFullFramePending.store(false);
    ForceRenderPass(state);
}

void TGameForm::AttachScreen(TVeRGBPanel* panel)
{
    if (!StateLock || !FRoot)
        return;
    std::lock_guard<TCriticalSection> lock(*StateLock);
    FRoot->Attach(panel, CursorX.load(), CursorY.load());
}

void TGameForm::DetachScreen(TVeRGBPanel* panel)
{
    if (!StateLock || !FRoot)
        return;
    std::lock_guard<TCriticalSection> lock(*StateLock);
    FRoot->Detach(panel);
}

void TGameForm::EnterState(TGameFormState s)
{
    TGameFormState current = State.load();
    if (current == s || current == gsClosing)
        return;
    FlushInput();
    ResetFrameCounters();
    SetState(s);
    ForceRender();
}

void TGameForm::BeginPlay()
{
    EnterState(gsMenu);
}

void TGameForm::BeginState3()
{
    EnterState(gsMiniGame);
}

void TGameForm::BeginState4()
{
    EnterState(gsScene);
}

void TGameForm::BeginWait()
{
    TGameFormState current = State.load();
    if (current == gsWait || current == gsClosing)
        return;
    FlushInput();
    ResetFrameCounters();
    SetState(gsWait);
    if (FpsLock) {
        std::lock_guard<TCriticalSection> lock(*FpsLock);
        WaitFrame = 0;
        if (FDisplay) {
            if (TVeRGBBits* surface = FDisplay->Surface())
                surface->Cls();
            FDisplay->SetModifyRect(Screen);
        }
        if (ConvertImage)
            ConvertImage->Cls();
    }
    ForceRender();
    if (WaitThread)
        WaitThread->Wake();
}
