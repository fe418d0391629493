#pragma once

// The status callback's contract, checked the same way for every codec: loads and saves report
// rising percentages that end at 100, and a callback that returns 0 stops either at once with
// ERROR_USER_ABORT, leaving neither a file nor a bitmap behind.

#include <string>
#include <utility>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "support/Peer.h"

namespace kivo::test {

struct EncodedFile {
    std::string Name;  // for the failure messages: "interlaced", "rle8", …
    Bytes Data;
};

// Saves `picture` as `format` at `bpp` and loads the result, each with at least `minReports`
// reports, then both again with a callback that aborts at 30 %. `moreFiles` (other encodings
// of a picture of many rows: interlaced, compressed, written by a peer) have their loads
// checked the same way.
void ExpectProgressContract(const BitmapHandle& picture, int format, int bpp, size_t minReports,
                            const std::vector<EncodedFile>& moreFiles = {});

}  // namespace kivo::test
