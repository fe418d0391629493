#pragma once

// Helpers shared by the interop tests of the simple raster codecs: load a file expecting a format,
// save a bitmap through the public API, and run kivo-image on a damaged file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/Peer.h"

namespace kivo::test {

// Loads a file at its own depth; fails the test unless it loads as `format`.
inline BitmapHandle LoadAs(const std::filesystem::path& file, int format) {
    BitmapHandle b;
    FileInfo info;
    EXPECT_EQ(L_LoadBitmap(file.string(), &b, 0, 1, nullptr, &info), SUCCESS) << file;
    EXPECT_EQ(info.Format, format) << file;
    return b;
}

// Saves through L_SaveBitmap; fails the test when the save fails.
inline void SaveAs(const BitmapHandle& b, const std::filesystem::path& file, int format, int bpp) {
    ASSERT_EQ(L_SaveBitmap(file.string(), &b, format, bpp), SUCCESS) << file << " at " << bpp;
}

// kivo-image's `info` on a file: its exit code and everything it printed.
inline std::pair<int, std::string> ToolInfo(const std::filesystem::path& file) {
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " +
                                 ShellQuote(file.string()) + " 2>&1");
    return {r.ExitCode, std::string(r.Output.begin(), r.Output.end())};
}

}  // namespace kivo::test
