#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "services/avi_reader.h"
#include "services/avi_resources.h"
#include "services/avi_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

AviIndexedClip MakeClip(int w, int h)
{
    AviIndexedClip clip;
    clip.width = w;
    clip.height = h;
    for (int i = 0; i < 256; ++i)
        clip.palette[i] = static_cast<std::uint32_t>(i * 0x010203 + 0x102030) & 0xFFFFFF;
    return clip;
}

// RGB through the palette, as the reader gives a frame.
Bytes Expected(const AviIndexedClip& clip, const Bytes& indices)
{
    Bytes rgb;
    for (std::uint8_t i : indices)
        for (int shift : {16, 8, 0})
            rgb.push_back(static_cast<std::uint8_t>(clip.palette[i] >> shift));
    return rgb;
}

// The file with the 32-bit field at offset into the data of chunk cc
// overwritten (-8: the chunk's name).
Bytes Patch(Bytes file, const char* cc, long offset, std::uint32_t v)
{
    size_t at = 0;
    while (std::memcmp(&file.at(at), cc, 4) != 0)
        ++at;
    for (int i = 0; i < 4; ++i)
        file.at(at + 8 + offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return file;
}

bool Read(const Bytes& file, AviClip& out)
{
    // An exact-size heap copy, so that ASan sees any read past the end.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size() + 1]);
    std::copy(file.begin(), file.end(), exact.get());
    std::string error;
    const bool ok = ReadAviClip(exact.get(), file.size(), out, &error);
    EXPECT_EQ(ok, error.empty());
    EXPECT_EQ(ok, !out.frames.empty());
    return ok;
}

TEST(AviReader, EncodedFramesComeBackPixelForPixel)
{
    std::mt19937 rng(4711);
    const struct {
        int w, h, runMax; // runMax 1 is noise
    } cases[] = {{33, 7, 1}, {1, 5, 3}, {257, 3, 1000}, {64, 9, 4}};
    for (const auto& c : cases) {
        AviIndexedClip clip = MakeClip(c.w, c.h);
        for (Bytes& px = clip.frames.emplace_back(); px.size() < size_t(c.w) * c.h;)
            px.insert(px.end(), std::min<size_t>(1 + rng() % c.runMax, size_t(c.w) * c.h - px.size()),
                      static_cast<std::uint8_t>(rng()));
        AviClip out;
        ASSERT_TRUE(Read(WriteRle8Avi(clip), out)) << c.w;
        EXPECT_EQ(out.frames, std::vector<Bytes>{Expected(clip, clip.frames[0])}) << c.w;
    }
}

TEST(AviReader, DeltaFramesDropFramesAndOverrunsFollowTheBitmapRules)
{
    AviIndexedClip clip = MakeClip(4, 2);
    const Bytes file = WriteAviChunks(clip, 1,
                                      {{4, 1, 0, 0, 4, 2, 0, 1}, // bottom row 1 1 1 1, top row 2 2 2 2
                                       {0, 2, 2, 0, 1, 7, 0, 1}, // a delta to x 2: one pixel of 7
                                       {},                       // repeats the frame before
                                       // A run and an absolute run past the row: the rest is dropped.
                                       {9, 3, 0, 0, 0, 5, 4, 5, 6, 8, 9, 0, 0, 1},
                                       {0, 6, 9}}); // cut short in an absolute run
    AviClip out;
    ASSERT_TRUE(Read(file, out));
    EXPECT_EQ(out.frames, (std::vector<Bytes>{Expected(clip, {2, 2, 2, 2, 1, 1, 1, 1}),
                                              Expected(clip, {2, 2, 2, 2, 1, 1, 7, 1}),
                                              Expected(clip, {2, 2, 2, 2, 1, 1, 7, 1}),
                                              Expected(clip, {4, 5, 6, 8, 3, 3, 3, 3}),
                                              Expected(clip, {4, 5, 6, 8, 9, 3, 3, 3})}));
}

TEST(AviReader, RefusesFilesItCannotPlayAndCapsWhatItDecodes)
{
    AviIndexedClip clip = MakeClip(8, 4);
    clip.frames.assign(2, Bytes(32, 3));
    const Bytes good = WriteRle8Avi(clip);
    for (const Bytes& file : {Bytes{}, Bytes(good.begin(), good.begin() + 12),
                              Patch(good, "RIFF", 0, 0x45564157),              // "WAVE"
                              Patch(good, "strf", 12, 0x00100001),             // 16-bit frames
                              Patch(good, "strf", 16, 2),                      // RLE4
                              Patch(good, "strf", 4, 0), Patch(good, "strf", 4, 0xFFFFFFF0), // widths 0, -16
                              Patch(good, "strf", 8, 0xFFFFFFFC),              // top-down RLE
                              Patch(Patch(good, "strf", 4, 2048), "strf", 8, 2048), // frame too large
                              Patch(good, "strf", 0, 0x7FFFFFFF),              // header past its chunk
                              Patch(good, "movi", -8, 0x61766F6D)}) {          // no "movi" list
        AviClip out;
        out.width = 99;
        EXPECT_FALSE(Read(file, out));
        EXPECT_EQ(out.width, 0);
    }
    // Empty chunks cost 8 bytes of file each but a whole frame decoded.
    AviClip out;
    ASSERT_TRUE(Read(WriteAviChunks(MakeClip(2, 2), 1, std::vector<Bytes>(5000)), out));
    EXPECT_EQ(out.frames.size(), AviLimits::kMaxFrames);
    ASSERT_TRUE(Read(WriteAviChunks(MakeClip(1024, 1024), 1, std::vector<Bytes>(40)), out));
    EXPECT_EQ(out.frames.size(), AviLimits::kMaxDecodedBytes / (1024 * 1024 * 3));
}

// Damaged files of every kind either decode within the limits or are
// refused; none may read or write outside its buffers (run under ASan).
TEST(AviReader, SurvivesDamagedFiles)
{
    AviResource res;
    ASSERT_TRUE(FindAviResource(330, res));
    AviIndexedClip clip = MakeClip(13, 5);
    for (int f = 0; f < 4; ++f)
        clip.frames.push_back(Bytes(65, static_cast<std::uint8_t>(f % 3)));
    const std::vector<Bytes> seeds{Bytes(res.data, res.data + res.size), WriteRle8Avi(clip),
                                   WriteAviChunks(clip, 0, {Bytes(80, 1), Bytes(3, 2)})};
    std::mt19937 rng(20240611);
    const std::uint32_t extremes[] = {0, 1, 3, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8, 2048, 2049};
    int decoded = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        Bytes file = seeds[rng() % seeds.size()];
        const size_t at = rng() % (rng() % 2 ? std::min<size_t>(file.size(), 1200) : file.size()) & ~size_t(3);
        switch (rng() % 4) {
        case 0:
            file.resize(rng() % (file.size() + 1));
            break;
        case 1:
            for (int n = 1 + rng() % 16; n > 0; --n)
                file[rng() % file.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case 2: // a size or count field
            for (int i = 0; i < 4 && at + i < file.size(); ++i)
                file[at + i] = static_cast<std::uint8_t>(extremes[iter % std::size(extremes)] >> (8 * i));
            break;
        default:
            file.insert(file.begin() + at, 1 + rng() % 64, static_cast<std::uint8_t>(rng()));
        }
        AviClip out;
        if (!Read(file, out))
            continue;
        ++decoded;
        const size_t frame = size_t(out.width) * out.height * 3;
        ASSERT_TRUE(out.width > 0 && out.width <= AviLimits::kMaxDimension && out.height > 0 &&
                    out.height <= AviLimits::kMaxDimension && out.frames.size() <= AviLimits::kMaxFrames &&
                    out.frames.size() * frame <= AviLimits::kMaxDecodedBytes)
            << iter;
        for (const Bytes& f : out.frames)
            ASSERT_EQ(f.size(), frame) << iter;
    }
    // The damage reaches the decoder as well as the header checks.
    EXPECT_GT(decoded, 500);
    EXPECT_GT(3000 - decoded, 500);
}

} // namespace
