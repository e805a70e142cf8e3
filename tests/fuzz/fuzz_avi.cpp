// The AVI reader on any bytes: no access outside its buffers, and what it
// accepts is a clip the animation control can draw.
#include <cstdint>
#include <string>

#include "fuzz_common.h"
#include "platform/avi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AviClip clip;
    std::string error;
    const bool ok = ReadAviClip(data, size, clip, &error);
    const size_t pixels = size_t(clip.width) * size_t(clip.height);
    FUZZ_CHECK(ok ? error.empty() && !clip.frames.empty() : clip.frames.empty() && !error.empty());
    FUZZ_CHECK(!ok || (clip.width > 0 && clip.height > 0 && clip.width <= AviLimits::kMaxDimension &&
                       clip.height <= AviLimits::kMaxDimension && pixels <= AviLimits::kMaxFramePixels &&
                       clip.frames.size() <= AviLimits::kMaxFrames &&
                       clip.frames.size() * pixels * 3 <= AviLimits::kMaxDecodedBytes));
    for (const auto& frame : clip.frames)
        FUZZ_CHECK(frame.size() == pixels * 3);
    return 0;
}
