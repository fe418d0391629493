#include "kivo/imaging/SaveTable.h"

#include <array>
#include <cctype>
#include <string>

#include "kivo/imaging/File.h"

namespace {

template <int... Allowed>
int KeepOr24(int bpp) {
    return ((bpp == Allowed) || ...) ? bpp : 24;
}

int JpegDepth(int bpp) { return bpp <= 8 ? 24 : bpp; }
int SameDepth(int bpp) { return bpp; }
int GifDepth(int bpp) { return bpp >= 1 && bpp <= 8 ? bpp : 8; }
int UpTo8Or24(int bpp) { return (bpp >= 1 && bpp <= 8) || bpp == 24 ? bpp : 24; }

const std::array<SaveTableRow, 14> Rows = {{
    {1, ".JPG", FILE_LEAD1JFIF, JpegDepth},
    {2, ".BMP", FILE_BMP, SameDepth},
    {3, ".PCX", FILE_PCX, SameDepth},
    {4, ".TIF", FILE_TIF, SameDepth},
    {5, ".GIF", FILE_GIF, GifDepth},
    {6, ".WMF", FILE_WMF, KeepOr24<8, 24>},
    {7, ".EMF", FILE_EMF, KeepOr24<8, 24>},
    {8, ".XPM", FILE_XPM, KeepOr24<8, 16, 24, 32>},
    {9, ".CAT", FILE_IFF_CAT, UpTo8Or24},
    {10, ".PSD", FILE_PSD, UpTo8Or24},
    {11, ".PNG", FILE_PNG, KeepOr24<1, 4, 8, 24, 32>},
    {12, ".TGA", FILE_TGA, KeepOr24<8, 16, 24, 32>},
    {13, ".RAS", FILE_RAS, KeepOr24<1, 4, 8, 24, 32>},
    {14, ".PCT", FILE_PCT, KeepOr24<1, 4, 8, 24>},
}};

// Pictures saved through "any other" filter index go out as JPEG at 24 bits.
int Always24(int) { return 24; }
const SaveTableRow FallbackRow = {0, ".JPG", FILE_LEAD1JFIF, Always24};

}  // namespace

const SaveTableRow& SaveRowForFilterIndex(int filterIndex) {
    for (const SaveTableRow& row : Rows)
        if (row.FilterIndex == filterIndex) return row;
    return FallbackRow;
}

const SaveTableRow* SaveRowForExtension(std::string_view extension) {
    std::string ext;
    if (extension.empty() || extension.front() != '.') ext = ".";
    for (char c : extension) ext += char(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".JPEG") ext = ".JPG";
    if (ext == ".TIFF") ext = ".TIF";
    for (const SaveTableRow& row : Rows)
        if (ext == row.Extension) return &row;
    return nullptr;
}
