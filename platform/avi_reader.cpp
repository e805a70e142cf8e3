#include "platform/avi_reader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr int kMaxListDepth = 4;

// A view of bytes that never reads outside itself.
struct Span {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;

    bool Has(std::size_t off, std::size_t len) const { return off <= n && len <= n - off; }
    std::uint32_t U32(std::size_t off) const
    {
        return Has(off, 4) ? std::uint32_t(p[off]) | std::uint32_t(p[off + 1]) << 8 | std::uint32_t(p[off + 2]) << 16 |
                                 std::uint32_t(p[off + 3]) << 24
                           : 0;
    }
    std::uint16_t U16(std::size_t off) const
    {
        return Has(off, 2) ? static_cast<std::uint16_t>(p[off] | p[off + 1] << 8) : 0;
    }
    bool Is(std::size_t off, const char* cc) const { return Has(off, 4) && std::memcmp(p + off, cc, 4) == 0; }
    Span Sub(std::size_t off, std::size_t len) const
    {
        if (off > n)
            return {};
        return {p + off, std::min(len, n - off)};
    }
};

// One chunk of a chunk sequence: its id and its data, cut short where the
// enclosing data ends.
struct Chunk {
    const std::uint8_t* id;
    Span data;
    bool IsList(const char* type) const { return std::memcmp(id, "LIST", 4) == 0 && data.Is(0, type); }
    bool Is(const char* cc) const { return std::memcmp(id, cc, 4) == 0; }
};

class ChunkIter {
public:
    explicit ChunkIter(Span s) : m_s(s) {}
    bool Next(Chunk& c)
    {
        if (!m_s.Has(m_off, 8))
            return false;
        const std::size_t size = m_s.U32(m_off + 4);
        c.id = m_s.p + m_off;
        c.data = m_s.Sub(m_off + 8, size);
        // size is at most 4 GiB and m_off at most n, so this cannot wrap.
        m_off = m_off + 8 + size + (size & 1);
        return true;
    }

private:
    Span m_s;
    std::size_t m_off = 0;
};

struct Format {
    bool found = false;
    int streamIndex = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 256> palette{};
    std::uint32_t usecFromStream = 0;
};

bool Fail(std::string* error, const char* why)
{
    if (error)
        *error = why;
    return false;
}

bool ReadBitmapFormat(Span strf, Format& f, const char*& error)
{
    if (!strf.Has(0, 40)) {
        error = "stream format shorter than a BITMAPINFOHEADER";
        return false;
    }
    const std::uint32_t biSize = strf.U32(0);
    if (biSize < 40 || biSize > strf.n) {
        error = "bad BITMAPINFOHEADER size";
        return false;
    }
    f.width = static_cast<std::int32_t>(strf.U32(4));
    f.height = static_cast<std::int32_t>(strf.U32(8));
    const std::uint16_t bitCount = strf.U16(14);
    f.compression = strf.U32(16);
    if (bitCount != 8) {
        error = "only 8-bit frames are supported";
        return false;
    }
    if (f.compression != kBiRle8 && f.compression != kBiRgb) {
        error = "only BI_RLE8 and BI_RGB frames are supported";
        return false;
    }
    std::uint32_t colours = strf.U32(32);
    if (colours == 0 || colours > 256)
        colours = 256;
    const std::size_t available = (strf.n - biSize) / 4;
    colours = static_cast<std::uint32_t>(std::min<std::size_t>(colours, available));
    for (std::uint32_t i = 0; i < colours; ++i) {
        const std::size_t at = biSize + std::size_t(i) * 4;
        f.palette[i] = std::uint32_t(strf.p[at + 2]) << 16 | std::uint32_t(strf.p[at + 1]) << 8 | strf.p[at];
    }
    return true;
}

void ReadHeaders(Span hdrl, Format& f, std::uint32_t& usec, const char*& error)
{
    ChunkIter it(hdrl.Sub(4, hdrl.n));
    Chunk c;
    int stream = 0;
    while (it.Next(c)) {
        if (c.Is("avih")) {
            usec = c.data.U32(0);
        } else if (c.IsList("strl")) {
            ChunkIter sit(c.data.Sub(4, c.data.n));
            Chunk s;
            bool video = false;
            std::uint32_t scale = 0, rate = 0;
            while (sit.Next(s)) {
                if (s.Is("strh")) {
                    video = s.data.Is(0, "vids");
                    scale = s.data.U32(20);
                    rate = s.data.U32(24);
                } else if (s.Is("strf") && video && !f.found) {
                    if (ReadBitmapFormat(s.data, f, error)) {
                        f.found = true;
                        f.streamIndex = stream;
                        if (rate != 0)
                            f.usecFromStream =
                                static_cast<std::uint32_t>(std::min<std::uint64_t>(0xFFFFFFFFu, std::uint64_t(scale) * 1000000u / rate));
                    }
                }
            }
            ++stream;
        }
    }
}

class FrameDecoder {
public:
    explicit FrameDecoder(const Format& f)
        : m_width(static_cast<std::size_t>(f.width)), m_height(static_cast<std::size_t>(std::abs(f.height))),
          m_topDown(f.height < 0), m_canvas(m_width * m_height, 0)
    {
    }

    // Rows are counted from the bottom, as a bottom-up bitmap stores them.
    std::uint8_t* Row(std::size_t y) { return &m_canvas[(m_topDown ? y : m_height - 1 - y) * m_width]; }

    // Pixels that the frame leaves alone keep the previous frame's values, as
    // delta frames expect.
    void DecodeRle8(Span d)
    {
        std::size_t x = 0, y = 0, i = 0;
        while (y < m_height && d.Has(i, 2)) {
            const std::uint8_t count = d.p[i], value = d.p[i + 1];
            i += 2;
            if (count > 0) {
                Put(x, y, count, nullptr, value);
                x += count;
                continue;
            }
            switch (value) {
            case 0: // end of line
                x = 0;
                ++y;
                break;
            case 1: // end of bitmap
                return;
            case 2: // delta
                if (!d.Has(i, 2))
                    return;
                x += d.p[i];
                y += d.p[i + 1];
                i += 2;
                break;
            default: { // absolute run of value bytes, padded to a word
                const std::size_t len = std::min<std::size_t>(value, d.n - i);
                Put(x, y, len, d.p + i, 0);
                x += value;
                i += value + (value & 1);
                if (i > d.n)
                    return;
                break;
            }
            }
        }
    }

    void DecodeRgb(Span d)
    {
        const std::size_t stride = (m_width + 3) & ~std::size_t(3);
        for (std::size_t y = 0; y < m_height; ++y) {
            const std::size_t at = y * stride;
            if (at >= d.n)
                return;
            Put(0, y, std::min(m_width, d.n - at), d.p + at, 0);
        }
    }

    void ToRgb(const std::array<std::uint32_t, 256>& palette, std::vector<std::uint8_t>& out) const
    {
        out.resize(m_canvas.size() * 3);
        for (std::size_t y = 0; y < m_height; ++y) {
            const std::uint8_t* src = &m_canvas[y * m_width];
            std::uint8_t* dst = &out[y * m_width * 3];
            for (std::size_t x = 0; x < m_width; ++x) {
                const std::uint32_t rgb = palette[src[x]];
                dst[3 * x] = static_cast<std::uint8_t>(rgb >> 16);
                dst[3 * x + 1] = static_cast<std::uint8_t>(rgb >> 8);
                dst[3 * x + 2] = static_cast<std::uint8_t>(rgb);
            }
        }
    }

private:
    // Writes n pixels at (x, y), from src or all of value; whatever falls
    // outside the frame is dropped.
    void Put(std::size_t x, std::size_t y, std::size_t n, const std::uint8_t* src, std::uint8_t value)
    {
        if (y >= m_height || x >= m_width)
            return;
        n = std::min(n, m_width - x);
        std::uint8_t* row = Row(y) + x;
        if (src)
            std::memcpy(row, src, n);
        else
            std::memset(row, value, n);
    }

    std::size_t m_width, m_height;
    bool m_topDown;
    std::vector<std::uint8_t> m_canvas; // palette indices, rows top-down whatever the file's order
};

bool IsFrameChunk(const Chunk& c, int stream)
{
    const char d0 = static_cast<char>('0' + stream / 10), d1 = static_cast<char>('0' + stream % 10);
    return c.id[0] == d0 && c.id[1] == d1 && c.id[2] == 'd' && (c.id[3] == 'c' || c.id[3] == 'b');
}

struct MoviReader {
    const Format& f;
    FrameDecoder& decoder;
    AviClip& clip;
    std::size_t frameBytes;
    bool full = false;

    void Read(Span list, int depth)
    {
        ChunkIter it(list);
        Chunk c;
        while (!full && it.Next(c)) {
            if (c.IsList("rec ") && depth < kMaxListDepth) {
                Read(c.data.Sub(4, c.data.n), depth + 1);
            } else if (IsFrameChunk(c, f.streamIndex)) {
                if (clip.frames.size() >= AviLimits::kMaxFrames ||
                    (clip.frames.size() + 1) * frameBytes > AviLimits::kMaxDecodedBytes) {
                    full = true;
                    break;
                }
                // An empty chunk repeats the previous frame.
                if (f.compression == kBiRle8)
                    decoder.DecodeRle8(c.data);
                else
                    decoder.DecodeRgb(c.data);
                clip.frames.emplace_back();
                decoder.ToRgb(f.palette, clip.frames.back());
            }
        }
    }
};

} // namespace

bool ReadAviClip(const std::uint8_t* data, std::size_t size, AviClip& clip, std::string* error)
{
    clip = AviClip();
    const Span file{data, data ? size : 0};
    if (!file.Is(0, "RIFF") || !file.Is(8, "AVI "))
        return Fail(error, "not a RIFF AVI file");
    const Span body = file.Sub(12, std::max<std::uint32_t>(file.U32(4), 4) - 4);

    Format f;
    std::uint32_t usec = 0;
    const char* formatError = "no video stream";
    Span movi;
    bool haveMovi = false;
    ChunkIter it(body);
    Chunk c;
    while (it.Next(c)) {
        if (c.IsList("hdrl") && !f.found)
            ReadHeaders(c.data, f, usec, formatError);
        else if (c.IsList("movi") && !haveMovi) {
            movi = c.data.Sub(4, c.data.n);
            haveMovi = true;
        }
    }
    if (!f.found)
        return Fail(error, formatError);
    if (f.width <= 0 || f.width > AviLimits::kMaxDimension || f.height == 0 || f.height < -AviLimits::kMaxDimension ||
        f.height > AviLimits::kMaxDimension)
        return Fail(error, "frame size out of range");
    if (f.height < 0 && f.compression == kBiRle8)
        return Fail(error, "a run-length-encoded bitmap must be bottom-up");
    const std::size_t pixels = std::size_t(f.width) * std::size_t(std::abs(f.height));
    if (pixels > AviLimits::kMaxFramePixels)
        return Fail(error, "frame size out of range");
    if (!haveMovi)
        return Fail(error, "no 'movi' list");

    AviClip out;
    out.width = f.width;
    out.height = std::abs(f.height);
    out.microSecPerFrame = usec ? usec : f.usecFromStream;
    FrameDecoder decoder(f);
    MoviReader reader{f, decoder, out, pixels * 3};
    reader.Read(movi, 0);
    if (out.frames.empty())
        return Fail(error, "no frames");
    clip = std::move(out);
    if (error)
        error->clear();
    return true;
}
