#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/xpm/Xpm.h"
#include "codecs/xpm/XpmColourNames.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

std::string_view SkipSpace(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(i);
}

bool SniffXpm(const uint8_t* head, size_t size) {
    std::string_view s = SkipSpace(std::string_view(reinterpret_cast<const char*>(head), size));
    return s.starts_with("/* XPM */") || s.starts_with("! XPM2");
}

// The strings of an XPM3 file (the literals inside the array's braces) or the lines of an XPM2
// file. Returns false on an unterminated literal or comment.
bool CollectStrings(std::string_view text, std::vector<std::string_view>* out) {
    text = SkipSpace(text);
    if (text.starts_with("! XPM2")) {
        size_t pos = text.find('\n');
        while (pos != std::string_view::npos && pos + 1 <= text.size()) {
            size_t start = pos + 1;
            size_t end = text.find('\n', start);
            std::string_view line =
                text.substr(start, end == std::string_view::npos ? end : end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (end != std::string_view::npos || !line.empty()) out->push_back(line);
            pos = end;
        }
        return true;
    }
    const size_t brace = text.find('{');
    if (brace == std::string_view::npos) return false;
    for (size_t i = brace + 1; i < text.size();) {
        const char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos) return false;
            i = end + 2;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            const size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < text.size() && text[j] != '"') j += text[j] == '\\' ? 2 : 1;
            if (j >= text.size()) return false;
            out->push_back(text.substr(i + 1, j - i - 1));
            i = j + 1;
        } else if (c == '}') {
            break;
        } else {
            ++i;
        }
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Parses one colour value; *none is set for "None". Returns false for an unknown colour.
bool ParseColour(std::string_view v, RgbQuad* q, bool* none) {
    *none = false;
    std::string name;
    for (char c : v)
        if (!std::isspace(static_cast<unsigned char>(c)))
            name += char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "none") {
        *none = true;
        *q = RgbQuad{};
        return true;
    }
    if (!name.empty() && name[0] == '#') {
        const size_t digits = name.size() - 1;
        if (digits != 3 && digits != 6 && digits != 9 && digits != 12) return false;
        const size_t per = digits / 3;
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            int value = 0;
            for (size_t k = 0; k < per; ++k) {
                const int d = HexDigit(name[1 + c * per + k]);
                if (d < 0) return false;
                value = value * 16 + d;
            }
            // Keep the top 8 bits; one digit stands for itself repeated (#F00 = #FF0000).
            channel[c] = per == 1 ? value * 17 : value >> (4 * (per - 2));
        }
        *q = RgbQuad{uint8_t(channel[2]), uint8_t(channel[1]), uint8_t(channel[0]), 0};
        return true;
    }
    const auto* begin = std::begin(XpmColourNames);
    const auto* end = std::end(XpmColourNames);
    const auto* it = std::lower_bound(begin, end, name, [](const XpmNamedColour& a,
                                                           const std::string& n) {
        return std::strcmp(a.Name, n.c_str()) < 0;
    });
    if (it == end || name != it->Name) return false;
    *q = RgbQuad{it->B, it->G, it->R, 0};
    return true;
}

uint64_t CodeKey(const char* p, int cpp) {
    uint64_t k = 0;
    for (int i = 0; i < cpp; ++i) k = (k << 8) | static_cast<unsigned char>(p[i]);
    return k;
}

// Open-addressing table from pixel codes to colour indices.
class CodeTable {
public:
    explicit CodeTable(size_t count) {
        size_t cap = 16;
        while (cap < count * 2) cap <<= 1;
        Keys.assign(cap, ~uint64_t(0));
        Values.assign(cap, 0);
        Mask = cap - 1;
    }
    void Put(uint64_t key, int value) {  // the first definition of a code wins
        size_t i = Slot(key);
        while (Keys[i] != ~uint64_t(0) && Keys[i] != key) i = (i + 1) & Mask;
        if (Keys[i] == key) return;
        Keys[i] = key;
        Values[i] = value;
    }
    int Get(uint64_t key) const {
        size_t i = Slot(key);
        while (Keys[i] != ~uint64_t(0)) {
            if (Keys[i] == key) return Values[i];
            i = (i + 1) & Mask;
        }
        return -1;
    }

private:
    size_t Slot(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & Mask; }
    std::vector<uint64_t> Keys;
    std::vector<int> Values;
    size_t Mask = 0;
};

bool IsKey(std::string_view t) { return t == "c" || t == "m" || t == "s" || t == "g" || t == "g4"; }

int ReadXpm(ByteReader& in, BitmapHandle& out, Progress& progress) {
    std::string_view text(reinterpret_cast<const char*>(in.Data()), in.Length());
    std::vector<std::string_view> strings;
    if (!CollectStrings(text, &strings) || strings.empty()) return ERROR_FILE_CORRUPT;

    long long width = 0, height = 0, ncolors = 0, cpp = 0;
    {
        std::string values(strings[0]);
        if (std::sscanf(values.c_str(), "%lld %lld %lld %lld", &width, &height, &ncolors, &cpp) != 4)
            return ERROR_FILE_CORRUPT;
    }
    if (width <= 0 || height <= 0 || ncolors <= 0 || cpp <= 0) return ERROR_FILE_CORRUPT;
    if (cpp > 8) return ERROR_FEATURE_NOT_SUPPORTED;
    if (ncolors > (long long)strings.size() - 1) return ERROR_FILE_CORRUPT;
    if (height > (long long)strings.size() - 1 - ncolors) return ERROR_FILE_CORRUPT;

    std::vector<RgbQuad> colours(static_cast<size_t>(ncolors));
    std::vector<bool> transparent(static_cast<size_t>(ncolors));
    bool anyNone = false;
    CodeTable codes(static_cast<size_t>(ncolors));
    for (long long i = 0; i < ncolors; ++i) {
        std::string_view line = strings[size_t(1 + i)];
        if ((long long)line.size() < cpp) return ERROR_FILE_CORRUPT;
        codes.Put(CodeKey(line.data(), int(cpp)), int(i));
        // Split the rest into words, then group the words after each key.
        std::vector<std::string_view> words;
        std::string_view rest = line.substr(size_t(cpp));
        while (true) {
            rest = SkipSpace(rest);
            if (rest.empty()) break;
            size_t n = 0;
            while (n < rest.size() && !std::isspace(static_cast<unsigned char>(rest[n]))) ++n;
            words.push_back(rest.substr(0, n));
            rest.remove_prefix(n);
        }
        std::string_view chosen;
        int chosenRank = 99;
        for (size_t w = 0; w < words.size();) {
            if (!IsKey(words[w])) return ERROR_FILE_CORRUPT;
            const std::string_view key = words[w];
            size_t v = w + 1;
            while (v < words.size() && !IsKey(words[v])) ++v;
            if (v == w + 1) return ERROR_FILE_CORRUPT;
            const int rank = key == "c" ? 0 : key == "g" ? 1 : key == "g4" ? 2 : key == "m" ? 3 : 99;
            if (rank < chosenRank) {
                chosenRank = rank;
                chosen = std::string_view(words[w + 1].data(),
                                          size_t(words[v - 1].data() + words[v - 1].size() -
                                                 words[w + 1].data()));
            }
            w = v;
        }
        if (chosenRank == 99) return ERROR_FILE_CORRUPT;
        bool none = false;
        if (!ParseColour(chosen, &colours[size_t(i)], &none)) return ERROR_FILE_CORRUPT;
        transparent[size_t(i)] = none;
        anyNone |= none;
    }

    const int bpp = anyNone ? 32 : ncolors <= 256 ? 8 : 24;
    int rc = AllocateChecked(out, width, height, bpp);
    if (rc != SUCCESS) return rc;
    if (bpp == 8) out.Palette.assign(colours.begin(), colours.end());

    // One- and two-character codes are looked up directly.
    std::vector<int> direct;
    if (cpp <= 2) {
        direct.assign(size_t(1) << (8 * cpp), -1);
        for (long long i = ncolors - 1; i >= 0; --i)
            direct[CodeKey(strings[size_t(1 + i)].data(), int(cpp))] = int(i);
    }
    for (long long y = 0; y < height; ++y) {
        std::string_view row = strings[size_t(1 + ncolors + y)];
        if ((long long)row.size() < width * cpp) return ERROR_FILE_CORRUPT;
        uint8_t* dst = out.Row(int(y));
        const char* p = row.data();
        for (long long x = 0; x < width; ++x, p += cpp) {
            const uint64_t key = CodeKey(p, int(cpp));
            const int index = cpp <= 2 ? direct[key] : codes.Get(key);
            if (index < 0) return ERROR_FILE_CORRUPT;
            const RgbQuad& q = colours[size_t(index)];
            if (bpp == 8) {
                dst[x] = uint8_t(index);
            } else if (bpp == 24) {
                dst[3 * x] = q.Blue;
                dst[3 * x + 1] = q.Green;
                dst[3 * x + 2] = q.Red;
            } else {
                dst[4 * x] = q.Blue;
                dst[4 * x + 1] = q.Green;
                dst[4 * x + 2] = q.Red;
                dst[4 * x + 3] = transparent[size_t(index)] ? 0 : 255;
            }
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace

int WriteXpm(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

CodecEntry MakeXpmCodec() {
    return CodecEntry{"XPM", FILE_XPM, {FILE_XPM}, {8, 16, 24, 32}, 30,
                      SniffXpm, ReadXpm, WriteXpm};
}

}  // namespace kivo
