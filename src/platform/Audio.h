#pragma once
// The sound device: one output stream of 44100 Hz, stereo, signed 16-bit frames, filled by a
// mixing function that runs on the device's own thread. Only one device is open at a time.

#include <cstdint>
#include <string>

namespace Audio {

constexpr int DeviceRate = 44100;
constexpr int DeviceChannels = 2;

// Fills frames stereo frames (2 * frames samples) of out; runs on the device thread.
using TMixFunction = void (*)(void* user, int16_t* out, int frames);

// Opens the default device in exactly the format above and starts calling mix. False when no
// device can be opened (no driver, no hardware, or a device already open), with the sound
// library's reason in failure when given.
bool Open(TMixFunction mix, void* user, std::string* failure = nullptr);
// Stops the callback and closes the device; after it returns the mixing function is never
// called again.
void Close();
bool IsOpen();

// Keep the mixing function from running in between (must not be held across Close).
void Lock();
void Unlock();

}  // namespace Audio
