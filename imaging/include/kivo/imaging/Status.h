#pragma once

// Result codes of every L_ function. SUCCESS is 1 so that call sites can test "== 1" or "> 0";
// every failure is a named negative code, and L_StatusText gives the text a user is shown.

enum : int {
    SUCCESS = 1,
    FAILURE = 0,
    ERROR_NO_MEMORY = -1,
    ERROR_NO_BITMAP = -2,
    ERROR_INV_PARAMETER = -3,
    ERROR_FILE_OPEN = -4,
    ERROR_FILE_READ = -5,
    ERROR_FILE_WRITE = -6,
    ERROR_FILE_FORMAT = -7,      // the content is not a picture in any format we know
    ERROR_FILE_CORRUPT = -8,     // the format was recognised but the data is damaged or truncated
    ERROR_FEATURE_NOT_SUPPORTED = -9,
    ERROR_IMAGE_TOO_LARGE = -10, // the declared pixel count exceeds the library's limit
    ERROR_USER_ABORT = -11,      // the status callback returned 0
    ERROR_INV_BITSPERPIXEL = -12,
    ERROR_INV_FORMAT = -13,      // unknown format code passed to a save
    ERROR_NO_CLIPBOARD_DATA = -14,
    ERROR_INTERNAL = -15,
    ERROR_NO_SCREEN = -16,       // a screen capture found no screen to take the picture from
};

// A short English description of a status code, for command-line messages and logs.
const char* L_StatusText(int status);
