#pragma once
// Writes short MPEG-1 system-stream clips (MPEG-1 video, MPEG audio layer II) whose pictures
// are solid colours in sequence, with an optional sine tone, for tests and the sample game.

#include <cstdint>
#include <string>
#include <vector>

struct TMovieClipSegment {
    int Frames = 0;
    uint32_t Colour = 0;  // 0x00RRGGBB
};

struct TMovieClip {
    int Width = 160;  // sides are rounded up to a multiple of 16 by the encoder's rules
    int Height = 120;
    int FrameRate = 25;  // one of the MPEG-1 rates: 24, 25, 30, 50, 60
    std::vector<TMovieClipSegment> Segments;
    bool MovingBar = false;  // a white bar sweeps across every picture
    bool Video = true;       // false: a sound-only file as long as the segments
    bool Audio = true;
    int AudioRate = 44100;  // 32000, 44100 or 48000
    double ToneHz = 440;    // the same tone on both channels
    double Amplitude = 0.5; // of full scale
};

// False with error set when the clip cannot be made; a half-written file is removed.
bool WriteMovieClip(const std::string& path, const TMovieClip& clip, std::string& error);
