#include "platform/Audio.h"

#include <SDL.h>

#include <cstring>
#include <mutex>

namespace Audio {
namespace {

struct TDeviceState {
    SDL_AudioDeviceID Device = 0;
    TMixFunction Mix = nullptr;
    void* User = nullptr;
};

std::mutex DeviceLock;  // guards State against concurrent Open/Close
TDeviceState State;

void SDLCALL Callback(void* userdata, Uint8* stream, int len)
{
    auto* state = static_cast<TDeviceState*>(userdata);
    int frames = len / (DeviceChannels * static_cast<int>(sizeof(int16_t)));
    if (state->Mix)
        state->Mix(state->User, reinterpret_cast<int16_t*>(stream), frames);
    else
        std::memset(stream, 0, static_cast<size_t>(len));
}

}  // namespace

bool Open(TMixFunction mix, void* user, std::string* failure)
{
    auto refuse = [failure](const char* why) {
        if (failure)
            *failure = why;
        return false;
    };
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (State.Device != 0)
        return refuse("a sound device is open already");
    if (mix == nullptr)
        return refuse("no mixing function");
    // The subsystem is reference counted by SDL, so the display may init and quit SDL on its own.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return refuse(SDL_GetError());
    SDL_AudioSpec want{};
    want.freq = DeviceRate;
    want.format = AUDIO_S16SYS;
    want.channels = DeviceChannels;
    want.samples = 1024;
    want.callback = Callback;
    want.userdata = &State;
    State.Mix = mix;
    State.User = user;
    SDL_AudioSpec have{};
    // No SDL_AUDIO_ALLOW_* flags: SDL converts for us, so the mixer always sees this format.
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        State.Mix = nullptr;
        State.User = nullptr;
        refuse(SDL_GetError());  // before quitting the subsystem, which may set an error of its own
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    State.Device = device;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void Close()
{
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (State.Device == 0)
        return;
    SDL_CloseAudioDevice(State.Device);  // joins the callback thread
    State = TDeviceState{};
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool IsOpen()
{
    std::lock_guard<std::mutex> guard(DeviceLock);
    return State.Device != 0;
}

void Lock()
{
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (State.Device != 0)
        SDL_LockAudioDevice(State.Device);
}

void Unlock()
{
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (State.Device != 0)
        SDL_UnlockAudioDevice(State.Device);
}

}  // namespace Audio
