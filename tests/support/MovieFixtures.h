#pragma once
// Movie clips for tests, written with the platform's clip writer into a folder that goes away
// with the fixture, and helpers to read the colour of a decoded picture.

#include <cstdint>
#include <string>

#include "platform/MovieWriter.h"

namespace MovieTest {

class TClipFolder {
public:
    TClipFolder();
    ~TClipFolder();
    TClipFolder(const TClipFolder&) = delete;
    TClipFolder& operator=(const TClipFolder&) = delete;

    // Writes the clip as name inside the folder and returns its full path ("" on failure).
    std::string Make(const std::string& name, const TMovieClip& clip);
    std::string Path(const std::string& name) const { return Folder + "/" + name; }

    std::string Folder;
};

// 160x120 at 25 frames a second: 10 red, 10 green, 5 blue pictures (one second), with a
// 440 Hz tone unless silent.
TMovieClip RedGreenBlue(bool audio);

// 0x00RRGGBB of the pixel in the middle of blue, green, red pixels.
uint32_t CentreColour(const uint8_t* bits, int pitch, int width, int height, int bytesPerPixel);
// Each channel within tolerance of the expected one.
bool NearColour(uint32_t colour, uint32_t expected, int tolerance = 40);

}  // namespace MovieTest
