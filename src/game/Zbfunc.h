#pragma once
// The game's picture helpers: image files of the resource archives turned into pixel buffers,
// the additive and subtractive lines of the weather layers, the stretches of the transition
// effects and the volume-to-attenuation rule. No state beyond the selected key table, no lock.
//
// The kind of picture comes from the name's extension alone (case ignored): BMP, JPG, PNG, LZH
// (the scrambled raw format). Any other name is no picture: the loaders return false at once,
// log nothing and leave their out-parameters alone. Other failures log a line naming the file
// and why, then the loader's line ("VeRGBLoad " or "VeRGBDraw " and the failed step), and return
// false; nothing is thrown.
//
// The archive openers below serve every archive the game reads.

#include <array>
#include <cstdint>
#include <string>

#include "base/Verect.h"

class TVeRGBBits;
class TVeAlpha;
class TFileMan;
class TStream;
class TVeRGBPanel;
class TVeRGBParts;
struct TVePartsData;

// One row of a screen's placement table.
struct TPartsPlace {
    int32_t Index;  // part index; negative leaves the panel's image alone
    int32_t X;
    int32_t Y;
    int32_t Unused1;
    int32_t Unused2;
};

// The line "name: failure" for a data file that is there but cannot be used, logged once for
// that file and cause however often it is tried again.
void NoteDataFile(const std::string& name, const std::string& failure);
// Opens a data file through the manager (null-safe). A file that is there but is refused
// (damaged, over a bound, a folder or a pipe under its name) is noted with NoteDataFile; a
// missing one says nothing, as its caller's own failure path decides.
TStream* OpenDataFile(TFileMan* files, const std::string& name);
// Draws the PNG data file at (0, 0), its alpha into alpha; one that is there but cannot be
// opened or decoded is noted with NoteDataFile and why.
bool DrawDataPng(TVeRGBBits* bits, TVeAlpha* alpha, TFileMan* files, const std::string& name);
// Makes the archive the manager's source. A missing archive says nothing; one that is there but
// cannot be read (damaged, cut short, over a bound, a pipe or a folder under its name) is logged
// with why, or the game would play on without its pictures or sounds and with nothing said.
bool InitPack(TFileMan* files, const std::string& archive);
// InitPack, else the folder of that name; false when neither is there to serve.
bool InitPackOrDir(TFileMan* files, const std::string& archive, const std::string& folder);

// The built-in key table of the scrambled picture format, shared with the data tools.
extern const std::array<uint8_t, 256> GnyBuiltinKeyTable;

// 0 selects the built-in table; any other value changes nothing.
void SelectGnyKeyTable(int n);
const uint8_t* SelectedGnyKeyTable();

// A new buffer (made through MemMan, depth BitDepth) holding the picture at (0, 0), and, when
// alpha is given and the picture is a PNG with an alpha channel, a new alpha plane. On failure
// both out-pointers are null and nothing made here survives.
bool LoadRGBImage(TVeRGBBits*& bits, TVeAlpha** alpha, const std::string& name, TFileMan* fileMan);
// Decode into an existing buffer at (x, y); a PNG's alpha channel goes into alpha when given.
// The WM form takes a PNG's colours back from the white matte they were stored over.
bool DrawImageFileWM(TVeRGBBits* bits, TVeAlpha* alpha, const std::string& name, int x, int y,
                     TFileMan* fileMan);
bool DrawImageFile(TVeRGBBits* bits, TVeAlpha* alpha, const std::string& name, int x, int y,
                   TFileMan* fileMan);

// LoadRGBImage with an alpha request; on success the panel shows the buffer (alpha-masked when
// the picture had an alpha channel, opaque otherwise). On failure the panel is not touched.
bool LoadPanelImage(TVeRGBPanel* panel, const std::string& name, TFileMan* fileMan);
// A new blank buffer of width x height in BitDepth (and a new alpha plane when asked) for the
// panel; the previous image is not released. Failures log "VePanelInit " and the cause.
bool InitPanelImageWH(TVeRGBPanel* panel, int width, int height, bool withAlpha);
bool InitPanelImage(TVeRGBPanel* panel, bool withAlpha);
// Deletes the panel's image and alpha plane through MemMan and clears them.
void ReleasePanelImage(TVeRGBPanel* panel);
// Makes the parts atlas through MemMan when parts is null, loads the sheet (plain PNG decode)
// into temporaries and cuts it with the table; the temporaries never survive.
bool LoadPartsImage(TVeRGBParts*& parts, const std::string& name, TFileMan* fileMan, const TVePartsData* table);
// Places the panel and, for a part index >= 0 with an image, shows one pattern of that part.
void SetPanelParts(TVeRGBPanel* panel, TVeRGBParts* parts, const TPartsPlace* place);

// Nearest-neighbour stretch of a whole source rectangle onto a whole destination rectangle with
// an integer step in each direction (pitches in bytes, may be negative). Enlarging repeats
// pixels; reducing lets the last source pixel of a destination pixel win. The blends write
// (3 x destination + source) / 4 per colour byte (the 32-bit one writes 0 into byte 3), once per
// step, so a reduced blend meets a destination pixel more than once. Nothing is clipped: the
// caller passes rectangles inside its buffers. A side below 1 does nothing.
void StretchCopy24(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstPitch);
void StretchCopy32(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstPitch);
void StretchBlend24(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                    int dstHeight, int dstPitch);
void StretchBlend32(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                    int dstHeight, int dstPitch);

// A one-pixel line, end points included, clipped to clip and the buffer; colour 0x00RRGGBB is
// added to (or subtracted from) the blue, green and red bytes with saturation. False for a
// buffer that is not created, not 24/32-bit, or will not lock; true otherwise (also when
// nothing lies inside the clip). The buffer's modified record is not touched.
bool DrawAddLine(TVeRGBBits* bits, int x1, int y1, int x2, int y2, uint32_t colour, TVeRect clip);
bool DrawSubLine(TVeRGBBits* bits, int x1, int y1, int x2, int y2, uint32_t colour, TVeRect clip);

// Volume 0..100 to hundredths of a decibel: below 1 silent (-10000), 100 and above 0, else
// volume x 40 - 4000.
int VolumeToAttenuation(int volume);
