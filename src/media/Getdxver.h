#pragma once
// The platform version probe the game checks at start-up.

namespace DirectX {

// 0x700 when the display driver can be started with the current settings, else 0.
int GetDXVersion();

}  // namespace DirectX
