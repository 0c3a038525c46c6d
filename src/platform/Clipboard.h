#pragma once
// The desktop clipboard, for pictures: PNG bytes handed to the session's clipboard tool
// ("wl-copy" when WAYLAND_DISPLAY is set, else "xclip" when DISPLAY is set) through a pipe.
// The tool keeps offering the picture after the copy returns; the caller waits only while the
// bytes are written (at most ClipboardWriteTimeoutMs), and the tool process is reaped in the
// background.

#include <cstdint>
#include <functional>
#include <vector>

// Where pictures go instead of the desktop (tests record them); true when the copy succeeded.
using TClipboardHandler = std::function<bool(const std::vector<uint8_t>& png)>;

constexpr int ClipboardWriteTimeoutMs = 1000;

// Puts a PNG picture on the clipboard. False, with a line on standard error, when there is no
// display or tool, the tool cannot be started, or it does not take the bytes in time (it is
// then stopped).
bool SetClipboardPicture(const std::vector<uint8_t>& png);

// Replaces the destination; an empty handler restores the desktop. Returns the previous one.
TClipboardHandler SetClipboardHandler(TClipboardHandler handler);
