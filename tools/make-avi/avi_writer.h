// Writing 8-bit run-length-encoded AVI clips: what the animation generator
// uses to make the progress dialog's clips, and what the reader's tests use
// to make clips of their own.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// A clip of palette-indexed frames, each width * height bytes, rows top-down.
struct AviIndexedClip {
    int width = 0;
    int height = 0;
    std::uint32_t microSecPerFrame = 100000;
    std::array<std::uint32_t, 256> palette{}; // 0x00RRGGBB
    std::vector<std::vector<std::uint8_t>> frames;
};

// One frame (rows top-down) as a BI_RLE8 bitmap: rows bottom-up, each ended
// by an end-of-line escape, the last by the end-of-bitmap escape.
std::vector<std::uint8_t> EncodeRle8Frame(const std::uint8_t* pixels, int width, int height);

// The whole clip as a RIFF AVI file: one video stream, every frame a key frame
// in its own '00dc' chunk, and an 'idx1' index.
std::vector<std::uint8_t> WriteRle8Avi(const AviIndexedClip& clip);

// The same container around frame chunks already encoded, with the given
// BITMAPINFOHEADER compression (1 BI_RLE8, 0 BI_RGB); the clip's frames are
// not used. For clips that exercise a reader.
std::vector<std::uint8_t> WriteAviChunks(const AviIndexedClip& clip, std::uint32_t compression,
                                         const std::vector<std::vector<std::uint8_t>>& chunks);
