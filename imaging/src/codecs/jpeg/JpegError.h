#pragma once

// libjpeg reports a fatal error through error_exit, which must not return. Ours longjmps back
// to the setjmp of the function that drives libjpeg; those functions hold only plain data and
// libjpeg's own structures, so the jump skips no C++ destructor. Messages are never printed:
// fatal errors become a status code, warnings are only noted.

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "kivo/imaging/Status.h"

namespace kivo::jpeg {

struct ErrorManager {
    jpeg_error_mgr Pub;  // first, so libjpeg's err pointer is also ours
    std::jmp_buf Jump;
    int Status;          // the status the jump reports
    int DefaultStatus;   // what an error means in the current phase (corrupt data, write, …)
    bool MissingData;    // the entropy decoder ran out of data in the middle of a scan
};

inline ErrorManager* ErrorsOf(j_common_ptr cinfo) {
    return reinterpret_cast<ErrorManager*>(cinfo->err);
}

[[noreturn]] inline void ErrorExit(j_common_ptr cinfo) {
    ErrorManager* e = ErrorsOf(cinfo);
    switch (cinfo->err->msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_VIRTUAL_BUG:
        e->Status = ERROR_NO_MEMORY;
        break;
    case JERR_BAD_PRECISION:
    case JERR_NOT_COMPILED:
    case JERR_CONVERSION_NOTIMPL:
        e->Status = ERROR_FEATURE_NOT_SUPPORTED;
        break;
    default:
        e->Status = e->DefaultStatus;
    }
    std::longjmp(e->Jump, 1);
}

inline void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    ErrorManager* e = ErrorsOf(cinfo);
    cinfo->err->num_warnings++;
    if (cinfo->err->msg_code == JWRN_HIT_MARKER) e->MissingData = true;
}

inline void OutputMessage(j_common_ptr) {}

inline jpeg_error_mgr* InstallErrorManager(ErrorManager* e, int defaultStatus) {
    jpeg_std_error(&e->Pub);
    e->Pub.error_exit = ErrorExit;
    e->Pub.emit_message = EmitMessage;
    e->Pub.output_message = OutputMessage;
    e->Status = defaultStatus;
    e->DefaultStatus = defaultStatus;
    e->MissingData = false;
    return &e->Pub;
}

}  // namespace kivo::jpeg
