#include "support/PnmWrite.h"

#include <gtest/gtest.h>

namespace kivo::test {

Bytes EncodePnm(const BitmapHandle& b, bool withAlpha) {
    std::string header =
        withAlpha
            ? "P7\nWIDTH " + std::to_string(b.Width) + "\nHEIGHT " + std::to_string(b.Height) +
                  "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
            : "P6\n" + std::to_string(b.Width) + " " + std::to_string(b.Height) + "\n255\n";
    Bytes out(header.begin(), header.end());
    const int channels = withAlpha ? 4 : 3;
    out.reserve(out.size() + size_t(b.Width) * b.Height * channels);
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            uint8_t rgba[4];
            BitmapRgba(b, x, y, rgba);
            out.insert(out.end(), rgba, rgba + channels);
        }
    return out;
}

PnmImage PeerDecode(const std::string& command) {
    PnmImage image;
    CommandResult r = RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command;
    if (r.ExitCode == 0) {
        EXPECT_TRUE(ParsePnm(r.Output, &image)) << "no PNM from: " << command;
    }
    return image;
}

}  // namespace kivo::test
