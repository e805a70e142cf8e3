#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/avi_reader.h"
#include "services/avi_resources.h"
#include "tools/make-avi/avi_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

AviIndexedClip MakeClip(int w, int h, std::vector<Bytes> frames = {})
{
    AviIndexedClip clip{w, h, 100000, {}, std::move(frames)};
    for (int i = 0; i < 256; ++i)
        clip.palette[i] = static_cast<std::uint32_t>(i * 0x010203 + 0x102030) & 0xFFFFFF;
    return clip;
}

Bytes Rgb(const AviIndexedClip& clip, const Bytes& indices)
{
    Bytes rgb;
    for (std::uint8_t i : indices)
        for (int shift : {16, 8, 0})
            rgb.push_back(static_cast<std::uint8_t>(clip.palette[i] >> shift));
    return rgb;
}

// The file with the 32-bit field at offset into chunk cc's data overwritten (-8: its name).
Bytes Patch(Bytes file, const char* cc, long offset, std::uint32_t v)
{
    const size_t at = std::search(file.begin(), file.end(), cc, cc + 4) - file.begin();
    for (int i = 0; i < 4; ++i)
        file.at(at + 8 + offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return file;
}

// A refused file leaves width 0 and no frames.
AviClip Read(const Bytes& file)
{
    const Bytes exact(file); // of exact capacity, so that ASan sees any read past the end
    AviClip out;
    out.width = -1;
    std::string error;
    const bool ok = ReadAviClip(exact.data(), exact.size(), out, &error);
    EXPECT_EQ(ok, error.empty() && !out.frames.empty());
    return out;
}

TEST(AviReader, DecodesRunsAbsoluteRunsDeltasAndOverruns)
{
    Bytes px(257 * 3, 9); // rows of 257: runs longer than 255, then noise in absolute runs
    for (size_t i = 257; i < px.size(); ++i)
        px[i] = static_cast<std::uint8_t>(i * 37);
    const AviIndexedClip big = MakeClip(257, 3, {px});
    EXPECT_EQ(Read(WriteRle8Avi(big)).frames, std::vector<Bytes>{Rgb(big, px)});
    const AviIndexedClip clip = MakeClip(4, 2);
    const AviClip out = Read(WriteAviChunks(clip, 1,
                                            {{4, 1, 0, 0, 4, 2, 0, 1}, // bottom row 1 1 1 1, top row 2 2 2 2
                                             {0, 2, 2, 0, 1, 7, 0, 1}, // a delta to x 2: one pixel of 7
                                             {},                       // repeats the frame before
                                             {9, 3, 0, 0, 0, 5, 4, 5, 6, 8, 9, 0, 0, 1}, // past the row: dropped
                                             {0, 6, 9}}));             // cut short in an absolute run
    const Bytes a = Rgb(clip, {2, 2, 2, 2, 1, 1, 1, 1}), b = Rgb(clip, {2, 2, 2, 2, 1, 1, 7, 1});
    EXPECT_EQ(out.frames, (std::vector<Bytes>{a, b, b, Rgb(clip, {4, 5, 6, 8, 3, 3, 3, 3}),
                                              Rgb(clip, {4, 5, 6, 8, 9, 3, 3, 3})}));
}

TEST(AviReader, RefusesFilesItCannotPlayAndCapsWhatItDecodes)
{
    const Bytes good = WriteRle8Avi(MakeClip(8, 4, {Bytes(32, 3), Bytes(32, 3)}));
    // Empty, cut, WAVE, 16-bit, RLE4, widths 0 and -16, top-down RLE, too large, header past its chunk, no movi.
    for (const Bytes& file : {Bytes{}, Bytes(good.begin(), good.begin() + 12), Patch(good, "RIFF", 0, 0x45564157),
                              Patch(good, "strf", 12, 0x00100001), Patch(good, "strf", 16, 2), Patch(good, "strf", 4, 0),
                              Patch(good, "strf", 4, 0xFFFFFFF0), Patch(good, "strf", 8, 0xFFFFFFFC),
                              Patch(Patch(good, "strf", 4, 2048), "strf", 8, 2048), Patch(good, "strf", 0, 0x7FFFFFFF),
                              Patch(good, "movi", -8, 0x61766F6D)})
        EXPECT_EQ(Read(file).width, 0);
    // Empty chunks cost 8 bytes of file each but a whole frame decoded.
    EXPECT_EQ(Read(WriteAviChunks(MakeClip(2, 2), 1, std::vector<Bytes>(5000))).frames.size(), AviLimits::kMaxFrames);
    EXPECT_EQ(Read(WriteAviChunks(MakeClip(1024, 1024), 1, std::vector<Bytes>(40))).frames.size(),
              AviLimits::kMaxDecodedBytes / (1024 * 1024 * 3));
}

// Damaged files decode within the limits or are refused, never touching memory outside their buffers (ASan).
TEST(AviReader, SurvivesDamagedFiles)
{
    AviResource res;
    ASSERT_TRUE(FindAviResource(330, res));
    const std::vector<Bytes> seeds{Bytes(res.data, res.data + res.size),
                                   WriteAviChunks(MakeClip(13, 5), 0, {Bytes(80, 1), Bytes(3, 2)})};
    const std::uint32_t extremes[] = {0, 1, 3, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8, 2048, 2049};
    std::mt19937 rng(20240611);
    int decoded = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        Bytes file = seeds[rng() % 2];
        const size_t at = rng() % (rng() % 2 ? std::min<size_t>(file.size(), 1200) : file.size()) & ~size_t(3);
        const int damage = rng() % 4;
        if (damage == 0)
            file.resize(rng() % (file.size() + 1));
        else if (damage == 1)
            for (int n = 1 + rng() % 16; n > 0; --n)
                file[rng() % file.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        else if (damage == 2) // a size or count field
            for (size_t i = 0; i < 4 && at + i < file.size(); ++i)
                file[at + i] = static_cast<std::uint8_t>(extremes[iter % std::size(extremes)] >> (8 * i));
        else
            file.insert(file.begin() + at, 1 + rng() % 64, static_cast<std::uint8_t>(rng()));
        const AviClip out = Read(file);
        if (out.frames.empty())
            continue;
        ++decoded;
        const size_t frame = size_t(out.width) * out.height * 3;
        ASSERT_TRUE(out.width > 0 && out.height > 0 && std::max(out.width, out.height) <= AviLimits::kMaxDimension &&
                    out.frames.size() * frame <= AviLimits::kMaxDecodedBytes) << iter;
        for (const Bytes& f : out.frames)
            ASSERT_EQ(f.size(), frame) << iter;
    }
    // The damage reaches the decoder as well as the header checks.
    EXPECT_TRUE(decoded > 500 && decoded < 2500) << decoded;
}

} // namespace
