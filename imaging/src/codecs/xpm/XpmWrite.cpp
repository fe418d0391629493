#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/Codec.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

// Pixel characters: the printable ASCII set without space, '"' and '\\'.
std::string CodeAlphabet() {
    std::string s;
    for (char c = '!'; c <= '~'; ++c)
        if (c != '"' && c != '\\') s += c;
    return s;
}

// Colours of 24 bits (plus one slot for "None") numbered in increasing order through a bit set
// and per-word ranks, which keeps a picture of millions of colours cheap to index.
class ColourSet {
public:
    ColourSet() : Bits((1u << 24) / 64 + 1, 0) {}
    void Add(uint32_t c) { Bits[c >> 6] |= uint64_t(1) << (c & 63); }
    size_t Finish() {
        Rank.resize(Bits.size());
        uint32_t total = 0;
        for (size_t i = 0; i < Bits.size(); ++i) {
            Rank[i] = total;
            total += uint32_t(std::popcount(Bits[i]));
        }
        return total;
    }
    uint32_t IndexOf(uint32_t c) const {
        const uint64_t below = Bits[c >> 6] & ((uint64_t(1) << (c & 63)) - 1);
        return Rank[c >> 6] + uint32_t(std::popcount(below));
    }
    template <typename F>
    void ForEach(F f) const {
        for (size_t i = 0; i < Bits.size(); ++i)
            for (uint64_t w = Bits[i]; w; w &= w - 1)
                f(uint32_t(i * 64 + size_t(std::countr_zero(w))));
    }

private:
    std::vector<uint64_t> Bits;
    std::vector<uint32_t> Rank;
};

constexpr uint32_t NoneColour = 1u << 24;  // the slot after every real colour

uint32_t PixelKey(const BitmapHandle& bmp, const uint8_t* row, int x) {
    switch (bmp.BitsPerPixel) {
        case 16: {
            const int v = row[2 * x] | (row[2 * x + 1] << 8);
            auto expand = [](uint32_t c) { return (c << 3) | (c >> 2); };
            const uint32_t r = expand((v >> 10) & 31), g = expand((v >> 5) & 31);
            const uint32_t b = expand(v & 31);
            return (r << 16) | (g << 8) | b;
        }
        case 24: return (uint32_t(row[3 * x + 2]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x];
        default:
            if (row[4 * x + 3] < 128) return NoneColour;
            return (uint32_t(row[4 * x + 2]) << 16) | (uint32_t(row[4 * x + 1]) << 8) | row[4 * x];
    }
}

}  // namespace

int WriteXpm(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height, bpp = bmp.BitsPerPixel;
    const std::string alphabet = CodeAlphabet();

    // The colour table: for palettes, the entries the pixels use; otherwise every colour.
    std::vector<uint32_t> table;  // 0xRRGGBB or NoneColour
    std::vector<int> paletteCode(256, -1);
    ColourSet set;
    bool hasNone = false;
    if (bpp == 8) {
        std::vector<bool> used(256, false);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = bmp.Row(y);
            for (int x = 0; x < width; ++x) used[row[x]] = true;
        }
        for (int i = 0; i < 256; ++i) {
            if (!used[i]) continue;
            const RgbQuad q = size_t(i) < bmp.Palette.size() ? bmp.Palette[i] : RgbQuad{};
            paletteCode[i] = int(table.size());
            table.push_back((uint32_t(q.Red) << 16) | (uint32_t(q.Green) << 8) | q.Blue);
        }
    } else {
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = bmp.Row(y);
            for (int x = 0; x < width; ++x) {
                const uint32_t k = PixelKey(bmp, row, x);
                if (k == NoneColour)
                    hasNone = true;
                else
                    set.Add(k);
            }
        }
        table.reserve(set.Finish() + 1);
        set.ForEach([&](uint32_t c) { table.push_back(c); });
        if (hasNone) table.push_back(NoneColour);
    }

    int cpp = 1;
    for (size_t capacity = alphabet.size(); capacity < table.size(); capacity *= alphabet.size())
        ++cpp;
    // Every colour's code, cpp characters each.
    std::string codes(table.size() * size_t(cpp), ' ');
    for (size_t i = 0; i < table.size(); ++i) {
        size_t v = i;
        for (int k = cpp - 1; k >= 0; --k) {
            codes[i * cpp + size_t(k)] = alphabet[v % alphabet.size()];
            v /= alphabet.size();
        }
    }

    char line[96];
    out.Text("/* XPM */\nstatic char *image[] = {\n/* columns rows colors chars-per-pixel */\n");
    std::snprintf(line, sizeof line, "\"%d %d %zu %d \",\n", width, height, table.size(), cpp);
    out.Text(line);
    for (size_t i = 0; i < table.size(); ++i) {
        out.U8('"');
        out.Write(codes.data() + i * cpp, size_t(cpp));
        if (table[i] == NoneColour)
            std::snprintf(line, sizeof line, " c None\",\n");
        else
            std::snprintf(line, sizeof line, " c #%06X\",\n", unsigned(table[i]));
        out.Text(line);
    }
    out.Text("/* pixels */\n");

    std::string rowText(size_t(width) * cpp + 4, ' ');
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bmp.Row(y);
        char* p = rowText.data();
        *p++ = '"';
        for (int x = 0; x < width; ++x) {
            size_t index;
            if (bpp == 8) {
                index = size_t(paletteCode[row[x]]);
            } else {
                const uint32_t k = PixelKey(bmp, row, x);
                index = k == NoneColour ? table.size() - 1 : set.IndexOf(k);
            }
            const char* code = codes.data() + index * size_t(cpp);
            for (int k = 0; k < cpp; ++k) *p++ = code[k];
        }
        *p++ = '"';
        if (y + 1 < height) *p++ = ',';
        *p++ = '\n';
        out.Write(rowText.data(), size_t(p - rowText.data()));
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    out.Text("};\n");
    return SUCCESS;
}

}  // namespace kivo
