#pragma once
// Whole-file reads with a size cap, and whole-file replacement that a crash cannot tear:
// the new contents go to a temporary file in the same folder, are flushed to the device and
// renamed over the old file, so a reader sees either the old file or the new one.

#include <cstdint>
#include <string>

enum class TFileReadResult { Ok, Missing, TooLarge, Failed };

// Reads the whole file (a game-style name: backslashes, any case) into text when it holds
// at most maxBytes bytes.
TFileReadResult ReadWholeFile(const std::string& fileName, int64_t maxBytes, std::string& text);

// False when anything failed; the old file, if any, is then unchanged and no temporary
// file is left behind. A new file gets mode 0644, a replaced one keeps its mode.
bool WriteFileAtomic(const std::string& fileName, const std::string& data);
