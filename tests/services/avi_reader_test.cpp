#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

// What the reader should give for an indexed frame: RGB through the palette.
Bytes Expected(const AviIndexedClip& clip, const Bytes& indices)
{
    Bytes rgb;
    for (std::uint8_t i : indices) {
        rgb.push_back(static_cast<std::uint8_t>(clip.palette[i] >> 16));
        rgb.push_back(static_cast<std::uint8_t>(clip.palette[i] >> 8));
        rgb.push_back(static_cast<std::uint8_t>(clip.palette[i]));
    }
    return rgb;
}

std::uint32_t Le32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

size_t Find(const Bytes& b, const char* cc)
{
    for (size_t i = 0; i + 4 <= b.size(); ++i)
        if (std::memcmp(&b[i], cc, 4) == 0)
            return i;
    return std::string::npos;
}

TEST(AviResources, ClipsDecodeToTheirFrameCountsAndSizes)
{
    const struct {
        unsigned id;
        size_t frames;
        int width, height;
    } cases[] = {{330, 17, 260, 40}, {340, 24, 304, 60}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        AviResource res;
        ASSERT_TRUE(FindAviResource(c.id, res));
        const Bytes file(res.data, res.data + res.size);

        // A real RLE8 AVI at 100 ms a frame, as the animation control takes it.
        const size_t avih = Find(file, "avih");
        ASSERT_NE(avih, std::string::npos);
        EXPECT_EQ(Le32(file, avih + 8), 100000u);      // dwMicroSecPerFrame
        EXPECT_EQ(Le32(file, avih + 8 + 16), c.frames); // dwTotalFrames
        const size_t strf = Find(file, "strf");
        ASSERT_NE(strf, std::string::npos);
        EXPECT_EQ(Le32(file, strf + 8 + 16), 1u); // biCompression BI_RLE8
        EXPECT_EQ(file[strf + 8 + 14], 8);        // biBitCount

        AviClip clip;
        std::string error;
        ASSERT_TRUE(ReadAviClip(res.data, res.size, clip, &error)) << error;
        EXPECT_EQ(clip.frames.size(), c.frames);
        EXPECT_EQ(clip.width, c.width);
        EXPECT_EQ(clip.height, c.height);
        EXPECT_EQ(clip.microSecPerFrame, 100000u);
        for (const auto& f : clip.frames)
            ASSERT_EQ(f.size(), size_t(c.width) * c.height * 3);
        // It moves, and its background (the top-left pixel) stays put.
        for (size_t i = 1; i < clip.frames.size(); ++i) {
            EXPECT_NE(clip.frames[i], clip.frames[i - 1]) << "frame " << i;
            EXPECT_TRUE(std::equal(clip.frames[i].begin(), clip.frames[i].begin() + 3, clip.frames[0].begin()));
        }
    }
    AviResource none;
    EXPECT_FALSE(FindAviResource(331, none));
}

TEST(AviReader, EncodedFramesComeBackPixelForPixel)
{
    std::mt19937 rng(4711);
    const struct {
        const char* name;
        int w, h;
        int runMax; // longest run of one colour; 1 is noise
    } cases[] = {
        {"one colour", 40, 10, 1000}, {"noise", 33, 7, 1},     {"short runs", 64, 9, 4},
        {"width 1", 1, 5, 3},         {"run of 255", 255, 2, 1000}, {"run of 256", 256, 2, 1000},
        {"run of 257", 257, 3, 1000}, {"odd literals", 7, 4, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AviIndexedClip clip = MakeClip(c.w, c.h);
        for (int f = 0; f < 3; ++f) {
            Bytes px;
            while (px.size() < size_t(c.w) * c.h) {
                const std::uint8_t v = static_cast<std::uint8_t>(rng());
                const size_t n = std::uniform_int_distribution<int>(1, c.runMax)(rng);
                px.insert(px.end(), std::min(n, size_t(c.w) * c.h - px.size()), v);
            }
            clip.frames.push_back(px);
        }
        const Bytes file = WriteRle8Avi(clip);
        AviClip out;
        std::string error;
        ASSERT_TRUE(ReadAviClip(file.data(), file.size(), out, &error)) << error;
        ASSERT_EQ(out.frames.size(), clip.frames.size());
        for (size_t f = 0; f < clip.frames.size(); ++f)
            EXPECT_EQ(out.frames[f], Expected(clip, clip.frames[f])) << "frame " << f;
    }
}

TEST(AviReader, DeltaFramesDropFramesAndOverrunsFollowTheBitmapRules)
{
    // A 4 x 2 clip; palette index i shows as Expected(i).
    AviIndexedClip clip = MakeClip(4, 2);
    const std::vector<Bytes> chunks = {
        // Frame 0: bottom row 1 1 1 1, top row 2 2 2 2.
        {4, 1, 0, 0, 4, 2, 0, 1},
        // Frame 1: a delta to x 2 of the bottom row, one pixel of 7; the rest
        // keeps frame 0's pixels.
        {0, 2, 2, 0, 1, 7, 0, 1},
        // Frame 2: empty, repeats frame 1.
        {},
        // Frame 3: a run longer than the row and an absolute run past it:
        // what falls outside is dropped, nothing wraps.
        {9, 3, 0, 0, 0, 5, 4, 5, 6, 8, 9, 0, 0, 1},
        // Frame 4: cut short in the middle of an absolute run.
        {0, 6, 9},
    };
    const Bytes file = WriteAviChunks(clip, 1, chunks);
    AviClip out;
    ASSERT_TRUE(ReadAviClip(file.data(), file.size(), out));
    ASSERT_EQ(out.frames.size(), 5u);
    // Rows top-down in the decoded frames.
    EXPECT_EQ(out.frames[0], Expected(clip, {2, 2, 2, 2, 1, 1, 1, 1}));
    EXPECT_EQ(out.frames[1], Expected(clip, {2, 2, 2, 2, 1, 1, 7, 1}));
    EXPECT_EQ(out.frames[2], out.frames[1]);
    EXPECT_EQ(out.frames[3], Expected(clip, {4, 5, 6, 8, 3, 3, 3, 3}));
    EXPECT_EQ(out.frames[4], Expected(clip, {4, 5, 6, 8, 9, 3, 3, 3}));

    // Uncompressed 8-bit frames, rows padded to four bytes, bottom-up.
    AviIndexedClip plain = MakeClip(3, 2);
    const Bytes plainFile = WriteAviChunks(plain, 0, {{1, 2, 3, 0, 4, 5, 6, 0}});
    ASSERT_TRUE(ReadAviClip(plainFile.data(), plainFile.size(), out));
    EXPECT_EQ(out.frames.at(0), Expected(plain, {4, 5, 6, 1, 2, 3}));
}

// Overwrites the 32-bit field at offset within the chunk named cc.
Bytes Patch(Bytes file, const char* cc, size_t offset, std::uint32_t v)
{
    const size_t at = Find(file, cc) + 8 + offset;
    for (int i = 0; i < 4; ++i)
        file.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return file;
}

TEST(AviReader, RefusesFilesItCannotPlay)
{
    AviIndexedClip clip = MakeClip(8, 4);
    clip.frames.assign(2, Bytes(32, 3));
    const Bytes good = WriteRle8Avi(clip);
    Bytes noFrames = good;
    std::memcpy(&noFrames[Find(noFrames, "00dc")], "01dc", 4);
    std::memcpy(&noFrames[Find(noFrames, "00dc")], "01dc", 4);
    Bytes noMovi = good;
    std::memcpy(&noMovi[Find(noMovi, "movi")], "mova", 4);
    Bytes noVideo = good;
    std::memcpy(&noVideo[Find(noVideo, "vids")], "auds", 4);

    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"RIFF header only", Bytes(good.begin(), good.begin() + 12)},
        {"not AVI", Patch(good, "RIFF", 0, 0x45564157)}, // "WAVE"
        {"16-bit frames", Patch(good, "strf", 12, 0x00100001)},
        {"RLE4", Patch(good, "strf", 16, 2)},
        {"width 0", Patch(good, "strf", 4, 0)},
        {"width too large", Patch(good, "strf", 4, 5000)},
        {"negative width", Patch(good, "strf", 4, 0xFFFFFFF0)},
        {"top-down RLE", Patch(good, "strf", 8, 0xFFFFFFFC)},
        {"height too large", Patch(good, "strf", 8, 0x80000000)},
        {"frame area too large", Patch(Patch(good, "strf", 4, 2048), "strf", 8, 2048)},
        {"header size past the chunk", Patch(good, "strf", 0, 0x7FFFFFFF)},
        {"no movi list", noMovi},
        {"no frames of the stream", noFrames},
        {"no video stream", noVideo},
    };
    for (const auto& c : cases) {
        AviClip out;
        out.width = 99;
        std::string error;
        EXPECT_FALSE(ReadAviClip(c.file.data(), c.file.size(), out, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_TRUE(out.frames.empty() && out.width == 0) << c.name;
    }
}

TEST(AviReader, FrameCountAndDecodedSizeAreCapped)
{
    // Empty chunks cost 8 bytes of file each but a whole frame decoded.
    AviIndexedClip small = MakeClip(2, 2);
    const Bytes many = WriteAviChunks(small, 1, std::vector<Bytes>(5000));
    AviClip out;
    ASSERT_TRUE(ReadAviClip(many.data(), many.size(), out));
    EXPECT_EQ(out.frames.size(), AviLimits::kMaxFrames);

    AviIndexedClip big = MakeClip(1024, 1024);
    const Bytes large = WriteAviChunks(big, 1, std::vector<Bytes>(40));
    ASSERT_TRUE(ReadAviClip(large.data(), large.size(), out));
    EXPECT_EQ(out.frames.size(), AviLimits::kMaxDecodedBytes / (1024 * 1024 * 3));
}

void CheckInvariants(const AviClip& clip)
{
    ASSERT_GT(clip.width, 0);
    ASSERT_LE(clip.width, AviLimits::kMaxDimension);
    ASSERT_GT(clip.height, 0);
    ASSERT_LE(clip.height, AviLimits::kMaxDimension);
    ASSERT_FALSE(clip.frames.empty());
    ASSERT_LE(clip.frames.size(), AviLimits::kMaxFrames);
    size_t total = 0;
    for (const auto& f : clip.frames) {
        ASSERT_EQ(f.size(), size_t(clip.width) * clip.height * 3);
        total += f.size();
    }
    ASSERT_LE(total, AviLimits::kMaxDecodedBytes);
}

// Damaged files of every kind: each either decodes within the limits or is
// refused; none may read or write outside its buffers (run under ASan).
TEST(AviReader, SurvivesDamagedFiles)
{
    std::vector<Bytes> seeds;
    for (unsigned id : {330u, 340u}) {
        AviResource res;
        ASSERT_TRUE(FindAviResource(id, res));
        seeds.emplace_back(res.data, res.data + res.size);
    }
    std::mt19937 rng(20240611);
    {
        AviIndexedClip clip = MakeClip(13, 5);
        for (int f = 0; f < 4; ++f) {
            Bytes px(65);
            for (auto& p : px)
                p = static_cast<std::uint8_t>(rng() % 3);
            clip.frames.push_back(px);
        }
        seeds.push_back(WriteRle8Avi(clip));
        seeds.push_back(WriteAviChunks(clip, 0, {Bytes(80, 1), Bytes(3, 2)}));
    }
    const std::uint32_t extremes[] = {0, 1, 2, 3, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8, 40, 2048, 2049};

    int decoded = 0, refused = 0;
    for (int iter = 0; iter < 6000; ++iter) {
        Bytes file = seeds[rng() % seeds.size()];
        const int kind = static_cast<int>(rng() % 6);
        switch (kind) {
        case 0: // truncated
            file.resize(rng() % (file.size() + 1));
            break;
        case 1: // bits flipped
            for (int n = 1 + rng() % 16; n > 0; --n)
                file[rng() % file.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case 2: { // a size or count field overwritten, mostly within the headers
            const size_t span = rng() % 2 ? std::min<size_t>(file.size(), 1200) : file.size();
            const size_t at = (rng() % (span - 3)) & ~size_t(rng() % 2 ? 3 : 0);
            const std::uint32_t v = rng() % 3 ? extremes[rng() % std::size(extremes)] : rng();
            for (int i = 0; i < 4; ++i)
                file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
            break;
        }
        case 3: { // bytes inserted or removed in the middle
            const size_t at = rng() % file.size();
            if (rng() % 2)
                file.erase(file.begin() + at, file.begin() + std::min(file.size(), at + 1 + rng() % 64));
            else
                file.insert(file.begin() + at, 1 + rng() % 64, static_cast<std::uint8_t>(rng()));
            break;
        }
        case 4: // random frame data behind a valid header
            for (size_t i = Find(file, "movi"); i < file.size(); ++i)
                if (rng() % 8 == 0)
                    file[i] = static_cast<std::uint8_t>(rng());
            break;
        default: { // garbage with the right magic
            Bytes junk(rng() % 2000);
            for (auto& b : junk)
                b = static_cast<std::uint8_t>(rng());
            const Bytes head(file.begin(), file.begin() + std::min<size_t>(file.size(), rng() % 400));
            junk.insert(junk.begin(), head.begin(), head.end());
            file = junk;
            break;
        }
        }
        // An exact-size heap copy, so that ASan sees any read past the end.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size() + 1]);
        std::copy(file.begin(), file.end(), exact.get());
        AviClip out;
        std::string error;
        if (ReadAviClip(exact.get(), file.size(), out, &error)) {
            ++decoded;
            CheckInvariants(out);
            if (HasFatalFailure())
                FAIL() << "iteration " << iter << " kind " << kind;
        } else {
            ++refused;
            EXPECT_TRUE(out.frames.empty());
            EXPECT_FALSE(error.empty());
        }
    }
    // Both outcomes occur, so the damage reaches the decoder as well as the
    // header checks.
    EXPECT_GT(decoded, 500);
    EXPECT_GT(refused, 500);
}

} // namespace
