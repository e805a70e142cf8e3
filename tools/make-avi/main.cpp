// make-avi: draws the progress dialog's two animations and writes them as
// RLE8 AVI files, plus a C++ source that compiles them into the program.
//
//   make-avi <folder for the .avi files> <generated .cpp>
//
// 330 (copying): sheets of paper flying from a CD to a folder, 17 frames of
// 260 x 40. 340 (removing): documents flying from a stack into a waste bin,
// 24 frames of 304 x 60. Both at 100 ms a frame. The top-left pixel is the
// background, which the animation control draws transparent.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/make-avi/avi_writer.h"

namespace {

enum Colour : std::uint8_t {
    kBack, kBlack, kWhite, kSilver, kBlue, kFolder, kFolderDark, kGrey, kBin, kBinDark, kShadow, kCount
};

const std::uint32_t kPalette[kCount] = {
    0xC0C0C0, // background (transparent)
    0x000000, 0xFFFFFF, 0xDCDCE6, 0x6078E0, 0xF0C840, 0xB08818, 0x808080, 0x98A0A8, 0x505860, 0xA8A8A8,
};

class Canvas {
public:
    Canvas(int w, int h) : m_w(w), m_h(h), m_px(static_cast<size_t>(w) * h, kBack) {}

    void Set(int x, int y, std::uint8_t c)
    {
        if (x >= 0 && y >= 0 && x < m_w && y < m_h)
            m_px[static_cast<size_t>(y) * m_w + x] = c;
    }
    void Fill(int x0, int y0, int x1, int y1, std::uint8_t c)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                Set(x, y, c);
    }
    void Frame(int x0, int y0, int x1, int y1, std::uint8_t c)
    {
        for (int x = x0; x < x1; ++x) {
            Set(x, y0, c);
            Set(x, y1 - 1, c);
        }
        for (int y = y0; y < y1; ++y) {
            Set(x0, y, c);
            Set(x1 - 1, y, c);
        }
    }
    void Disc(double cx, double cy, double r, std::uint8_t c)
    {
        for (int y = static_cast<int>(cy - r) - 1; y <= cy + r + 1; ++y)
            for (int x = static_cast<int>(cx - r) - 1; x <= cx + r + 1; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    Set(x, y, c);
    }
    const std::vector<std::uint8_t>& Pixels() const { return m_px; }

private:
    int m_w, m_h;
    std::vector<std::uint8_t> m_px;
};

void Cd(Canvas& c, double cx, double cy, double r)
{
    c.Disc(cx, cy, r + 1, kBlack);
    c.Disc(cx, cy, r, kSilver);
    c.Disc(cx, cy, r * 0.7, kBlue);
    c.Disc(cx, cy, r * 0.55, kSilver);
    c.Disc(cx, cy, r * 0.25, kBlack);
    c.Disc(cx, cy, r * 0.18, kBack);
}

void Folder(Canvas& c, int x, int y, int w, int h)
{
    c.Fill(x, y, x + w / 3, y + 4, kFolderDark);
    c.Fill(x, y + 3, x + w, y + h, kFolder);
    c.Frame(x, y + 3, x + w, y + h, kBlack);
    c.Fill(x + 1, y + 7, x + w - 1, y + 8, kFolderDark);
}

// A sheet of paper with lines of text, w x h, at (x, y).
void Sheet(Canvas& c, int x, int y, int w, int h)
{
    c.Fill(x + 2, y + 2, x + w + 2, y + h + 2, kShadow);
    c.Fill(x, y, x + w, y + h, kWhite);
    c.Frame(x, y, x + w, y + h, kBlack);
    for (int ly = y + 3; ly < y + h - 2; ly += 3)
        c.Fill(x + 2, ly, x + w - 2, ly + 1, kGrey);
}

void Bin(Canvas& c, int x, int y, int w, int h)
{
    c.Fill(x - 2, y, x + w + 2, y + 3, kBinDark);
    c.Fill(x, y + 3, x + w, y + h, kBin);
    c.Frame(x, y + 3, x + w, y + h, kBlack);
    for (int sx = x + w / 5; sx < x + w - 2; sx += w / 5)
        c.Fill(sx, y + 6, sx + 1, y + h - 3, kBinDark);
}

// A point on the arc from (x0, y0) to (x1, y1) that rises by lift at its
// middle, at t in [0, 1].
void Arc(double t, double x0, double y0, double x1, double y1, double lift, int& x, int& y)
{
    x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
    y = static_cast<int>(std::lround(y0 + (y1 - y0) * t - lift * 4 * t * (1 - t)));
}

AviIndexedClip NewClip(int w, int h)
{
    AviIndexedClip clip;
    clip.width = w;
    clip.height = h;
    clip.microSecPerFrame = 100000;
    for (int i = 0; i < kCount; ++i)
        clip.palette[i] = kPalette[i];
    return clip;
}

AviIndexedClip CopyingClip()
{
    const int w = 260, h = 40, frames = 17;
    AviIndexedClip clip = NewClip(w, h);
    for (int f = 0; f < frames; ++f) {
        Canvas c(w, h);
        Cd(c, 22, 21, 16);
        Folder(c, 214, 8, 40, 28);
        for (int k = 0; k < 2; ++k) {
            const double t = std::fmod(static_cast<double>(f) / frames + k * 0.5, 1.0);
            int x, y;
            Arc(t, 36, 16, 206, 14, 12, x, y);
            Sheet(c, x, y, 11, 14);
        }
        clip.frames.push_back(c.Pixels());
    }
    return clip;
}

AviIndexedClip RemovingClip()
{
    const int w = 304, h = 60, frames = 24;
    AviIndexedClip clip = NewClip(w, h);
    for (int f = 0; f < frames; ++f) {
        Canvas c(w, h);
        for (int s = 2; s >= 0; --s)
            Sheet(c, 8 + 3 * s, 22 - 3 * s, 22, 28);
        Bin(c, 252, 18, 40, 40);
        const double t = static_cast<double>(f) / (frames - 1);
        int x, y;
        Arc(t, 14, 16, 258, 10, 14, x, y);
        // The document falls into the bin: what passes below its rim is hidden.
        Canvas sheet(w, h);
        Sheet(sheet, x, y, 16, 20);
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px) {
                const std::uint8_t v = sheet.Pixels()[static_cast<size_t>(py) * w + px];
                const bool insideBin = px >= 250 && px < 294 && py >= 18;
                if (v != kBack && !insideBin)
                    c.Set(px, py, v);
            }
        clip.frames.push_back(c.Pixels());
    }
    return clip;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void EmitArray(std::string& src, const char* name, const std::vector<std::uint8_t>& bytes)
{
    src += "const unsigned char ";
    src += name;
    src += "[] = {";
    char buf[8];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 20 == 0)
            src += "\n   ";
        std::snprintf(buf, sizeof buf, " %u,", bytes[i]);
        src += buf;
    }
    src += "\n};\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-avi <avi folder> <generated .cpp>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const struct {
        unsigned id;
        std::vector<std::uint8_t> bytes;
    } clips[] = {{330, WriteRle8Avi(CopyingClip())}, {340, WriteRle8Avi(RemovingClip())}};

    std::string src = "// Generated by tools/make-avi; do not edit.\n#include \"services/avi_resources.h\"\n\nnamespace {\n";
    for (const auto& clip : clips) {
        const std::string path = folder + "/" + std::to_string(clip.id) + ".avi";
        if (!WriteFile(path, clip.bytes)) {
            std::fprintf(stderr, "make-avi: cannot write %s\n", path.c_str());
            return 1;
        }
        EmitArray(src, ("kAvi" + std::to_string(clip.id)).c_str(), clip.bytes);
    }
    src += "} // namespace\n\nbool FindAviResource(unsigned id, AviResource& out)\n{\n    switch (id) {\n";
    for (const auto& clip : clips) {
        const std::string name = "kAvi" + std::to_string(clip.id);
        src += "    case " + std::to_string(clip.id) + ":\n        out.data = " + name + ";\n        out.size = sizeof " +
               name + ";\n        return true;\n";
    }
    src += "    default:\n        return false;\n    }\n}\n";
    if (!WriteFile(argv[2], std::vector<std::uint8_t>(src.begin(), src.end()))) {
        std::fprintf(stderr, "make-avi: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
