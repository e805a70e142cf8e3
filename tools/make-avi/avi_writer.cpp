#include "tools/make-avi/avi_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

class Bytes {
public:
    std::vector<std::uint8_t> data;

    void U8(std::uint8_t v) { data.push_back(v); }
    void U16(std::uint16_t v)
    {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v)
    {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void FourCC(const char* cc) { data.insert(data.end(), cc, cc + 4); }
    void Append(const std::vector<std::uint8_t>& v) { data.insert(data.end(), v.begin(), v.end()); }

    // Starts a chunk (or a LIST / RIFF with its type) and returns where its
    // size goes, to be filled by End().
    size_t Begin(const char* id, const char* listType = nullptr)
    {
        FourCC(id);
        const size_t at = data.size();
        U32(0);
        if (listType)
            FourCC(listType);
        return at;
    }
    void End(size_t sizeAt)
    {
        const std::uint32_t size = static_cast<std::uint32_t>(data.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i)
            data[sizeAt + i] = static_cast<std::uint8_t>(size >> (8 * i));
        if (size & 1)
            U8(0);
    }
};

size_t RunAt(const std::uint8_t* row, size_t i, size_t width, size_t limit)
{
    size_t n = 1;
    while (i + n < width && n < limit && row[i + n] == row[i])
        ++n;
    return n;
}

void EncodeRow(const std::uint8_t* row, size_t width, std::vector<std::uint8_t>& out)
{
    size_t i = 0;
    while (i < width) {
        const size_t run = RunAt(row, i, width, 255);
        if (run >= 3) {
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        // A stretch without runs of three goes out in absolute mode, which
        // needs at least three bytes; shorter stretches as runs of one or two.
        size_t j = i;
        while (j < width && j - i < 255 && RunAt(row, j, width, 3) < 3)
            ++j;
        const size_t n = j - i;
        if (n >= 3) {
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(n));
            out.insert(out.end(), row + i, row + j);
            if (n & 1)
                out.push_back(0);
            i = j;
        } else {
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[i]);
            i += run;
        }
    }
}

} // namespace

std::vector<std::uint8_t> EncodeRle8Frame(const std::uint8_t* pixels, int width, int height)
{
    std::vector<std::uint8_t> out;
    for (int y = height - 1; y >= 0; --y) {
        EncodeRow(pixels + static_cast<size_t>(y) * width, static_cast<size_t>(width), out);
        out.push_back(0);
        out.push_back(y == 0 ? 1 : 0);
    }
    if (height <= 0) {
        out.push_back(0);
        out.push_back(1);
    }
    return out;
}

std::vector<std::uint8_t> WriteRle8Avi(const AviIndexedClip& clip)
{
    const size_t framePixels = static_cast<size_t>(clip.width) * static_cast<size_t>(clip.height);
    std::vector<std::vector<std::uint8_t>> encoded;
    for (const auto& frame : clip.frames) {
        if (frame.size() != framePixels)
            throw std::invalid_argument("frame size does not match the clip's width and height");
        encoded.push_back(EncodeRle8Frame(frame.data(), clip.width, clip.height));
    }
    return WriteAviChunks(clip, 1, encoded);
}

std::vector<std::uint8_t> WriteAviChunks(const AviIndexedClip& clip, std::uint32_t compression,
                                         const std::vector<std::vector<std::uint8_t>>& encoded)
{
    std::uint32_t largest = 0;
    for (const auto& e : encoded)
        largest = std::max(largest, static_cast<std::uint32_t>(e.size()));
    const std::uint32_t frames = static_cast<std::uint32_t>(encoded.size());
    const std::uint32_t usec = clip.microSecPerFrame;
    const std::uint32_t bytesPerSec =
        usec ? static_cast<std::uint32_t>(std::min<std::uint64_t>(0xFFFFFFFFu, std::uint64_t(largest) * 1000000u / usec))
             : 0;

    Bytes b;
    const size_t riff = b.Begin("RIFF", "AVI ");

    const size_t hdrl = b.Begin("LIST", "hdrl");
    const size_t avih = b.Begin("avih");
    b.U32(usec);
    b.U32(bytesPerSec);
    b.U32(0);    // padding granularity
    b.U32(0x10); // AVIF_HASINDEX
    b.U32(frames);
    b.U32(0); // initial frames
    b.U32(1); // streams
    b.U32(largest);
    b.U32(static_cast<std::uint32_t>(clip.width));
    b.U32(static_cast<std::uint32_t>(clip.height));
    for (int i = 0; i < 4; ++i)
        b.U32(0);
    b.End(avih);

    const size_t strl = b.Begin("LIST", "strl");
    const size_t strh = b.Begin("strh");
    b.FourCC("vids");
    b.FourCC("mrle");
    b.U32(0); // flags
    b.U16(0); // priority
    b.U16(0); // language
    b.U32(0); // initial frames
    b.U32(usec ? usec : 1); // scale
    b.U32(1000000);         // rate: rate / scale frames a second
    b.U32(0);               // start
    b.U32(frames);
    b.U32(largest);
    b.U32(0xFFFFFFFFu); // quality: default
    b.U32(0);           // sample size: varies
    b.U16(0);
    b.U16(0);
    b.U16(static_cast<std::uint16_t>(clip.width));
    b.U16(static_cast<std::uint16_t>(clip.height));
    b.End(strh);

    const size_t strf = b.Begin("strf");
    b.U32(40); // BITMAPINFOHEADER
    b.U32(static_cast<std::uint32_t>(clip.width));
    b.U32(static_cast<std::uint32_t>(clip.height)); // bottom-up
    b.U16(1);
    b.U16(8);
    b.U32(compression);
    b.U32(largest);
    b.U32(0);
    b.U32(0);
    b.U32(256);
    b.U32(0);
    for (std::uint32_t rgb : clip.palette) {
        b.U8(static_cast<std::uint8_t>(rgb));       // blue
        b.U8(static_cast<std::uint8_t>(rgb >> 8));  // green
        b.U8(static_cast<std::uint8_t>(rgb >> 16)); // red
        b.U8(0);
    }
    b.End(strf);
    b.End(strl);
    b.End(hdrl);

    const size_t movi = b.Begin("LIST", "movi");
    const size_t moviType = movi + 4; // index offsets count from the list type
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    for (const auto& e : encoded) {
        index.emplace_back(static_cast<std::uint32_t>(b.data.size() - moviType), static_cast<std::uint32_t>(e.size()));
        const size_t chunk = b.Begin("00dc");
        b.Append(e);
        b.End(chunk);
    }
    b.End(movi);

    const size_t idx1 = b.Begin("idx1");
    for (const auto& [offset, size] : index) {
        b.FourCC("00dc");
        b.U32(0x10); // AVIIF_KEYFRAME
        b.U32(offset);
        b.U32(size);
    }
    b.End(idx1);
    b.End(riff);
    return std::move(b.data);
}
