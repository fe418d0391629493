#include <cstdio>

#include "Commands.h"
#include "kivo/imaging/File.h"

int RunInfo(const Args& args) {
    if (args.size() != 1) return Fail("info", "expected exactly one FILE");
    BitmapHandle bitmap;
    FileInfo info;
    int status = L_LoadBitmap(args[0], &bitmap, 0, 1, nullptr, &info);
    if (status != SUCCESS) return Fail(args[0], L_StatusText(status));
    std::printf("width=%d height=%d bpp=%d format=%d\n", info.Width, info.Height,
                info.BitsPerPixel, info.Format);
    return 0;
}
