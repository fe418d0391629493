#pragma once

// The editor's fourteen save formats: for each entry of the save dialog's filter list, the file
// extension, the format code and the rule that turns the picture's depth into the depth passed
// to L_SaveBitmap. kivo-image uses the same table, keyed by the output file's extension.

#include <string_view>

struct SaveTableRow {
    int FilterIndex;        // 1-based index in the save dialog's filter list
    const char* Extension;  // upper case with the dot: ".JPG"
    int Format;             // FileFormat code
    // Depth passed for a picture of `bpp` bits per pixel.
    int (*DepthFor)(int bpp);
};

// The row of a filter index; any index outside 1..14 gives the JPEG row.
const SaveTableRow& SaveRowForFilterIndex(int filterIndex);
// The row whose extension matches (case-insensitive, with or without the dot), or nullptr.
const SaveTableRow* SaveRowForExtension(std::string_view extension);
