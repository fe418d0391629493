#pragma once

// Helpers for interop tests against real peer programs (ImageMagick, netpbm, libjpeg-turbo's
// tools): running a shell command, a temporary folder per test, reading the PNM/PAM files the
// peers write, and comparing their pixels with a bitmap's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"

namespace kivo::test {

using Bytes = std::vector<uint8_t>;

struct CommandResult {
    int ExitCode = -1;  // the shell's exit status; -1 when the command could not run
    Bytes Output;       // everything the command wrote to stdout
};

// Runs `command` through /bin/sh; stderr goes to the test's stderr.
CommandResult RunCommand(const std::string& command);
// Quotes a path or argument for the shell.
std::string ShellQuote(const std::string& s);
// The stdout of a command as text without the trailing newline; fails the current test when
// the command exits non-zero.
std::string CommandText(const std::string& command);

Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A fresh folder under the system's temp folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return Dir; }
    std::filesystem::path operator/(const std::string& name) const { return Dir / name; }

private:
    std::filesystem::path Dir;
};

// A decoded PNM (P1–P6) or PAM (P7) picture: Channels samples per pixel (1 grey, 2 grey+alpha,
// 3 RGB, 4 RGBA), each 0..MaxVal, row-major from the top.
struct PnmImage {
    int Width = 0;
    int Height = 0;
    int Channels = 0;
    int MaxVal = 0;
    std::vector<uint16_t> Samples;

    uint16_t At(int x, int y, int channel) const {
        return Samples[(size_t(y) * Width + x) * Channels + channel];
    }
};

// Parses the bytes; returns false (with Width 0) when they are not a PNM/PAM picture.
bool ParsePnm(const Bytes& bytes, PnmImage* out);

// Writes the bitmap's colours as a binary PPM (P6), or as a PGM (P5) when `grey` (the green
// channel is written), so peers can be fed a picture made in code.
void WritePnm(const BitmapHandle& b, const std::filesystem::path& path, bool grey = false);

// The bitmap's pixel (x, y) as 8-bit R, G, B, A (palette colours looked up; A is 255 below 32
// bits).
void BitmapRgba(const BitmapHandle& b, int x, int y, uint8_t rgba[4]);

// Compares a bitmap's colours with a PNM picture (grey PNMs are compared with every channel;
// 16-bit PNMs are scaled to 8 bits with rounding). Alpha is compared only when both have it.
// Returns "" when every sample is within `tolerance`, else a description of the first
// difference and the number of differing samples.
std::string ComparePixels(const BitmapHandle& b, const PnmImage& pnm, int tolerance = 0);

// Peak signal-to-noise ratio of the colours of two bitmaps of the same size, in dB (99 when
// identical).
double Psnr(const BitmapHandle& a, const BitmapHandle& b);

}  // namespace kivo::test
