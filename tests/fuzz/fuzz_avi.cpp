// The AVI reader of the animation control, on any bytes: it never reads or
// writes outside its buffers, and what it accepts is a clip the control can
// draw (sizes within the limits, every frame exactly width * height RGB).
#include <cstdint>
#include <string>

#include "fuzz_common.h"
#include "services/avi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AviClip clip;
    std::string error;
    const bool ok = ReadAviClip(data, size, clip, &error);
    if (!ok) {
        FUZZ_CHECK(clip.frames.empty(), "a refused file left %zu frames", clip.frames.size());
        FUZZ_CHECK(!error.empty(), "a refused file without a reason");
        return 0;
    }
    FUZZ_CHECK(error.empty(), "an accepted file with an error: %s", error.c_str());
    FUZZ_CHECK(clip.width > 0 && clip.height > 0 && clip.width <= AviLimits::kMaxDimension &&
                   clip.height <= AviLimits::kMaxDimension,
               "size %dx%d", clip.width, clip.height);
    const size_t pixels = size_t(clip.width) * size_t(clip.height);
    FUZZ_CHECK(pixels <= AviLimits::kMaxFramePixels, "%zu pixels a frame", pixels);
    FUZZ_CHECK(!clip.frames.empty() && clip.frames.size() <= AviLimits::kMaxFrames, "%zu frames",
               clip.frames.size());
    size_t total = 0;
    for (const auto& frame : clip.frames) {
        FUZZ_CHECK(frame.size() == pixels * 3, "a frame of %zu bytes for %zu pixels", frame.size(), pixels);
        total += frame.size();
    }
    FUZZ_CHECK(total <= AviLimits::kMaxDecodedBytes, "%zu decoded bytes", total);
    return 0;
}
