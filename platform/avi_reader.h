// Reading the AVI clips of the animation control: RIFF AVI with one video
// stream of 8-bit frames, run-length encoded (BI_RLE8) or plain (BI_RGB),
// decoded to RGB. Every file is treated as untrusted: sizes and offsets are
// checked against the data, and the limits below bound what a file can make
// the reader allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AviClip {
    int width = 0;
    int height = 0;
    std::uint32_t microSecPerFrame = 0;
    // Each frame width * height * 3 bytes of RGB, rows top-down.
    std::vector<std::vector<std::uint8_t>> frames;
};

struct AviLimits {
    static constexpr int kMaxDimension = 2048;
    static constexpr std::size_t kMaxFramePixels = std::size_t(1) << 20;
    static constexpr std::size_t kMaxFrames = 1000;
    // All decoded frames together; frames past it are left out.
    static constexpr std::size_t kMaxDecodedBytes = std::size_t(32) << 20;
};

// Decodes the clip in data. On failure returns false, leaves clip empty and
// says why in error (English, for developers).
bool ReadAviClip(const std::uint8_t* data, std::size_t size, AviClip& clip, std::string* error = nullptr);
