// Writes the seed corpora kept in tests/fuzz/seeds/<target>/: small valid
// inputs of each kind. Run by hand when a format changes:
//   build-fuzz/bin/fuzz_make_seeds tests/fuzz/seeds
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/cp932.h"
#include "tools/make-avi/avi_writer.h"

// A grey clip whose every third column moves a pixel a frame, as a file.
static std::string Avi(int width, int height, int frames, bool rle)
{
    AviIndexedClip clip;
    clip.width = width, clip.height = height;
    for (int i = 0; i < 256; ++i)
        clip.palette[i] = static_cast<std::uint32_t>(i * 0x010101);
    for (int f = 0; f < frames; ++f) {
        std::vector<std::uint8_t>& px = clip.frames.emplace_back();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                px.push_back(static_cast<std::uint8_t>((x + f) % 3 == 0 ? 7 : y * 16 + f));
    }
    // Plain (BI_RGB) frames are only made 4 x 2: rows bottom-up, needing no padding.
    const std::vector<std::uint8_t> bytes =
        rle ? WriteRle8Avi(clip) : WriteAviChunks(clip, 0, {{7, 16, 16, 7, 7, 0, 0, 7}});
    return std::string(bytes.begin(), bytes.end());
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return std::fprintf(stderr, "usage: %s SEED-FOLDER\n", argv[0]), 2;
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::pair<const char*, std::string> seeds[] = {
        {"registry/installer.reg",
         header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]\n"
                  "\"Address_File\"=\"Address.dbs\"\n\"DataPath_0\"=\"/media/cdrom/Data\"\n"
                  "\"DataPath_1\"=\"/home/user/Tessra/LocalData\"\n\"AddressLevel\"=dword:00000002\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
                  "\"Guide_File\"=\"Guide.dbs\"\n\"DataPath_1\"=\"/home/user/\u30c7\u30fc\u30bf/Guide.dbs\"\n\n"},
        {"registry/escapes-crlf.reg",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
         "@=\"default \\\"quoted\\\" C:\\\\path\"\r\n\"Bin\"=hex:01,02,ff\r\n"
         "\"Multi\"=hex(7):41,00,00,00,00,00\r\n\"Text\"=hex(1):41,00,42,00,00,00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\r\n\"n\"=dword:ffffffff\r\n"},
        {"registry/long-hex.reg",
         header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\X]\n\"Data\"=hex(3):00,01,02,03,04,05,06,07,08,\\\n"
                  "  09,0a,0b,0c\n"},
        {"registry/empty.reg", ""},
        {"registry/header-only.reg", header},
        {"avi/rle8-4x3x2.avi", Avi(4, 3, 2, true)},
        {"avi/rle8-16x8x3.avi", Avi(16, 8, 3, true)},
        {"avi/rgb-4x2x1.avi", Avi(4, 2, 1, false)},
        // CP932 text: two bytes choosing a string-table entry, then the text.
        {"cp932/path.txt", std::string("\x00\x10", 2) + FromUtf8("C:\\データ\\表示.dbs")},
        {"cp932/trail-5c.txt", std::string("\x07\xd5", 2) + FromUtf8("ソフト\\能力表.txt")},
        {"cp932/percent.txt", std::string("\x00\x20", 2) + FromUtf8("100%s%d%n 施設")},
        {"cp932/ascii.txt", std::string("\x01\x00", 2) + "Guide.dbs"},
        // SQL values: case byte, split byte, then the values.
        {"sql/genre.txt", std::string("\x02\x02", 2) + "0102"},
        {"sql/apostrophe.txt", std::string("\x04\x00", 2) + FromUtf8("ジョーズ' OR '1'='1")},
        {"sql/quotes.txt", std::string("\x08\x03", 2) + "a''b'--"},
        {"sql/japanese.txt", std::string("\x05\x04", 2) + FromUtf8("和食表示")},
    };
    for (const auto& [path, bytes] : seeds)
        if (!(std::ofstream(std::string(argv[1]) + "/" + path, std::ios::binary | std::ios::trunc) << bytes))
            std::fprintf(stderr, "cannot write %s\n", path);
    return 0;
}
