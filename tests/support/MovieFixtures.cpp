#include "MovieFixtures.h"

#include <stdlib.h>

#include <filesystem>

namespace MovieTest {

TClipFolder::TClipFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zbmovieXXXXXX").string();
    if (::mkdtemp(pattern.data()))
        Folder = pattern;
}

TClipFolder::~TClipFolder()
{
    std::error_code ignored;
    if (!Folder.empty())
        std::filesystem::remove_all(Folder, ignored);
}

std::string TClipFolder::Make(const std::string& name, const TMovieClip& clip)
{
    std::string error;
    std::string path = Path(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return WriteMovieClip(path, clip, error) ? path : std::string();
}

TMovieClip RedGreenBlue(bool audio)
{
    TMovieClip clip;
    clip.Segments = {{10, 0xFF0000}, {10, 0x00FF00}, {5, 0x0000FF}};
    clip.Audio = audio;
    return clip;
}

uint32_t CentreColour(const uint8_t* bits, int pitch, int width, int height, int bytesPerPixel)
{
    const uint8_t* p = bits + ptrdiff_t(height / 2) * pitch + ptrdiff_t(width / 2) * bytesPerPixel;
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

bool NearColour(uint32_t colour, uint32_t expected, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = int((colour >> shift) & 0xFF), b = int((expected >> shift) & 0xFF);
        if (a - b > tolerance || b - a > tolerance)
            return false;
    }
    return true;
}

}  // namespace MovieTest
