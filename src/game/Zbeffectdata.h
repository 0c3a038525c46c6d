#pragma once
// Makers of the effect resources (water tables, fade masks, halation bitmaps) for the sample
// game and the tests, which are given no such data. The layouts are those the effect unit reads:
//
//   water distance: round(sqrt((dx + 0.5)^2 + (dy + 0.5)^2)), the distance in pixels of a
//                   pixel's centre from the screen's centre, so that 4d + phase makes waves
//                   64 pixels apart;
//   water sine:     127 + round(127 x sin(2 pi i / 256)), 0..254;
//   water multi:    row a, column w: 127 + round((w - 127) x a x 12 / (31 x 127)), so row 0 is
//                   still (all 127) and row 31 moves a pixel by up to 12;
//   fade masks:     640x480 8-bit grey BMPs (grey palette, bottom-up rows); a pixel's value says
//                   how early it turns: 255 first, 0 last;
//   halation:       24-bit BMPs: "HaloBack.bmp" 640x480, a warm glow from the top-left corner;
//                   the flares soft discs (big ones 160x160, small 80x80, the green one 112x112)
//                   in their colours, black outside (black adds nothing).

#include <cstdint>
#include <string>
#include <vector>

#include "base/Vepicture.h"

std::vector<uint8_t> MakeWaterDistTable();
std::vector<uint8_t> MakeWaterSinTable();
std::vector<uint8_t> MakeWaterMultiTable();

// The grey plane (width x height bytes, top-down) of fade mask index 0..16; an index out of range
// gives a plain left-to-right wipe.
std::vector<uint8_t> MakeFadeMaskPlane(int index, int width = 640, int height = 480);
// Index 0 HaloBack, 1..5 the flares in table order. HaloBack can be sampled every step pixels
// (640 / step x 480 / step) where a smaller copy is wanted.
TDecodedPicture MakeHalationPicture(int index, int step = 1);

std::vector<uint8_t> MakeGreyBmp(const std::vector<uint8_t>& plane, int width, int height);
std::vector<uint8_t> MakeRgbBmp(const TDecodedPicture& picture);

// Writes every water table, fade mask and halation bitmap under their file names into folder,
// which must exist. False when a file cannot be written.
bool WriteEffectData(const std::string& folder);
