// The game thread's audio wrappers. The audio service takes the sound lock and may decode a
// whole sound meanwhile; the game thread gives the state lock up around it so that frames go on.
#include <type_traits>

#include "game/Gamef.h"
#include "game/Maint.h"

template <class F>
auto TMainThread::WithoutStateLock(F&& call) -> decltype(call())
{
    // Only a lock this thread holds is given up, so the depth comes back as it was.
    bool held = FStateDepth > 0;
    if (held)
        ReleaseStateLock();
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            if (held)
                AcquireStateLock();
        } else {
            auto result = call();
            if (held)
                AcquireStateLock();
            return result;
        }
    } catch (...) {
        if (held)
            AcquireStateLock();
        throw;
    }
}

bool TMainThread::PlayBGM(int track, bool loop, bool crossFade)
{
    return WithoutStateLock([&] { return GameForm ? GameForm->PlayBGM(track, loop, crossFade) : true; });
}

void TMainThread::StopBGM(bool fade)
{
    WithoutStateLock([&] {
        if (GameForm)
            GameForm->StopBGM(fade);
    });
}

void TMainThread::StopAllSound(bool fade)
{
    WithoutStateLock([&] {
        if (GameForm == nullptr)
            return;
        GameForm->StopVoice();
        GameForm->StopSE();
        GameForm->StopSE2(fade);
        GameForm->StopBGM(fade);
    });
}
