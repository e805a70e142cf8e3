#include "res/bitmap_350.h"

#include <cstdint>

namespace {

// One hex digit per pixel: an index into the 16 standard colours below.
const char* const kPixels[16] = {
    "FFFFFFFFFFFFFFFF",
    "FFFFFFFFFFFFFFFF",
    "FF0000FFFFFFFFFF",
    "F0BBBB0FFFFFFFFF",
    "0BBBBBB00000000F",
    "0BBBBBBBBBBBBB30",
    "0B33333333333330",
    "0B3BBBBBBBBBBBB0",
    "0B3BBBBB99BBBBB0",
    "0B3BBBB9999BBBB0",
    "0B3BBBB9999BBBB0",
    "0B3BBBBB99BBBBB0",
    "0B3BBBBBB1BBBBB0",
    "0B3BBBBBBBBBBBB0",
    "F00000000000000F",
    "FFFFFFFFFFFFFFFF",
};

// The 16 colours of the 4-bit palette, as 0xRRGGBB.
const std::uint32_t kPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

void Put16(std::string& out, unsigned v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int HexDigit(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

std::string BuildBitmap()
{
    const unsigned kSide = 16;
    const unsigned kRowBytes = kSide / 2; // 4 bits a pixel; already a multiple of 4
    const unsigned kHeaderBytes = 14 + 40 + 16 * 4;
    const unsigned kImageBytes = kRowBytes * kSide;

    std::string bmp;
    bmp += "BM";
    Put32(bmp, kHeaderBytes + kImageBytes);
    Put32(bmp, 0);
    Put32(bmp, kHeaderBytes);

    Put32(bmp, 40);    // BITMAPINFOHEADER
    Put32(bmp, kSide); // width
    Put32(bmp, kSide); // height, positive: rows bottom-up
    Put16(bmp, 1);     // planes
    Put16(bmp, 4);     // bits per pixel
    Put32(bmp, 0);     // BI_RGB
    Put32(bmp, kImageBytes);
    Put32(bmp, 2835);  // 72 dpi
    Put32(bmp, 2835);
    Put32(bmp, 16);    // colours used
    Put32(bmp, 16);    // colours important

    for (std::uint32_t rgb : kPalette) {
        bmp += static_cast<char>(rgb & 0xFF);
        bmp += static_cast<char>((rgb >> 8) & 0xFF);
        bmp += static_cast<char>((rgb >> 16) & 0xFF);
        bmp += '\0';
    }

    for (int y = kSide - 1; y >= 0; --y)
        for (unsigned x = 0; x < kSide; x += 2)
            bmp += static_cast<char>((HexDigit(kPixels[y][x]) << 4) | HexDigit(kPixels[y][x + 1]));
    return bmp;
}

} // namespace

const std::string& LoadBitmap350()
{
    static const std::string bmp = BuildBitmap();
    return bmp;
}
