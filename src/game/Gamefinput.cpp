#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "media/Vedsound.h"
#include "platform/Forms.h"

namespace {

// Left and right variants of the modifier keys reach the game as the plain codes.
Word PlainKey(uint16_t key)
{
    switch (key) {
    case 0xA0:
    case 0xA1:
        return VK_SHIFT;
    case 0xA2:
    case 0xA3:
        return VK_CONTROL;
    case 0xA4:
    case 0xA5:
        return VK_MENU;
    default:
        return key;
    }
}

uint8_t ButtonBit(uint8_t button)
{
    return button & (dbLeft | dbRight | dbMiddle);
}

TMouseButton ToMouseButton(uint8_t button)
{
    if (button & dbRight)
        return mbRight;
    if (button & dbMiddle)
        return mbMiddle;
    return mbLeft;
}

TShiftState ShiftOf(const TDisplayEvent& e)
{
    uint8_t held = e.Buttons;
    if (e.Kind == TDisplayEventKind::MouseDown)
        held |= ButtonBit(e.Button);
    else if (e.Kind == TDisplayEventKind::MouseUp)
        held &= static_cast<uint8_t>(~ButtonBit(e.Button));
    TShiftState s;
    if (e.Modifiers & dmShift)
        s << ssShift;
    if (e.Modifiers & dmAlt)
        s << ssAlt;
    if (e.Modifiers & dmCtrl)
        s << ssCtrl;
    if (held & dbLeft)
        s << ssLeft;
    if (held & dbRight)
        s << ssRight;
    if (held & dbMiddle)
        s << ssMiddle;
    if (e.Kind == TDisplayEventKind::MouseDown && e.Clicks == 2)
        s << ssDouble;
    return s;
}

// Window coordinates to the 640x480 game space through the viewport, rounding toward minus
// infinity so a pointer just left of the picture stays negative.
int MapAxis(int value, int origin, int extent, int size)
{
    if (extent <= 0)
        return value;
    int64_t scaled = static_cast<int64_t>(value - origin) * size;
    int64_t q = scaled / extent;
    if (scaled % extent != 0 && scaled < 0)
        --q;
    return static_cast<int>(q);
}

}  // namespace

void TGameForm::PushInput(const TMesQueue& event)
{
    TGameFormState s = State.load();
    if (s < gsMenu || s > gsScene || !InputLock)
        return;
    std::lock_guard<TCriticalSection> lock(*InputLock);
    InputQueue.push_back(event);
}

void TGameForm::FlushInput()
{
    if (!InputLock)
        return;
    std::lock_guard<TCriticalSection> lock(*InputLock);
    InputQueue.clear();
}

int TGameForm::QueuedInputCount()
{
    if (!InputLock)
        return 0;
    std::lock_guard<TCriticalSection> lock(*InputLock);
    return static_cast<int>(InputQueue.size());
}

void TGameForm::DispatchInput()
{
    TGameFormState s = State.load();
    if (s < gsMenu || s > gsScene || !InputLock || !FRoot)
        return;
    for (;;) {
        TMesQueue e;
        {
            std::lock_guard<TCriticalSection> lock(*InputLock);
            if (InputQueue.empty())
                return;
            e = InputQueue.front();
            InputQueue.pop_front();
        }
        switch (e.Kind) {
        case 0:
            FRoot->MouseMove(e.Shift, e.X, e.Y);
            break;
        case 1:
            FRoot->MouseDown(e.Button, e.Shift, e.X, e.Y);
            break;
        case 2:
            FRoot->MouseUp(e.Button, e.Shift, e.X, e.Y);
            break;
        case 3: {
            bool handled = false;
            FRoot->MouseWheel(e.Shift, e.WheelDelta, TPoint{e.X, e.Y}, handled);
            break;
        }
        case 4:
            FRoot->MouseEnter(e.X, e.Y);
            break;
        case 5:
            FRoot->MouseLeave();
            break;
        case 6: {
            Word key = e.Key;
            FRoot->KeyDown(key, e.Shift);
            break;
        }
        case 7: {
            Word key = e.Key;
            FRoot->KeyUp(key, e.Shift);
            break;
        }
        default:
            break;
        }
    }
}

void TGameForm::LogDisplayLoss()
{
    if (FLossLogged || !ErrLog)
        return;
    FLossLogged = true;
    ErrLog->Add(LogDisplayLost + (FDisplay ? FDisplay->Name() : std::string()) + LogDisplayLostEnd);
}

void TGameForm::HandleDisplayEvent(const TDisplayEvent& e)
{
    if (e.Kind == TDisplayEventKind::DisplayLost) {
        // An end the player did not ask for: the same orderly close, with a failure status.
        LogDisplayLoss();
        MarkFailed();
    }
    if (e.Kind == TDisplayEventKind::Close || e.Kind == TDisplayEventKind::DisplayLost) {
        // Closing joins the frame threads: do it from the loop, not inside the display's pump.
        TGameForm* form = this;
        if (Application)
            Application->Post([form] {
                if (GameForm == form)
                    form->Close();
            });
        return;
    }
    TMesQueue q;
    q.Shift = ShiftOf(e);
    q.X = MapAxis(e.X, e.Viewport.left, e.Viewport.Width(), 640);
    q.Y = MapAxis(e.Y, e.Viewport.top, e.Viewport.Height(), 480);
    switch (e.Kind) {
    case TDisplayEventKind::MouseMove:
        q.Kind = 0;
        break;
    case TDisplayEventKind::MouseDown:
        q.Kind = 1;
        q.Button = ToMouseButton(e.Button);
        break;
    case TDisplayEventKind::MouseUp:
        q.Kind = 2;
        q.Button = ToMouseButton(e.Button);
        break;
    case TDisplayEventKind::Wheel:
        q.Kind = 3;
        q.WheelDelta = e.WheelNotches * 120;
        break;
    case TDisplayEventKind::Enter:
        q.Kind = 4;
        break;
    case TDisplayEventKind::Leave:
        q.Kind = 5;
        break;
    case TDisplayEventKind::KeyDown:
    case TDisplayEventKind::KeyUp:
        // PrintScreen belongs to the screen capture and never reaches the screens.
        if (e.Key == VK_SNAPSHOT) {
            bool handled = false;
            AppMessage(e, handled);
            return;
        }
        q.Kind = e.Kind == TDisplayEventKind::KeyDown ? 6 : 7;
        q.Key = PlainKey(e.Key);
        break;
    default:
        return;
    }
    PushInput(q);
}

void TGameForm::PlayMuteBuffer()
{
    if (MuteBuffer)
        MuteBuffer->Play(false);
}
