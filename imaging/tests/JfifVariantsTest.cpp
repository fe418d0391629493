// The open dialog's JPEG variants (.jff, .jtf) are JFIF files under other names: they load by
// their content, as JPEG, with the pixels djpeg gives.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;

TEST(JfifVariants, LoadAsJpegWithDjpegsPixels) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(33, 21)));
    for (const char* name : {"photo.jff", "photo.jtf", "PHOTO.JFF"}) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        ASSERT_EQ(RunCommand("cjpeg -quality 85 -outfile " + ShellQuote(file.string()) + " " +
                             ShellQuote((dir / "in.ppm").string()))
                      .ExitCode,
                  0);
        BitmapHandle b;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap(file.string(), &b, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_JPEG);
        EXPECT_EQ(ComparePixels(b, PeerDecode("djpeg -pnm " + ShellQuote(file.string()))), "");
    }
}

}  // namespace
