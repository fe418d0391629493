#include "support/Peer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kivo::test {

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.insert(result.Output.end(), buffer, buffer + n);
    int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::string CommandText(const std::string& command) {
    CommandResult r = RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command;
    std::string text(r.Output.begin(), r.Output.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kivo-test-XXXXXX").string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (::mkdtemp(name.data())) Dir = name.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
}

namespace {

// Reads PNM header tokens, skipping whitespace and comments.
class PnmHeader {
public:
    PnmHeader(const Bytes& b, size_t pos) : Pos(pos), B(b) {}
    bool Number(int* v) {
        SkipSpace();
        if (Pos >= B.size() || !std::isdigit(B[Pos])) return false;
        long value = 0;
        while (Pos < B.size() && std::isdigit(B[Pos]) && value < 1000000000)
            value = value * 10 + (B[Pos++] - '0');
        *v = int(value);
        return true;
    }
    std::string Line() {
        std::string s;
        while (Pos < B.size() && B[Pos] != '\n') s += char(B[Pos++]);
        if (Pos < B.size()) ++Pos;
        return s;
    }
    void SkipSpace() {
        while (Pos < B.size()) {
            if (B[Pos] == '#') {
                while (Pos < B.size() && B[Pos] != '\n') ++Pos;
            } else if (std::isspace(B[Pos])) {
                ++Pos;
            } else {
                break;
            }
        }
    }
    size_t Pos;

private:
    const Bytes& B;
};

}  // namespace

bool ParsePnm(const Bytes& bytes, PnmImage* out) {
    *out = PnmImage{};
    if (bytes.size() < 3 || bytes[0] != 'P') return false;
    const char kind = char(bytes[1]);
    PnmHeader h(bytes, 2);
    int w = 0, ht = 0, maxval = 1, channels = 1;
    if (kind == '7') {
        h.Line();
        for (;;) {
            std::string line = h.Line();
            if (h.Pos >= bytes.size() && line.empty()) return false;
            std::istringstream words(line);
            std::string key;
            words >> key;
            if (key == "ENDHDR") break;
            if (key == "WIDTH") words >> w;
            if (key == "HEIGHT") words >> ht;
            if (key == "DEPTH") words >> channels;
            if (key == "MAXVAL") words >> maxval;
        }
    } else if (kind >= '1' && kind <= '6') {
        if (!h.Number(&w) || !h.Number(&ht)) return false;
        if (kind != '1' && kind != '4' && !h.Number(&maxval)) return false;
        channels = (kind == '3' || kind == '6') ? 3 : 1;
        if (kind >= '4') ++h.Pos;  // the single whitespace before the raster
    } else {
        return false;
    }
    if (w <= 0 || ht <= 0 || channels < 1 || channels > 4 || maxval < 1 || maxval > 65535)
        return false;
    std::vector<uint16_t> samples(size_t(w) * ht * channels);
    size_t pos = h.Pos;
    if (kind == '1' || kind == '2' || kind == '3') {
        PnmHeader body(bytes, pos);
        for (uint16_t& s : samples) {
            int v;
            if (kind == '1') {
                body.SkipSpace();
                if (body.Pos >= bytes.size()) return false;
                v = bytes[body.Pos++] == '1';
            } else if (!body.Number(&v)) {
                return false;
            }
            s = uint16_t(v);
        }
    } else if (kind == '4') {
        size_t rowBytes = (size_t(w) + 7) / 8;
        if (bytes.size() < pos + rowBytes * ht) return false;
        for (int y = 0; y < ht; ++y)
            for (int x = 0; x < w; ++x)
                samples[size_t(y) * w + x] = (bytes[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    } else {
        const int bytesPerSample = maxval > 255 ? 2 : 1;
        if (bytes.size() < pos + samples.size() * bytesPerSample) return false;
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = bytesPerSample == 1
                             ? bytes[pos + i]
                             : uint16_t((bytes[pos + 2 * i] << 8) | bytes[pos + 2 * i + 1]);
    }
    if (kind == '1' || kind == '4') {
        // PBM: 1 is black.
        for (uint16_t& s : samples) s = uint16_t(1 - s);
        maxval = 1;
    }
    out->Width = w;
    out->Height = ht;
    out->Channels = channels;
    out->MaxVal = maxval;
    out->Samples = std::move(samples);
    return true;
}

void BitmapRgba(const BitmapHandle& b, int x, int y, uint8_t rgba[4]) {
    const uint8_t* row = b.Row(y);
    rgba[3] = 255;
    switch (b.BitsPerPixel) {
    case 1:
    case 4:
    case 8: {
        int index;
        if (b.BitsPerPixel == 8)
            index = row[x];
        else if (b.BitsPerPixel == 4)
            index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        else
            index = (row[x / 8] >> (7 - x % 8)) & 1;
        RgbQuad q = size_t(index) < b.Palette.size() ? b.Palette[index] : RgbQuad{};
        rgba[0] = q.Red;
        rgba[1] = q.Green;
        rgba[2] = q.Blue;
        break;
    }
    case 16: {
        unsigned v = row[x * 2] | (row[x * 2 + 1] << 8);
        auto expand = [](unsigned c) { return uint8_t((c << 3) | (c >> 2)); };
        rgba[0] = expand((v >> 10) & 31);
        rgba[1] = expand((v >> 5) & 31);
        rgba[2] = expand(v & 31);
        break;
    }
    case 24:
        rgba[0] = row[x * 3 + 2];
        rgba[1] = row[x * 3 + 1];
        rgba[2] = row[x * 3];
        break;
    case 32:
        rgba[0] = row[x * 4 + 2];
        rgba[1] = row[x * 4 + 1];
        rgba[2] = row[x * 4];
        rgba[3] = row[x * 4 + 3];
        break;
    default:
        rgba[0] = rgba[1] = rgba[2] = 0;
    }
}

void WritePnm(const BitmapHandle& b, const std::filesystem::path& path, bool grey) {
    std::string header = std::string(grey ? "P5\n" : "P6\n") + std::to_string(b.Width) + " " +
                         std::to_string(b.Height) + "\n255\n";
    Bytes bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + size_t(b.Width) * b.Height * 3);
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            uint8_t rgba[4];
            BitmapRgba(b, x, y, rgba);
            if (grey)
                bytes.push_back(rgba[1]);
            else
                bytes.insert(bytes.end(), rgba, rgba + 3);
        }
    WriteFileBytes(path, bytes);
}

std::string ComparePixels(const BitmapHandle& b, const PnmImage& pnm, int tolerance) {
    std::ostringstream msg;
    if (!b.Allocated()) return "bitmap not allocated";
    if (b.Width != pnm.Width || b.Height != pnm.Height) {
        msg << "size " << b.Width << "x" << b.Height << " vs peer " << pnm.Width << "x"
            << pnm.Height;
        return msg.str();
    }
    auto to8 = [&](uint16_t v) {
        return pnm.MaxVal == 255 ? int(v) : int((uint32_t(v) * 255 + pnm.MaxVal / 2) / pnm.MaxVal);
    };
    const bool peerAlpha = pnm.Channels == 2 || pnm.Channels == 4;
    const bool compareAlpha = peerAlpha && b.BitsPerPixel == 32;
    const int colourChannels = pnm.Channels >= 3 ? 3 : 1;
    long differing = 0;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            uint8_t rgba[4];
            BitmapRgba(b, x, y, rgba);
            for (int c = 0; c < 4; ++c) {
                int peer;
                if (c == 3) {
                    if (!compareAlpha) continue;
                    peer = to8(pnm.At(x, y, pnm.Channels - 1));
                } else {
                    peer = to8(pnm.At(x, y, colourChannels == 3 ? c : 0));
                }
                if (std::abs(peer - int(rgba[c])) > tolerance) {
                    if (differing == 0)
                        msg << "first difference at (" << x << "," << y << ") channel " << c
                            << ": ours " << int(rgba[c]) << ", peer " << peer << "; ";
                    ++differing;
                }
            }
        }
    if (differing == 0) return "";
    msg << differing << " samples differ by more than " << tolerance;
    return msg.str();
}

double Psnr(const BitmapHandle& a, const BitmapHandle& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.Width == 0) return 0;
    double sum = 0;
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x) {
            uint8_t pa[4], pb[4];
            BitmapRgba(a, x, y, pa);
            BitmapRgba(b, x, y, pb);
            for (int c = 0; c < 3; ++c) sum += double(pa[c] - pb[c]) * (pa[c] - pb[c]);
        }
    double mse = sum / (double(a.Width) * a.Height * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace kivo::test
