#include "kivo/imaging/Status.h"

const char* L_StatusText(int status) {
    switch (status) {
        case SUCCESS: return "success";
        case FAILURE: return "the operation failed";
        case ERROR_NO_MEMORY: return "not enough memory";
        case ERROR_NO_BITMAP: return "no picture";
        case ERROR_INV_PARAMETER: return "invalid parameter";
        case ERROR_FILE_OPEN: return "the file cannot be opened";
        case ERROR_FILE_READ: return "the file cannot be read";
        case ERROR_FILE_WRITE: return "the file cannot be written";
        case ERROR_FILE_FORMAT: return "not a picture in a known format";
        case ERROR_FILE_CORRUPT: return "the picture data is damaged or truncated";
        case ERROR_FEATURE_NOT_SUPPORTED: return "this kind of picture is not supported";
        case ERROR_IMAGE_TOO_LARGE: return "the picture is too large";
        case ERROR_USER_ABORT: return "cancelled";
        case ERROR_INV_BITSPERPIXEL: return "the format cannot store this colour depth";
        case ERROR_INV_FORMAT: return "unknown file format code";
        case ERROR_NO_CLIPBOARD_DATA: return "no picture on the clipboard";
        case ERROR_INTERNAL: return "internal error";
        case ERROR_NO_SCREEN: return "no screen to capture";
        default: return "unknown error";
    }
}
