#include "core/Progress.h"

#include <algorithm>

#include "kivo/imaging/Bitmap.h"

namespace kivo {
namespace {
StatusCallback CurrentCallback = nullptr;
void* CurrentUserData = nullptr;
}  // namespace

Progress::Progress(int64_t total) : Total(std::max<int64_t>(total, 1)) {}

bool Progress::Report(int64_t done) {
    if (Abort) return false;
    StatusCallback cb = CurrentCallback;
    if (!cb) return true;
    int percent = int(std::clamp<int64_t>(done * 100 / Total, 0, 100));
    if (percent == LastPercent) return true;
    LastPercent = percent;
    if (cb(percent, CurrentUserData) == 0) Abort = true;
    return !Abort;
}

bool Progress::Finish() { return Report(Total); }

}  // namespace kivo

StatusCallback L_SetStatusCallBack(StatusCallback callback, void* userData) {
    StatusCallback previous = kivo::CurrentCallback;
    kivo::CurrentCallback = callback;
    kivo::CurrentUserData = userData;
    return previous;
}

StatusCallback L_GetStatusCallBack() { return kivo::CurrentCallback; }
